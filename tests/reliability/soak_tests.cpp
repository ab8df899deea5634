// Hundreds of cycles in a row, a new download every few ticks: file
// descriptors, threads and memory must stay flat, or a run of days would
// end in a crash.

#include "CycleRig.h"

#include <QElapsedTimer>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

struct Usage {
    int fds = 0;
    int threads = 0;
    qint64 rssKiB = 0;
};

Usage usage()
{
    Usage u;
    u.fds = int(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
    u.threads = int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                u.rssKiB = line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return u;
}

TEST_F(CycleRig, AMinuteOfCyclesLeavesNoResourcesBehind)
{
    const int seconds = qEnvironmentVariableIsSet("FETCHORA_SOAK_SECONDS")
                            ? qEnvironmentVariableIntValue("FETCHORA_SOAK_SECONDS")
                            : 60;
    Reply r = Reply::ok(20000);
    r.etag = "\"same\"";
    server.route("/files/report.txt", r);
    server.route("/files/report.bin", Reply::ok(20000));
    // A tick every 25 ms and an interval of one such "minute" of 1 tick:
    // a download on every tick, as far as the last one has ended.
    auto w = load(url("/files/report.bin"), "Start=0\r\nMode1=0\r\nShowErrors=1\r\n", 25);
    w->cmdStart_Click();

    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return clock.elapsed() > 5000; }, 10000);
    const Usage before = usage();
    const int hitsBefore = server.hits("/files/report.bin");
    waitUntil([&] { return clock.elapsed() > seconds * 1000; }, seconds * 1000 + 10000);
    w->cmdStart_Click();  // stop
    settled(*w, 5000);
    waitUntil([] { return false; }, 300);
    const Usage after = usage();
    const int cycles = server.hits("/files/report.bin") - hitsBefore;

    RecordProperty("cycles", cycles);
    EXPECT_GE(cycles, seconds * 3) << "the cycle ran far too rarely";
    EXPECT_LE(after.fds, before.fds + 2) << "file descriptors leak";
    EXPECT_LE(after.threads, before.threads + 2) << "threads leak";
    EXPECT_LT(after.rssKiB - before.rssKiB, 16 * 1024) << "memory grows: " << before.rssKiB << " -> " << after.rssKiB;
    EXPECT_EQ(sandbox.prompt.count(), 0);
    EXPECT_EQ(sandbox.errorPrompt.count(), 0);
    EXPECT_TRUE(fileHoldsBody(saveDir + "/report.bin", 20000));
    EXPECT_EQ(entries(saveDir), QStringList{"report.bin"});
}

}  // namespace
