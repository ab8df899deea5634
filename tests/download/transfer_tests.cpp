// The engine against a local server: what arrives on disk and which events
// say so, for good transfers and for every way a transfer can go wrong.

#include "EventRecorder.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/statvfs.h>

using namespace fetchora;
using fetchora::testing::EventRecorder;
using fetchora::testing::Reply;
using fetchora::testing::TestHttpServer;
using fetchora::testing::fileHoldsBody;
using fetchora::testing::readAll;

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    ASSERT_TRUE(fetchora::testing::writeFile(path, data));
}

class Transfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listening());
        ASSERT_TRUE(dir.isValid());
        target = dir.filePath("file.bin");
    }

    DownloadOptions fastOptions() const { return fetchora::testing::fastEngineOptions(); }

    // Starts a transfer of `url` and waits for its last event.
    void run(const QString &url, DownloadOptions o = {}, bool useFast = true)
    {
        engine = std::make_unique<classFileDownload>(&recorder, useFast ? fastOptions() : o);
        recorder.component = engine.get();
        ASSERT_TRUE(engine->StartDownload(url, target));
        ASSERT_TRUE(recorder.waitForEnd()) << recorder.outline().join(',').toStdString();
        // Nothing may follow the last event.
        EventRecorder::settle(100);
    }

    QStringList leftovers() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    TestHttpServer server;
    QTemporaryDir dir;
    QString target;
    EventRecorder recorder;
    std::unique_ptr<classFileDownload> engine;
};

// ---------------------------------------------------------------------------
// Complete transfers

struct Complete {
    const char *name;
    qint64 size;
    bool sendLength;
    int dripDelayMs;
};

class CompleteTransfer : public Transfer, public ::testing::WithParamInterface<Complete> {};

TEST_P(CompleteTransfer, StoresTheWholeBodyAndReportsItsSize)
{
    const Complete c = GetParam();
    Reply r = Reply::ok(c.size);
    r.sendLength = c.sendLength;
    r.dripDelayMs = c.dripDelayMs;
    r.dripChunk = 4096;
    server.route("/f", r);
    run(server.url("/f"));

    EXPECT_EQ(recorder.outline(), QStringList({"Start", "Finished"}));
    EXPECT_TRUE(fileHoldsBody(target, c.size));
    EXPECT_EQ(leftovers(), QStringList{"file.bin"}) << "no .part file is left";

    // Progress never runs backwards, never passes the size, and the last one
    // before Finished carries the full count.
    qint64 previous = -1;
    const ::fetchora::testing::RecordedEvent *lastProgress = nullptr;
    for (const auto &e : recorder.events) {
        if (e.name != QLatin1String("Progress"))
            continue;
        EXPECT_GE(e.loaded, previous);
        EXPECT_EQ(e.size, c.sendLength ? c.size : -1);
        if (c.sendLength) {
            EXPECT_LE(e.loaded, c.size);
        }
        previous = e.loaded;
        lastProgress = &e;
    }
    ASSERT_NE(lastProgress, nullptr);
    EXPECT_EQ(lastProgress->loaded, c.size);
    EXPECT_EQ(recorder.events[recorder.events.size() - 2].name, QStringLiteral("Progress"));
}

INSTANTIATE_TEST_SUITE_P(Bodies, CompleteTransfer,
                         ::testing::Values(Complete{"Small", 1000, true, 0},
                                           Complete{"Empty", 0, true, 0},
                                           Complete{"SeveralMegabytes", 5 * 1024 * 1024 + 17, true, 0},
                                           Complete{"UnknownSize", 3 * 1024 * 1024 + 5, false, 0},
                                           Complete{"SlowDrip", 96 * 1024, true, 15}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Transfer, ASlowDripShowsProgressOnTheWay)
{
    Reply r = Reply::ok(64 * 1024);
    r.dripDelayMs = 20;
    r.dripChunk = 2048;
    server.route("/drip", r);
    run(server.url("/drip"));
    EXPECT_GE(recorder.count("Progress"), 5);
    EXPECT_TRUE(fileHoldsBody(target, 64 * 1024));
}

TEST_F(Transfer, RedirectsAreFollowedToTheFile)
{
    server.route("/a", Reply::redirect("/b"));
    server.route("/b", Reply::redirect(server.url("/c").toUtf8()));
    server.route("/c", Reply::ok(4096));
    run(server.url("/a"));
    EXPECT_EQ(recorder.outline(), QStringList({"Start", "Finished"}));
    EXPECT_TRUE(fileHoldsBody(target, 4096));
    EXPECT_EQ(server.hits("/c"), 1);
}

TEST_F(Transfer, ANewCopyReplacesTheOldOneOnlyWhenComplete)
{
    writeFile(target, "old copy");
    server.route("/f", Reply::ok(2048));
    run(server.url("/f"));
    EXPECT_TRUE(fileHoldsBody(target, 2048));
}

TEST_F(Transfer, AUrlWithoutSchemeIsTakenAsHttp)
{
    server.route("/plain", Reply::ok(10));
    run(server.url("/plain").mid(int(qstrlen("http://"))));
    EXPECT_EQ(recorder.outline(), QStringList({"Start", "Finished"}));
}

// ---------------------------------------------------------------------------
// Failures: the right event, a readable text, and the old copy untouched

struct Failure {
    const char *name;
    std::function<QString(TestHttpServer &)> setUp;  // returns the URL
    const char *event;
    long number;        // 0: not checked
    const char *text;   // must be contained; "" not checked
    bool started;       // a Start event comes first
};

void PrintTo(const Failure &f, std::ostream *os) { *os << f.name; }
void PrintTo(const Complete &c, std::ostream *os) { *os << c.name; }

class FailedTransfer : public Transfer, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailedTransfer, EndsWithOneEventAndLeavesTheOldCopyAlone)
{
    const Failure f = GetParam();
    writeFile(target, "previous copy");
    const QString url = f.setUp(server);
    run(url);

    const QStringList outline = recorder.outline();
    ASSERT_FALSE(outline.isEmpty());
    EXPECT_EQ(outline.back(), QString::fromLatin1(f.event)) << outline.join(',').toStdString();
    EXPECT_EQ(outline.front() == QLatin1String("Start"), f.started) << outline.join(',').toStdString();
    int terminal = 0;
    for (const QString &n : outline)
        terminal += EventRecorder::isLast(n);
    EXPECT_EQ(terminal, 1);
    if (f.number) {
        EXPECT_EQ(recorder.last()->number, f.number);
    }
    if (*f.text) {
        EXPECT_TRUE(recorder.last()->text.contains(QString::fromLatin1(f.text)))
            << recorder.last()->text.toStdString();
    }
    if (recorder.last()->name.endsWith(QLatin1String("Error"))) {
        EXPECT_FALSE(recorder.last()->text.isEmpty());
    }

    EXPECT_EQ(readAll(target), QByteArray("previous copy"));
    EXPECT_EQ(leftovers(), QStringList{"file.bin"}) << "no .part file is left";
}

QString routed(TestHttpServer &s, const QByteArray &path, const Reply &r)
{
    s.route(path, r);
    return s.url(QString::fromLatin1(path));
}

Reply faulty(Reply::Fault fault, qint64 size, qint64 at)
{
    Reply r = Reply::ok(size);
    r.fault = fault;
    r.faultAt = at;
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailedTransfer,
    ::testing::Values(
        Failure{"NotFound", [](TestHttpServer &s) { return s.url("/missing"); }, "NotFound", 0, "", true},
        Failure{"ServerError",
                [](TestHttpServer &s) { return routed(s, "/e", Reply::status_(500, "Internal Server Error")); },
                "DownloadError", 500, "HTTP 500 Internal Server Error", true},
        Failure{"Forbidden", [](TestHttpServer &s) { return routed(s, "/e", Reply::status_(403, "Forbidden")); },
                "DownloadError", 403, "HTTP 403 Forbidden", true},
        Failure{"Refused",
                [](TestHttpServer &) {
                    return QStringLiteral("http://127.0.0.1:%1/f").arg(TestHttpServer::unusedPort());
                },
                "ConnectionError", 7, "", false},
        // A name the resolver turns down without asking any name server (a
        // label over 63 characters), so the test stays off the network.
        Failure{"UnknownHost",
                [](TestHttpServer &) {
                    return QStringLiteral("http://%1.invalid/f").arg(QString(70, QLatin1Char('x')));
                },
                "ConnectionError", 6, "", false},
        // TLS is required for https: a plain server fails the handshake.
        Failure{"HttpsToAPlainServer",
                [](TestHttpServer &s) {
                    s.route("/t", Reply::ok(10));
                    return s.url("/t").replace(QStringLiteral("http://"), QStringLiteral("https://"));
                },
                "ConnectionError", 35, "", false},
        Failure{"ClosedAtOnce",
                [](TestHttpServer &s) { return routed(s, "/c", faulty(Reply::Fault::CloseAtOnce, 10, 0)); },
                "ConnectionError", 52, "", false},
        Failure{"SilentServer",
                [](TestHttpServer &s) { return routed(s, "/s", faulty(Reply::Fault::StallBeforeHeaders, 10, 0)); },
                "ConnectionError", 28, "", false},
        Failure{"StallMidBody",
                [](TestHttpServer &s) { return routed(s, "/s", faulty(Reply::Fault::StallAfter, 100000, 30000)); },
                "DownloadError", 28, "", true},
        Failure{"CutShort",
                [](TestHttpServer &s) {
                    return routed(s, "/s", faulty(Reply::Fault::CutShortAfter, 100000, 30000));
                },
                "DownloadError", 18, "", true},
        Failure{"RedirectLoop",
                [](TestHttpServer &s) {
                    s.route("/x", Reply::redirect("/y"));
                    return routed(s, "/y", Reply::redirect("/x"));
                },
                "DownloadError", 47, "", true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Transfer, AFullDiskIsReportedAsSuch)
{
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this machine";
    // /dev/full takes the open and fails every write with ENOSPC; the
    // engine writes beside the target, so point the ".part" file at it.
    const QString link = dir.filePath("disk.part");
    ASSERT_TRUE(QFile::link("/dev/full", link));
    target = dir.filePath("disk");
    server.route("/f", Reply::ok(100000));
    run(server.url("/f"));
    ASSERT_EQ(recorder.last()->name, QStringLiteral("DownloadError"));
    EXPECT_EQ(recorder.last()->number, 61);
    EXPECT_TRUE(recorder.last()->text.startsWith(QStringLiteral("Disk full")));
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(Transfer, AMissingTargetFolderIsADownloadErrorNotACrash)
{
    target = dir.filePath("gone/file.bin");
    server.route("/f", Reply::ok(1000));
    run(server.url("/f"));
    ASSERT_EQ(recorder.last()->name, QStringLiteral("DownloadError"));
    EXPECT_EQ(recorder.last()->number, 76);
}

// ---------------------------------------------------------------------------
// The remote version

TEST_F(Transfer, TheVersionIsTheETagElseLastModifiedElseNotAsked)
{
    Reply both = Reply::ok(100);
    both.etag = "\"v1\"";
    both.lastModified = "Sat, 05 Dec 2026 10:00:00 GMT";
    server.route("/both", both);
    Reply dated = Reply::ok(100);
    dated.lastModified = "Sat, 05 Dec 2026 10:00:00 GMT";
    server.route("/dated", dated);
    server.route("/none", Reply::ok(100));

    run(server.url("/both"));
    ASSERT_EQ(recorder.count("ShowVersion"), 1);
    for (const auto &e : recorder.events) {
        if (e.name == QLatin1String("ShowVersion")) {
            EXPECT_EQ(e.text, QStringLiteral("\"v1\""));
        }
    }

    recorder.events.clear();
    run(server.url("/dated"));
    for (const auto &e : recorder.events) {
        if (e.name == QLatin1String("ShowVersion")) {
            EXPECT_EQ(e.text, QStringLiteral("Sat, 05 Dec 2026 10:00:00 GMT"));
        }
    }
    EXPECT_EQ(recorder.count("ShowVersion"), 1);

    recorder.events.clear();
    run(server.url("/none"));
    EXPECT_EQ(recorder.count("ShowVersion"), 0);
    EXPECT_EQ(recorder.outline(), QStringList({"Start", "Finished"}));
}

TEST_F(Transfer, TheVersionIsAskedBeforeAnyByteIsWritten)
{
    Reply r = Reply::ok(1 << 20);
    r.etag = "\"abc\"";
    server.route("/f", r);
    bool seenAtAsk = true;
    recorder.onEvent = [&](const auto &e) {
        if (e.name == QLatin1String("ShowVersion"))
            seenAtAsk = QFile::exists(target) || QFile::exists(target + ".part");
    };
    run(server.url("/f"));
    EXPECT_FALSE(seenAtAsk);
    EXPECT_EQ(recorder.outline(), QStringList({"Start", "ShowVersion", "Finished"}));
}

TEST_F(Transfer, AnUnchangedVersionEndsWithAbortAndWritesNothing)
{
    writeFile(target, "the copy we have");
    Reply r = Reply::ok(1 << 20);
    r.etag = "\"same\"";
    server.route("/f", r);
    recorder.sameVersion = true;
    run(server.url("/f"));
    EXPECT_EQ(recorder.outline(), QStringList({"Start", "ShowVersion", "Abort"}));
    EXPECT_EQ(readAll(target), QByteArray("the copy we have"));
    EXPECT_EQ(leftovers(), QStringList{"file.bin"});
    EXPECT_EQ(recorder.count("Progress"), 0);
}

TEST_F(Transfer, AChangedVersionIsDownloaded)
{
    Reply r = Reply::ok(5000);
    r.etag = "\"new\"";
    server.route("/f", r);
    recorder.sameVersion = false;
    run(server.url("/f"));
    EXPECT_EQ(recorder.outline(), QStringList({"Start", "ShowVersion", "Finished"}));
    EXPECT_TRUE(fileHoldsBody(target, 5000));
}

// ---------------------------------------------------------------------------
// Beyond 4 GiB: sizes and counts are 64-bit all the way

TEST_F(Transfer, AFileOverFourGibibytesArrivesWhole)
{
    const qint64 size = (qint64(4) << 30) + 12345;
    struct statvfs fs {};
    if (::statvfs(dir.path().toLocal8Bit().constData(), &fs) != 0
        || qint64(fs.f_bavail) * qint64(fs.f_frsize) < size + (qint64(4) << 30))
        GTEST_SKIP() << "needs about 9 GiB free beside the temporary folder";
    server.route("/big", Reply::ok(size));
    engine = std::make_unique<classFileDownload>(&recorder, fastOptions());
    ASSERT_TRUE(engine->StartDownload(server.url("/big"), target));
    ASSERT_TRUE(recorder.waitForEnd(240000));
    EXPECT_EQ(recorder.outline(), QStringList({"Start", "Finished"}));
    qint64 maxLoaded = 0;
    for (const auto &e : recorder.events)
        if (e.name == QLatin1String("Progress")) {
            EXPECT_EQ(e.size, size);
            maxLoaded = std::max(maxLoaded, e.loaded);
        }
    EXPECT_EQ(maxLoaded, size);
    EXPECT_EQ(QFileInfo(target).size(), size);
    // Throttled: a few events a second, not one per buffer.
    EXPECT_LT(recorder.count("Progress"), 5000);
    QFile::remove(target);
}

}  // namespace
