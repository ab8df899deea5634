// Every file the program writes, failing at its first byte and after some: nothing stored is lost or damaged, no
// half file or working name stays, and a retry then succeeds. The failure is the kernel's own: a file size limit
// ends a write with EFBIG as a full disk ends it with ENOSPC, and neither root nor a container can wave it through.

#include "cycle/History.h"
#include "cycle/Manifest.h"
#include "cycle/StoreJob.h"
#include "startup/Fingerprint.h"
#include "startup/Names.h"
#include "startup/WorkJournal.h"
#include "startup/modINIHandler.h"
#include "support/AppSandbox.h"
#include "support/ZipRead.h"

#include <QRandomGenerator>
#include <QStorageInfo>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

// Runs `write` while writes into any file beyond `bytes` fail.
void withFileSizeLimit(rlim_t bytes, const std::function<void()> &write)
{
    rlimit was{};
    std::signal(SIGXFSZ, SIG_IGN), ::getrlimit(RLIMIT_FSIZE, &was);
    const rlimit limit{bytes, was.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit), write(), ::setrlimit(RLIMIT_FSIZE, &was);
}

QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : entries(folder))
        files[name] = readAll(folder + u'/' + name);
    return files;
}

constexpr rlim_t kAtOnce = 0, kLate = 64 << 10;

// The download lands on another file system than the save folder, so a move is a copy of its bytes.
TEST(WriteFails, StoringLeavesTheSaveFolderAsItWasAndTheDownloadInTmp)
{
    QTemporaryDir dir, shm(QStringLiteral("/dev/shm/fetchora-XXXXXX"));
    const bool apart = shm.isValid() && QStorageInfo(dir.path()).device() != QStorageInfo(shm.path()).device();
    QByteArray body(1 << 20, Qt::Uninitialized);  // random, so deflate cannot shrink it below the limit
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(body.data()), body.size() / 4);
    const QString save = dir.filePath("save"), app = dir.filePath("app");
    StoreRequest r;
    r.tmpFile = (apart ? shm.path() : dir.path()) + "/report.txt", r.sha256 = sha256Hex(body);
    r.appFolder = app, r.folder = save, r.archivePath = save + "/report.zip", r.targetPath = save + "/report.txt";
    r.url = "http://me:pw@h/report.txt", r.now = QDateTime::currentDateTime(), r.language = Language::English;
    // The same rows for a move and for an archive. What remains: the save folder as it was, the download in tmp/.
    const struct {
        rlim_t failsAfter;
        bool oldCopy, keepOthers;  // a copy already at the name, to be replaced or kept beside the new one
    } rows[] = {{kAtOnce, false, false},
                {kLate, false, false},
                {kAtOnce, true, false},
                {kLate, true, false},
                {kLate, true, true}};
    for (const bool compress : {true, false}) {
        if (!compress && !apart)
            GTEST_SKIP() << "moves across file systems need /dev/shm on a file system of its own";
        for (const auto &row : rows) {
            SCOPED_TRACE(::testing::Message() << compress << row.failsAfter << row.oldCopy << row.keepOthers);
            QDir(save).removeRecursively(), QDir(app).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(save) && QDir().mkpath(app) && writeFile(r.tmpFile, body));
            r.compress = compress, r.keepOthers = row.keepOthers;
            const QString name = compress ? "report.zip" : "report.txt";
            if (row.oldCopy)
                writeFile(save + u'/' + name, "old copy");
            const auto before = snapshot(save);
            StoreResult result;
            withFileSizeLimit(row.failsAfter, [&] { result = storeFinishedFile(r); });
            EXPECT_EQ(QString::number(result.number) + ' ' + result.description, "61 Disk full: " + save + u'/' + name);
            EXPECT_EQ(snapshot(save), before);
            EXPECT_EQ(readAll(r.tmpFile), body);

            result = storeFinishedFile(r);
            ASSERT_TRUE(result.ok());
            EXPECT_EQ(entries(save), row.keepOthers ? QStringList({numberedPath(name, 2), name}) : QStringList{name});
            const QString atName = save + u'/' + name;
            EXPECT_EQ(row.keepOthers || !compress ? readAll(atName) : unzipOnly(atName, nullptr),
                      row.keepOthers ? "old copy" : body);
            // Recorded once, as it lies on disk (an archive is not the download), without the password.
            const QList<StoredCopy> copies = readManifest(manifestIn(app)).copies;
            const QByteArray onDisk = sha256sum(result.storedPath);
            ASSERT_EQ(copies.size(), 1);
            EXPECT_EQ(QList<QByteArray>({result.sha256.toLatin1(), copies[0].sha256, copies[0].url.toUtf8()}),
                      QList<QByteArray>({onDisk, onDisk, "http://me:***@h/report.txt"}));
            // Every working name on the way carries this process's id, so a sweep after a kill knows whose it is.
            for (const QString &noted : QString(readAll(workJournalIn(app))).split(u'\n', Qt::SkipEmptyParts))
                EXPECT_EQ(workingNameOwner(QFileInfo(noted).fileName()), QCoreApplication::applicationPid())
                    << qPrintable(noted);
        }
    }
}

// A history line goes in whole or not at all; a settings write that fails is silent and leaves every key as it was.
TEST(WriteFails, HistoryAndSettingsKeepWhatTheyHeld)
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
        {log, line, rlim_t(line.size()), history, line + line},
        {log, cut, rlim_t(cut.size()), history, cut + '\n' + line},
        {strINIFile, ini, 0, [] { WriteINIString("Options", "Interval", "10"); }, "[Options]\r\nInterval=10\r\n"},
        {strINIFile, ini, 0, [] { WriteINIString("Options", "Pwd", "new"); }, ini + "Pwd=new\r\n"}};
    for (const auto &row : rows) {
        for (const rlim_t failsAfter : {kAtOnce, rlim_t(8)}) {
            SCOPED_TRACE(::testing::Message() << qPrintable(row.file) << ' ' << row.before.data() << failsAfter);
            QFile::remove(log), writeFile(row.file, row.before);
            const auto before = snapshot(app.folder());
            withFileSizeLimit(row.newBytesFrom + failsAfter, row.write);
            EXPECT_EQ(snapshot(app.folder()), before);
            row.write();
            EXPECT_EQ(readAll(row.file), row.afterRetry);
        }
    }
}

}  // namespace
