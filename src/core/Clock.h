#pragma once
// Where the cycle takes its time from: the time of day for the stamps in
// stored names and the history, and a clock of elapsed time that keeps
// running while the machine sleeps, so the countdown catches up on waking.
// A test pins both.

#include <QDateTime>

namespace fetchora {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds since some fixed point, suspended time included.
    virtual qint64 elapsedMs() const = 0;
};

// The machine's local time.
const Clock &systemClock();

}  // namespace fetchora
