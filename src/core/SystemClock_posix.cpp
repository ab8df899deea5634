#include "core/Clock.h"

#include <ctime>

namespace fetchora {

namespace {

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 elapsedMs() const override
    {
        // The monotonic clock stops while the machine is suspended; this one
        // does not, so a countdown that slept through its due time knows.
        timespec ts{};
        clock_gettime(CLOCK_BOOTTIME, &ts);
        return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }
};

}  // namespace

const Clock &systemClock()
{
    static const SystemClock clock;
    return clock;
}

}  // namespace fetchora
