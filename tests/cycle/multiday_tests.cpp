// Days of unattended running in a second of CPU: a download every minute,
// each ending in a fault drawn at random, with the promises checked after
// every cycle.

#include "CycleRig.h"
#include "shell/MessageBoxPrompt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <random>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

long residentKiB()
{
    return readAll(QStringLiteral("/proc/self/statm")).split(' ').value(1).toLong() * 4;
}

enum Fault { Stored, Unchanged, Refused, ServerError, CutShort, Stalled, NotFound, FolderGone, DiskFull, kFaults };

}  // namespace

TEST(MultiDay, ThreeDaysOfRandomFaults)
{
    // The real boxes, which nobody answers for three days.
    MessageBoxPrompt boxes;
    CycleRig rig("Mode1=0\nShowErrors=1\nCheckVersion=1\n", false, &boxes);
    const auto openBoxes = [] {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += qobject_cast<QMessageBox *>(w) && w->isVisible();
        return n;
    };
    std::mt19937 random(20261206);
    int stored = 0, verified = 0, mostBoxes = 0;
    QByteArray lastCopy;
    int lastStored = -1, unchanged = 0, asked = 0;
    long kibAfterDayOne = 0;
    const int cycles = 3 * 24 * 60;
    rig.run("click");
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (cycle == 24 * 60)
            kibAfterDayOne = residentKiB();
        const Fault fault = Fault(random() % kFaults);
        const qsizetype startsBefore = rig.engine->starts.size();
        if (fault == FolderGone)
            QDir(rig.save).removeRecursively();
        rig.run("tick*60");
        if (fault == FolderGone) {
            EXPECT_EQ(rig.engine->starts.size(), startsBefore) << "cycle " << cycle;
            QDir().mkpath(rig.save);
            if (!lastCopy.isEmpty())
                writeFile(rig.save + QStringLiteral("/report.txt"), lastCopy);
        } else {
            ASSERT_EQ(rig.engine->starts.size(), startsBefore + 1) << "the cycle stopped trying at " << cycle;
            // The request names the version of the copy last stored, and only that.
            ASSERT_EQ(rig.engine->storedVersions.size(), lastStored >= 0 ? ++asked : 0);
            ASSERT_TRUE(lastStored < 0 || rig.engine->storedVersions.last() == QStringLiteral("v%1").arg(lastStored));
        }
        const QByteArray body = "copy " + QByteArray::number(cycle) + QByteArray(1000 + cycle % 7, '.');
        switch (fault) {
        case Stored:
            rig.run(QStringLiteral("version:v%1 progress:500/1007").arg(cycle));
            rig.finish(body);
            lastCopy = body;
            lastStored = cycle;
            ++stored;
            break;
        case Unchanged:
            rig.run(QStringLiteral("version:v%1 abort").arg(lastStored));
            unchanged += lastStored >= 0;
            break;
        case Refused: rig.run("connerr"); break;
        case ServerError: rig.run("dlerr"); break;
        case CutShort: rig.FileDownload_DownloadError(18, QStringLiteral("Transferred a partial file")); break;
        case Stalled: rig.FileDownload_DownloadError(28, QStringLiteral("Timeout was reached")); break;
        case NotFound: rig.run("notfound click"); break;  // the user starts it again
        case DiskFull:
            rig.diskFull = true;
            rig.finish(body);
            rig.diskFull = false;
            break;
        case FolderGone:
        case kFaults: break;
        }
        // The promises, after every cycle.
        ASSERT_NE(rig.cycle->state(), DownloadCycle::State::Idle) << cycle;
        ASSERT_LE(rig.engine->alive, 1);
        ASSERT_LE(rig.cycle->counter(), 60);
        const QStringList inSave = entries(rig.save);
        ASSERT_LE(inSave.size(), 1) << inSave.join(u' ').toStdString();
        if (!lastCopy.isEmpty()) {
            ASSERT_EQ(readAll(rig.save + QStringLiteral("/report.txt")), lastCopy) << cycle;
            ++verified;
        }
        mostBoxes = std::max(mostBoxes, openBoxes());
    }
    const long kibAtEnd = residentKiB();
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers keep freed memory back on purpose.
    EXPECT_LT(kibAtEnd - kibAfterDayOne, 4096) << "memory grows with the cycles";
#endif
    EXPECT_GT(stored, cycles / 20);
    EXPECT_EQ(rig.engine->sameVersion.count(true), unchanged) << "an unchanged file is recognised as such";
    EXPECT_EQ(mostBoxes, 1);
    std::printf("%d cycles, %d stored, %d checked complete, at most %d box open, RSS %ld KiB on day 1, %ld at end\n",
                cycles, stored, verified, mostBoxes, kibAfterDayOne, kibAtEnd);
}
