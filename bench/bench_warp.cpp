// A preload library for bench_program: speeds up CLOCK_BOOTTIME, the clock
// the program's countdown takes elapsed time from, by the factor in
// BENCH_WARP (default 60). Every other clock, the event loop's timers
// included, runs as it is, so the countdown still ticks once a second and
// each tick finds a minute gone.

#include <dlfcn.h>
#include <time.h>

#include <cstdlib>

namespace {

using ClockGettime = int (*)(clockid_t, struct timespec *);

long long nanos(const timespec &ts)
{
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

}  // namespace

extern "C" int clock_gettime(clockid_t clock, struct timespec *ts)
{
    static const auto real = reinterpret_cast<ClockGettime>(dlsym(RTLD_NEXT, "clock_gettime"));
    static const long long factor = std::getenv("BENCH_WARP") ? std::atoll(std::getenv("BENCH_WARP")) : 60;
    const int rc = real(clock, ts);
    if (rc != 0 || clock != CLOCK_BOOTTIME)
        return rc;
    static const long long start = nanos(*ts);
    const long long warped = start + (nanos(*ts) - start) * factor;
    ts->tv_sec = warped / 1000000000LL;
    ts->tv_nsec = warped % 1000000000LL;
    return rc;
}
