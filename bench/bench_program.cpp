// The real program, from the outside: what a user waits for and what a long
// run costs.
//
//   bench_program --fetchora PATH --dir TMPDIR --url URL --endtoend SIZE [--runs 3]
//   bench_program --fetchora PATH --dir TMPDIR --url URL --folder FILES --warp LIB [--cycles 100]
//
// --endtoend: the program is started with "-s" (and "start at once" in its
// fcr.ini) on a fresh application folder, and the clock stops when the
// "stored" line of the SIZE-byte file appears in its history.log: start-up,
// download, fingerprint and the move into the save folder. The peer is what
// a script would do for the same result: `curl -s -o FILE URL`, then
// `sha256sum FILE`. Same server, same file, one after the other in each run.
//
// --folder: the cost of one download cycle with FILES files in the save
// folder against the same run with an empty one. The program's clock of
// elapsed time is sped up 60 times by the preload library LIB (bench_warp),
// so each one-second tick of the countdown is a full minute and every second
// brings a cycle (a stamped copy of the URL's small file). After a few
// cycles to settle, the CPU time of the process (all threads) over the next
// CYCLES cycles is divided by their number; the peak resident memory is read
// at the end.
//
// The program runs headless (offscreen), with TMPDIR, XDG_CONFIG_HOME and
// XDG_RUNTIME_DIR in the benchmark's folder, so it meets no trace viewer and
// touches none of the user's settings.

#include "bench_common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sstream>
#include <thread>

namespace {

QString g_dir;

std::vector<std::string> environmentFor(const QString &warp)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string v = *e;
        for (const char *drop : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "TMPDIR=", "XDG_CONFIG_HOME=",
                                 "XDG_RUNTIME_DIR=", "LD_PRELOAD=", "LANG=", "LC_ALL=", "LC_TIME="})
            if (v.rfind(drop, 0) == 0)
                goto skip;
        env.push_back(v);
    skip:;
    }
    const std::string d = g_dir.toStdString();
    env.insert(env.end(), {"QT_QPA_PLATFORM=offscreen", "TMPDIR=" + d + "/tmpdir", "XDG_CONFIG_HOME=" + d + "/config",
                           "XDG_RUNTIME_DIR=" + d + "/runtime", "LC_ALL=C.UTF-8"});
    if (!warp.isEmpty())
        env.insert(env.end(), {"LD_PRELOAD=" + warp.toStdString(), "BENCH_WARP=60"});
    return env;
}

// A fresh application folder holding the program and its settings, and an
// empty save folder.
bool prepare(const QString &app, const QString &save, const QString &exe, const QByteArray &options)
{
    QDir(app).removeRecursively();
    QDir(save).removeRecursively();
    if (!QDir().mkpath(app) || !QDir().mkpath(save) || !QFile::copy(exe, app + QStringLiteral("/fetchora")))
        return false;
    QFile ini(app + QStringLiteral("/fcr.ini"));
    return ini.open(QIODevice::WriteOnly)
           && ini.write("[Global]\nLanguage=English\n[Options]\nSavePath=" + QFile::encodeName(save) + "\n" + options)
                  > 0;
}

pid_t launch(const QString &app, const QString &warp)
{
    const std::string exe = (app + QStringLiteral("/fetchora")).toStdString();
    std::vector<std::string> env = environmentFor(warp);
    std::vector<char *> envp, argv{const_cast<char *>(exe.c_str()), const_cast<char *>("-s"), nullptr};
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Ends the program as a session end would, and waits for it.
void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    int status = 0;
    for (double end = bench::now() + 20; bench::now() < end;) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
}

// The "stored" lines of history.log so far (the file is small: it is read whole).
QStringList storedLines(const QString &app)
{
    QFile f(app + QStringLiteral("/history.log"));
    QStringList lines;
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.contains("\tstored\t"))
            lines << QString::fromUtf8(line);
    return lines;
}

// Waits (polling every millisecond) until `count` stored lines are there; false on time-out or exit.
bool waitStored(pid_t pid, const QString &app, qsizetype count, double seconds)
{
    for (double end = bench::now() + seconds; bench::now() < end;) {
        if (storedLines(app).size() >= count)
            return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "fetchora ended early (status %d)\n", status);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::fprintf(stderr, "no stored line within %.0f s\n", seconds);
    return false;
}

// utime + stime of the whole process, in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i >= 14)
            ticks += std::stod(field);
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

long long statusKiB(pid_t pid, const char *key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stoll(line.substr(std::strlen(key)));
    return -1;
}

int endToEnd(const QString &exe, const QString &url, qint64 size, int runs)
{
    const QString app = g_dir + QStringLiteral("/app"), save = g_dir + QStringLiteral("/save");
    const QString curlFile = g_dir + QStringLiteral("/curl.bin");
    std::vector<double> ours, peer;
    for (int r = 0; r < runs; ++r) {
        if (!prepare(app, save, exe, "URL=" + url.toUtf8() + "\nStart=1\nMode1=0\nIntervall=60\n"))
            return 1;
        ::sync();
        const double t0 = bench::now();
        const pid_t pid = launch(app, {});
        if (pid < 0 || !waitStored(pid, app, 1, 600))
            return 1;
        const double a = bench::now() - t0;
        stop(pid);
        const QString stored = storedLines(app).first().section(u'\t', 6, 6);
        if (QFileInfo(stored).size() != size) {
            std::fprintf(stderr, "stored %lld bytes instead of %lld\n", QFileInfo(stored).size(), size);
            return 1;
        }
        QDir(save).removeRecursively();
        QDir(app).removeRecursively();
        ::sync();
        const double c = bench::runTimed({"curl", "-s", "-o", curlFile.toStdString(), url.toStdString()});
        const double s = bench::runTimed({"sha256sum", curlFile.toStdString()}, true);
        QFile::remove(curlFile);
        if (c < 0 || s < 0)
            return 1;
        std::fprintf(stderr, "  run %d: fetchora %.3f s, curl %.3f s + sha256sum %.3f s\n", r + 1, a, c, s);
        ours.push_back(a);
        peer.push_back(c + s);
    }
    const double a = bench::median(ours), b = bench::median(peer);
    bench::row("end to end " + bench::sizeLabel(size)
                   + ": launch (-s, start at once) to the stored line in history.log, median of "
                   + std::to_string(runs),
               bench::fmt("%.2f s", a), "curl -o + sha256sum " + bench::fmt("%.2f s", b), bench::fmt("%.2fx", b / a),
               ">= 1.0x");
    return 0;
}

struct CycleCost {
    double cpuPerCycle = -1;
    long long peakKiB = -1;
};

CycleCost cycles(const QString &exe, const QString &url, const QString &warp, int files, int count)
{
    const QString app = g_dir + QStringLiteral("/app"), save = g_dir + QStringLiteral("/save");
    CycleCost cost;
    if (!prepare(app, save, exe, "URL=" + url.toUtf8() + "\nStart=1\nMode1=1\nIntervall=1\n"))
        return cost;
    // Ten weeks of stamped copies at one a minute, as another program (or
    // an earlier run) left them.
    const auto nameOf = [&](int i) {
        char name[64];
        std::snprintf(name, sizeof name, "/report_2026-%02d-%02d_%04d.txt", 1 + i / 43200 % 12, 1 + i / 1440 % 28,
                      i % 1440);
        return save.toStdString() + name;
    };
    for (int i = 0; i < files; ++i) {
        const int fd = ::open(nameOf(i).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, "copy\n", 5) != 5)
            return cost;
        ::close(fd);
    }
    const pid_t pid = launch(app, warp);
    const int settle = 3;
    if (pid < 0 || !waitStored(pid, app, settle, 120))
        return cost;
    const double before = cpuSeconds(pid);
    if (!waitStored(pid, app, settle + count, 30.0 + count * 5)) {
        stop(pid);
        return cost;
    }
    cost.cpuPerCycle = (cpuSeconds(pid) - before) / count;
    cost.peakKiB = statusKiB(pid, "VmHWM:");
    stop(pid);
    for (int i = 0; i < files; ++i)
        ::unlink(nameOf(i).c_str());
    QDir(save).removeRecursively();
    QDir(app).removeRecursively();
    return cost;
}

int folderSize(const QString &exe, const QString &url, const QString &warp, int files, int count)
{
    const CycleCost empty = cycles(exe, url, warp, 0, count);
    const CycleCost full = cycles(exe, url, warp, files, count);
    if (empty.cpuPerCycle <= 0 || full.cpuPerCycle < 0 || empty.peakKiB <= 0 || full.peakKiB <= 0)
        return 1;
    std::fprintf(stderr, "  empty folder: %.1f ms CPU per cycle, %lld KiB peak; %d files: %.1f ms, %lld KiB\n",
                 empty.cpuPerCycle * 1e3, empty.peakKiB, files, full.cpuPerCycle * 1e3, full.peakKiB);
    const std::string label = std::to_string(files) + " files in the save folder against none, " + std::to_string(count)
                              + " cycles (clock sped up 60x)";
    bench::row(label + ": CPU per cycle", bench::fmt("%.1f ms", full.cpuPerCycle * 1e3),
               "empty folder " + bench::fmt("%.1f ms", empty.cpuPerCycle * 1e3),
               bench::fmt("%.2fx", full.cpuPerCycle / empty.cpuPerCycle), "<= 1.2x");
    bench::row(label + ": peak resident memory", bench::mib(double(full.peakKiB) * 1024),
               "empty folder " + bench::mib(double(empty.peakKiB) * 1024),
               bench::fmt("%.2fx", double(full.peakKiB) / double(empty.peakKiB)), "<= 1.1x");
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    QString exe, url, warp;
    qint64 size = 0;
    int runs = 3, files = -1, count = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (!std::strcmp(argv[i], "--fetchora"))
            exe = QFileInfo(value).absoluteFilePath();
        else if (!std::strcmp(argv[i], "--dir"))
            g_dir = QDir(value).absolutePath();
        else if (!std::strcmp(argv[i], "--url"))
            url = value;
        else if (!std::strcmp(argv[i], "--endtoend"))
            size = value.toLongLong();
        else if (!std::strcmp(argv[i], "--runs"))
            runs = value.toInt();
        else if (!std::strcmp(argv[i], "--folder"))
            files = value.toInt();
        else if (!std::strcmp(argv[i], "--warp"))
            warp = QFileInfo(value).absoluteFilePath();
        else if (!std::strcmp(argv[i], "--cycles"))
            count = value.toInt();
    }
    if (exe.isEmpty() || g_dir.isEmpty() || url.isEmpty() || (size <= 0) == (files < 0)
        || (files >= 0 && warp.isEmpty()) || runs < 1 || count < 1) {
        std::fprintf(stderr,
                     "usage: %s --fetchora PATH --dir DIR --url URL (--endtoend SIZE [--runs N] | --folder FILES "
                     "--warp LIB [--cycles N])\n",
                     argv[0]);
        return 2;
    }
    for (const char *sub : {"/tmpdir", "/config", "/runtime"})
        QDir().mkpath(g_dir + QLatin1String(sub));
    QFile::setPermissions(g_dir + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return size > 0 ? endToEnd(exe, url, size, runs) : folderSize(exe, url, warp, files, count);
}
