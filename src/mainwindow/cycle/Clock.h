#pragma once
// Where the cycle takes the time of day from. The stamps in stored names come
// from here, so a test can pin them; the countdown itself is driven by ticks.

#include <QDateTime>

namespace fetchora {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// The machine's local time.
const Clock &systemClock();

}  // namespace fetchora
