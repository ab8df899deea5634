#include "store/History.h"
#include "store/Manifest.h"
#include "store/StoreJob.h"
#include "core/Fingerprint.h"
#include "core/HandOver.h"
#include "core/Names.h"
#include "core/WorkJournal.h"
#include "support/AppSandbox.h"
#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"
#include "support/ZipRead.h"
#include "DiskStates.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <thread>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

class Store : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(app + "/tmp") && QDir().mkpath(save)); }

    StoreRequest request(const QString &name = "report.txt") const
    {
        StoreRequest r;
        r.tmpFile = app + "/tmp/report.txt", r.targetPath = save + u'/' + name, r.appFolder = app, r.folder = save;
        r.url = "http://me:pw@h/report.txt", r.now = QDateTime(QDate(2026, 1, 1), QTime(12, 0));
        r.language = Language::English;
        return r;
    }
    StoreResult store(StoreRequest r, const QByteArray &body)
    {
        EXPECT_TRUE(writeFile(r.tmpFile, body));
        return storeFinishedFile(r);
    }
    QStringList manifestPaths() const
    {
        QStringList paths;
        for (const StoredCopy &c : readManifest(manifestIn(app)).copies)
            paths << QFileInfo(c.path).fileName();
        paths.sort();
        return paths;
    }

    QTemporaryDir dir;
    const QString app = dir.filePath("app"), save = dir.filePath("save");
};

// Fails the nth call (from 1) that `op` makes with a name that contains `name`; every one of them with nth 0.
FsHook failing(FsOp op, const QString &name, int error, int nth = 1)
{
    auto seen = std::make_shared<int>(0);
    return [=](const FsCall &c) -> std::optional<int> {
        if (c.op != op || !(c.path.contains(name) || c.to.contains(name)) || (++*seen != nth && nth != 0))
            return std::nullopt;
        return error;
    };
}
FsHook both(const FsHook &first, const FsHook &then)
{
    return [=](const FsCall &c) {
        const std::optional<int> fault = first(c);
        return fault ? fault : then(c);
    };
}

// Runs `write` while writes into any file beyond `bytes` fail.
void withFileSizeLimit(rlim_t bytes, const std::function<void()> &write)
{
    rlimit was{};
    std::signal(SIGXFSZ, SIG_IGN), ::getrlimit(RLIMIT_FSIZE, &was);
    const rlimit limit{bytes, was.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit), write(), ::setrlimit(RLIMIT_FSIZE, &was);
}

constexpr rlim_t kAtOnce = 0, kLate = 16 << 10;

// A fault of the disk: the old copy stays whole, no half file takes a name, the failure is reported, the download
// waits in tmp/ until the next attempt's landing clears it, and that attempt stores it. A full disk is the kernel's
// own: a file size limit ends a write with EFBIG as a full disk ends it with ENOSPC, also the ZIP library's writes,
// which go around the seam, and neither root nor a container can wave it through. And with or without a fault, a
// power cut before any call of the storing job to the disk, with or without what was written but not yet synced,
// leaves the old copy or the new one, whole, and nothing that names a copy that is not there.
TEST_F(Store, AFaultOrAPowerCutLeavesTheOldCopyOrTheNewOneAndNoRecordOfWhatIsNotThere)
{
    // The download moves into the save folder by a copy of its bytes, which go through writes.
    const auto crossing = [] { return failing(FsOp::Rename, "tmp/report.txt", EXDEV); };
    const struct {
        const char *what;
        FsHook hook;
        long number;
        const char *left;  // the save folder afterwards; none: something else stands under the working name
        bool keepOthers = false, compress = false;
        rlim_t failsAfter = RLIM_INFINITY;
        bool givenUp = false;  // the program that ended gave the copy up before it could take its name
    } rows[] = {
        {"nothing fails", {}, 0, "report.txt"},
        {"nothing fails, kept beside", {}, 0, "report-2.txt", true},
        {"nothing fails, archive", {}, 0, "report.zip", false, true},
        {"short writes", both(crossing(), failing(FsOp::Write, "fetchora-move", kShortWrite, 0)), 0, "report.txt"},
        {"disk full after a short write",
         both(both(crossing(), failing(FsOp::Write, "fetchora-move", kShortWrite)), failing(FsOp::Write, "move", ENOSPC)),
         61, "report.txt"},
        {"sync fails", failing(FsOp::Sync, "fetchora-new", EIO), 75, "report.txt"},
        {"rename into place: EPERM", failing(FsOp::Rename, "save/report.txt", EPERM), 70, "report.txt"},
        {"the download cannot go", both(crossing(), failing(FsOp::Unlink, "tmp/report.txt", EPERM)), 70, "report.txt"},
        {"a FIFO under the working name", [](const FsCall &c) -> std::optional<int> {
             if (c.op == FsOp::Sync && c.path.contains("fetchora-new")) {  // before it is synced; the copy goes aside
                 const QByteArray name = QFile::encodeName(c.path);
                 ::rename(name.constData(), (name + ".aside").constData());
                 ::mkfifo(name.constData(), 0600);
             }
             return std::nullopt;
         }, 75, nullptr},
        {"the old copy cannot go", failing(FsOp::Unlink, "save/report.txt", EPERM), 0, "report-2.txt report.txt", true},
        {"move: disk full at once", crossing(), 61, "report.txt", false, false, kAtOnce},
        {"move given up", crossing(), 18, "report.txt", false, false, RLIM_INFINITY, true},
        {"archive: disk full at once", {}, 61, "report.zip", false, true, kAtOnce},
        {"archive: disk full late", {}, 61, "report.zip", false, true, kLate},
        {"archive kept beside: disk full late", {}, 61, "report.zip", true, true, kLate},
        {"archive given up", {}, 18, "report.zip", false, true, RLIM_INFINITY, true},
    };
    QByteArray body(4 * kLate, Qt::Uninitialized);  // random, so deflate cannot shrink it below the limit
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(body.data()), body.size() / 4);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        // Both folders new, an old copy stored as asked, and `body` downloaded into tmp/ to take its place.
        QDir(dir.path()).removeRecursively(), SetUp();
        StoreRequest r = request();
        r.keepOthers = row.keepOthers, r.compress = row.compress, r.keepCopies = 1;
        r.archivePath = save + "/report.zip";
        ASSERT_TRUE(store(r, "old copy").ok() && writeFile(r.tmpFile, body));
        const QString name = row.compress ? "report.zip" : "report.txt", numbered = numberedPath(name, 2);
        const QString oldCopy = "save/" + name, newCopy = "save/" + (row.keepOthers ? numbered : name);
        r.decision = std::make_shared<PlaceOrGiveUp>();
        ASSERT_TRUE(!row.givenUp || r.decision->giveUp());
        const DiskState before = diskState(dir.path());
        DiskStates cuts(dir.path(), row.hook, r.tmpFile);
        QFuture<StoreResult> job;
        bool ended = false;
        withFileSizeLimit(row.failsAfter, [&] {
            job = runOffUiThread(storeFinishedFile, r);
            ended = waitUntil([&] { return job.isFinished(); }, 10000);
        });
        ASSERT_TRUE(ended) << "the job waits";
        const StoreResult result = job.result();
        if (result.ok())
            appendHistory(app + "/history.log", {r.now, "stored", 200, 12, 1, result.sha256, result.storedPath, r.url});
        const QList<DiskState> states = cuts.finish();
        const DiskState &after = states.last();
        EXPECT_EQ(result.number, row.number) << qPrintable(result.description);
        EXPECT_FALSE(result.description.contains("fetchora-")) << "names the copy, not its working name";
        ASSERT_GT(states.size(), 4);
        for (qsizetype i = 0; i < states.size(); ++i) {
            SCOPED_TRACE(i);
            const DiskState &s = states[i];
            for (auto it = s.cbegin(); it != s.cend(); ++it) {
                if (it.key().startsWith("save/") && !it.key().contains("/.")) {  // not under a working name
                    EXPECT_TRUE(*it == before.value(it.key()) || *it == after.value(it.key())) << qPrintable(it.key());
                }
            }
            EXPECT_TRUE(s.value(oldCopy) == before[oldCopy] || s.value(newCopy) == after[newCopy]);
            // The manifest and the lines history.log gained name only copies that are there, byte for byte.
            QTemporaryDir scratch;
            writeFile(scratch.filePath("m"), s.value("app/copies.manifest"));
            QList<QPair<QString, QByteArray>> named;
            for (const StoredCopy &c : readManifest(scratch.filePath("m")).copies)
                named.append({c.path, c.sha256});
            const QByteArray added = s.value("app/history.log").mid(before.value("app/history.log").size());
            for (const QByteArray &line : added.split('\n')) {
                const HistoryEntry e = HistoryEntry::parse(QString::fromUtf8(line));
                if (e.outcome == "stored")
                    named.append({e.detail, e.sha256.toLatin1()});
            }
            for (const auto &[path, sha256] : named) {
                const QString name = QDir(dir.path()).relativeFilePath(path);
                EXPECT_EQ(s.contains(name) ? sha256Hex(s[name]) : "missing", sha256) << qPrintable(name);
            }
        }
        const QStringList left = row.left ? QString(row.left).split(u' ') : QStringList{name};
        if (row.number || row.keepOthers) {
            EXPECT_EQ(after.value(oldCopy), left.contains(name) ? before[oldCopy] : "");
        }
        if (row.left) {
            EXPECT_EQ(entries(save), left);
        }
        EXPECT_EQ(manifestPaths(), left);
        EXPECT_EQ(diskState(app + "/tmp"), row.number && row.left ? DiskState({{"report.txt", body}}) : DiskState());
        if (!row.hook || row.failsAfter != RLIM_INFINITY) {  // not a refused rename, which follows the claim
            EXPECT_EQ(r.decision->giveUp(), row.number != 0) << "only a copy not at its name can be given up";
        }
        if (row.number && row.left) {  // the next attempt stores it
            r.decision = std::make_shared<PlaceOrGiveUp>();
            ASSERT_TRUE(storeFinishedFile(r).ok());
            EXPECT_FALSE(r.decision->giveUp()) << "a copy that took its name is not given up";
            EXPECT_EQ(entries(save), QStringList{QFileInfo(newCopy).fileName()});
        }
        if (row.left) {
            EXPECT_EQ(row.compress ? unzipOnly(dir.filePath(newCopy), nullptr) : readAll(dir.filePath(newCopy)), body);
        }
        // Every working name on the way carries this process's id, so a sweep after a kill knows whose it is.
        for (const QString &noted : QString(readAll(workJournalIn(app))).split(u'\n', Qt::SkipEmptyParts))
            EXPECT_EQ(workingNameOwner(QFileInfo(noted.section(u'\t', 0, 0)).fileName()),
                      QCoreApplication::applicationPid())
                << qPrintable(noted);
    }
}

TEST_F(Store, KeepDaysAndKeepCopiesWorkFromTheManifestOverMonths)
{
    const struct {
        int keepDays, keepCopies;
        int left;
    } rows[] = {{30, 0, 31}, {0, 5, 5}, {30, 3, 3}, {0, 0, 120}};
    for (const auto &row : rows) {
        QDir(dir.path()).removeRecursively(), SetUp();
        for (int day = 0; day < 120; ++day) {
            StoreRequest r = request(QStringLiteral("report_%1.txt").arg(day, 3, 10, QLatin1Char('0')));
            r.keepDays = row.keepDays;
            r.keepCopies = row.keepCopies;
            r.now = r.now.addDays(day);
            ASSERT_TRUE(store(r, QByteArray::number(day)).ok());
        }
        const QStringList left = entries(save);
        ASSERT_EQ(left.size(), row.left) << row.keepDays << ' ' << row.keepCopies;
        EXPECT_EQ(left.last(), "report_119.txt");
        EXPECT_EQ(manifestPaths(), left);
        EXPECT_LE(readAll(manifestIn(app)).count('\n'), 2 * row.left + 34) << "gone records do not pile up";
    }
}

// Retention works on exactly the folder of the copy just stored, however it is spelt, and on nothing beside or in it.
TEST_F(Store, RetentionRemovesOnlyIntactCopiesOfItsOwnFolderAndWaitsOnNothing)
{
    StoreRequest r = request();
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        ASSERT_TRUE(store(request(name), name).ok());
    for (const QString &folder : {save + "/./", save + "/archive", save + "2"}) {
        r = request("d.txt");
        r.folder = folder, r.targetPath = folder + "/d.txt";
        ASSERT_TRUE(QDir().mkpath(folder) && store(r, "d").ok());
    }
    // a: the same size and time, other content; b: a FIFO; c: deleted; and
    // a file of the same kind that the program never stored.
    const QString a = save + "/a.txt";
    struct stat before {};
    ::stat(QFile::encodeName(a).constData(), &before);
    writeFile(a, "A.txt");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ::utimensat(AT_FDCWD, QFile::encodeName(a).constData(), times, 0);
    QFile::remove(save + "/b.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(save + "/b.txt").constData(), 0600), 0);
    QFile::remove(save + "/c.txt");
    writeFile(save + "/foreign.txt", "x");

    r = request("e.txt");
    r.keepCopies = 1;
    writeFile(r.tmpFile, "e");
    QFuture<StoreResult> job = runOffUiThread(storeFinishedFile, r);
    if (!waitUntil([&] { return job.isFinished(); }, 10000)) {
        ::close(::open(QFile::encodeName(save + "/b.txt").constData(), O_WRONLY | O_NONBLOCK));
        FAIL() << "the job waits on the FIFO";
    }
    const StoreResult result = job.result();
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(entries(save), QStringList({"a.txt", "archive", "b.txt", "e.txt", "foreign.txt"}));
    EXPECT_EQ(result.notes, QStringList{save + "/b.txt: FIFO, skipped"});
    EXPECT_TRUE(QFile::exists(save + "/archive/d.txt") && QFile::exists(save + "2/d.txt"));
    EXPECT_EQ(manifestPaths(), QStringList({"d.txt", "d.txt", "e.txt"}));
}

// Files a program left while it was killed, as its journal names them.
TEST_F(Store, TheSweepRemovesOnlyRegularFilesAndFoldersOfEndedWriters)
{
    const QString journal = workJournalIn(app);
    const auto working = [&](qint64 pid, const char *tag) {
        return save + QStringLiteral("/.report.txt.%1.fetchora-%2").arg(pid).arg(tag);
    };
    const qint64 self = QCoreApplication::applicationPid(), ended = 99999999;
    const QString mine = working(self, "new"), file = working(ended, "new"), folder = working(ended, "zip1f"),
                  fifo = working(ended, "move1"), link = working(ended, "move2"), plain = save + "/report.txt",
                  running = working(1, "new"),  // init's, noted without its run: a writer that runs
        killedHere = working(self, "zip2f");  // a killed run's whose process id this one got again (a container)
    for (const QString &path : {mine, running, file, plain, killedHere, dir.filePath("elsewhere")})
        writeFile(path, "x");
    QDir().mkpath(folder);
    writeFile(folder + "/archive.zip.Ab12Cd", "x");
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    QFile::link(dir.filePath("elsewhere"), link);
    noteWorkingFile(journal, mine);
    QByteArray earlier = running.toUtf8() + '\n';
    for (const QString &path : {file, folder, fifo, link, plain, working(ended, "new2"), killedHere})
        earlier += path.toUtf8() + "\t5eed\n";
    writeFile(journal, readAll(journal) + earlier);
    writeFile(app + "/tmp/report.txt.3.part", "x"), writeFile(app + "/tmp/other.txt", "x");
    QFile::setPermissions(app + "/tmp/other.txt", QFile::ReadOwner);  // a download a failed store left

    EXPECT_EQ(removeLeftovers(app, app + "/tmp"),
              QStringList({fifo + ": FIFO, not removed", link + ": symbolic link, not removed"}));
    QStringList left{QFileInfo(fifo).fileName(), QFileInfo(link).fileName(), QFileInfo(mine).fileName(),
                     QFileInfo(running).fileName(), "report.txt"};
    left.sort();
    EXPECT_EQ(entries(save), left);
    EXPECT_EQ(readAll(dir.filePath("elsewhere")), "x");
    EXPECT_EQ(entries(app + "/tmp"), QStringList());
    const QList<QByteArray> kept = readAll(journal).split('\n');
    EXPECT_EQ((QList<QByteArray>{kept.value(0).split('\t').value(0), kept.value(1), kept.value(2)}),
              (QList<QByteArray>{mine.toUtf8(), running.toUtf8(), ""}))
        << "the rest is forgotten";
}

// A history line goes in whole or not at all; a settings write that fails is silent and leaves every key as it was.
// Another program that holds one of our files of lines locked (a backup, a viewer) holds up nothing: the retry is still
// written. The journal takes the same bounded lock.
TEST(WriteFails, HistoryAndSettingsKeepWhatTheyHeldAndALockHoldsNothing)
{
    AppSandbox app;
    const QString log = app.path("history.log");
    const HistoryEntry e{
        QDateTime(QDate(2026, 12, 4), QTime(19, 59, 58)), "stored", 200, 5, 1, {}, "/s/a", "http://h/"};
    const QByteArray line = e.line().toUtf8(), cut = "2026-12-04T19:5", ini = "[Options]\r\nInterval=5\r\n";
    const auto history = [&] { appendHistory(log, e); };
    const struct {
        QString file;
        QByteArray before;
        rlim_t newBytesFrom;  // where the limit counts from: an append writes after what is there
        std::function<void()> write;
        QByteArray afterRetry;  // a line a crash cut short is ended first
    } rows[] = {
        {log, cut, rlim_t(cut.size()), history, cut + '\n' + line},
        {app.ini().path(), ini, 0, [&] { app.ini().write("Options", "Interval", "10"); }, "[Options]\r\nInterval=10\r\n"}};
    for (const auto &row : rows) {
        for (const rlim_t failsAfter : {kAtOnce, rlim_t(8)}) {
            SCOPED_TRACE(::testing::Message() << qPrintable(row.file) << ' ' << row.before.data() << failsAfter);
            QFile::remove(log), writeFile(row.file, row.before);
            const auto before = diskState(app.folder());
            withFileSizeLimit(row.newBytesFrom + failsAfter, row.write);
            EXPECT_EQ(diskState(app.folder()), before);
            const int held = ::open(QFile::encodeName(row.file).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            ASSERT_EQ(::flock(held, LOCK_EX), 0);
            std::promise<void> done;
            std::thread acting([&] { row.write(), done.set_value(); });
            const bool returned = done.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
            ::close(held);  // lets a call that waits for ever go, so that the thread can be joined
            acting.join();
            EXPECT_TRUE(returned) << "waited on a lock another program holds";
            EXPECT_EQ(readAll(row.file), row.afterRetry);
        }
    }
}

}  // namespace

FETCHORA_CORE_TEST_MAIN("fetchora-store-tests-no-viewer")
