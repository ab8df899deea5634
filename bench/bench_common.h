#pragma once
// Small helpers the benchmark programs share: wall clock, peak RSS, running a
// peer command line, and the result rows run.sh turns into one table.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char **environ;

namespace bench {

inline double now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Peak resident set of this process in bytes. VmHWM and ru_maxrss say the
// same; /proc is read first because it is exact to the page.
inline long long peakRssBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (long long)ru.ru_maxrss * 1024;
}

// Runs argv to its end (posix_spawn, so no copy of this process is made) and
// returns its wall time in seconds, or a negative value when it failed.
// quiet: its standard output goes to /dev/null.
inline double runTimed(const std::vector<std::string> &args, bool quiet = false)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const double t0 = now();
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    const double t = now() - t0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
        return -1;
    }
    return t;
}

inline std::string fmt(const char *format, double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

inline std::string mib(double bytes)
{
    return fmt("%.1f MiB", bytes / (1024.0 * 1024.0));
}

// One line of the results table; run.sh collects every line starting with
// "ROW" from the benchmarks' stdout, in order.
inline void row(const std::string &benchmark, const std::string &ours, const std::string &peer,
                const std::string &ratio, const std::string &goal)
{
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\n", benchmark.c_str(), ours.c_str(), peer.c_str(), ratio.c_str(),
                goal.c_str());
    std::fflush(stdout);
}

inline std::string sizeLabel(unsigned long long bytes)
{
    if (bytes % (1ull << 30) == 0)
        return std::to_string(bytes >> 30) + " GiB";
    if (bytes % (1ull << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " B";
}

}  // namespace bench
