#include "components/download/classFileDownload.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

#include <QTemporaryDir>
#include <curl/curl.h>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

// The events of one transfer as text; a run of Progress events is one entry.
struct Recorder : DownloadEvents {
    QStringList events;
    QString descr;
    qint64 loaded = -2, size = -2;
    bool ended = false;
    std::function<void(const QString &)> during;  // runs inside every event

    void add(const QString &e, bool last = false)
    {
        ended = ended || last;
        if (e != "Progress" || events.value(events.size() - 1) != "Progress")
            events << e;
        if (during)
            during(e);
    }
    void FileDownload_ConnectionError(long n, const QString &d) override { descr = d, add(QString("ConnectionError %1").arg(n), true); }
    void FileDownload_DownloadError(long n, const QString &d) override { descr = d, add(QString("DownloadError %1").arg(n), true); }
    void FileDownload_Abort() override { add("Abort", true); }
    void FileDownload_NotFound() override { add("NotFound", true); }
    void FileDownload_ShowVersion(const QString &s) override { add("ShowVersion " + s); }
    void FileDownload_Finished() override { add("Finished", true); }
    void FileDownload_Progress(qint64 l, qint64 s) override { loaded = l, size = s, add("Progress"); }
    void FileDownload_Start() override { add("Start"); }
};

QStringList withoutProgress(QStringList events)
{
    events.removeAll("Progress");
    return events;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(writeFile(target(), "old")); }
    QString target() const { return dir.filePath("report.txt"); }
    // One transfer on a new instance, waited for up to its last event.
    void run(const QString &url, const QString &file = {})
    {
        engine = std::make_unique<classFileDownload>(&rec, fastEngineOptions());
        ASSERT_TRUE(engine->StartDownload(url, file.isEmpty() ? target() : file));
        ASSERT_TRUE(waitUntil([&] { return rec.ended; }, 10000)) << rec.events.join(", ").toStdString();
    }
    void expectOldTargetAlone()
    {
        EXPECT_EQ(readAll(target()), "old");
        EXPECT_EQ(entries(dir.path()), QStringList{"report.txt"}) << "no .part left behind";
    }

    QTemporaryDir dir;
    TestHttpServer server;
    Recorder rec;
    std::unique_ptr<classFileDownload> engine;  // last: goes before its sink
};

Reply faulty(Reply r, Reply::Fault fault, qint64 at) { r.fault = fault, r.faultAt = at; return r; }
Reply noLength(Reply r) { r.sendLength = false; return r; }
Reply versioned(Reply r, QByteArray etag, QByteArray date) { r.etag = etag, r.lastModified = date; return r; }
const QByteArray kDate = "Tue, 01 Dec 2026 10:00:00 GMT";

struct Case {
    const char *name;
    Reply reply;                // served at /f
    QStringList events;         // Progress only where its place is certain
    qint64 stored = -1;         // body size that replaces the old file; -1: the old file stays
    qint64 reportedSize = -1;   // the last Progress's FileSize
    QString descr = {};         // start of the error text
    std::function<QString(TestHttpServer &)> url = {};  // default: /f
    const char *file = "";      // default: report.txt
};

class Transfer : public Engine, public ::testing::WithParamInterface<Case> {};

TEST_P(Transfer, EndsWithTheRightEventsAndLeavesTheRightFile)
{
    const Case &c = GetParam();
    server.route("/f", c.reply);
    server.route("/g", Reply::ok(2000));
    run(c.url ? c.url(server) : server.url("/f"), c.file[0] ? dir.filePath(c.file) : QString());
    if (c.stored < 0) {
        EXPECT_EQ(withoutProgress(rec.events), c.events);
        EXPECT_TRUE(rec.descr.startsWith(c.descr)) << rec.descr.toStdString();
        expectOldTargetAlone();
    } else {
        EXPECT_EQ(rec.events, c.events);
        EXPECT_EQ(rec.loaded, c.stored);
        EXPECT_EQ(rec.size, c.reportedSize);
        EXPECT_TRUE(fileHoldsBody(target(), c.stored));
        EXPECT_EQ(entries(dir.path()), QStringList{"report.txt"});
    }
}

const QStringList kDone{"Start", "Progress", "Finished"};

INSTANTIATE_TEST_SUITE_P(Servers, Transfer, ::testing::Values(
    Case{"Body", Reply::ok(300000), kDone, 300000, 300000},
    Case{"NoLength", noLength(Reply::ok(5000)), kDone, 5000, -1},
    Case{"Empty", Reply::ok(0), kDone, 0, 0},
    Case{"Redirect", Reply::redirect("/g"), kDone, 2000, 2000},
    Case{"NoScheme", Reply::ok(10), kDone, 10, 10, {}, [](TestHttpServer &s) { return s.url("/f").mid(7); }},
    Case{"ETag", versioned(Reply::ok(10), "\"v1\"", kDate), {"Start", "ShowVersion \"v1\"", "Progress", "Finished"}, 10, 10},
    Case{"LastModified", versioned(Reply::ok(10), {}, kDate), {"Start", "ShowVersion " + kDate, "Progress", "Finished"}, 10, 10},
    Case{"NotFound", Reply::status_(404, "Not Found"), {"Start", "NotFound"}},
    Case{"ServerError", Reply::status_(500, "Internal Server Error"), {"Start", "DownloadError 500"}, -1, -1, "HTTP 500 Internal Server Error"},
    Case{"Forbidden", Reply::status_(403, "Forbidden"), {"Start", "DownloadError 403"}, -1, -1, "HTTP 403 Forbidden"},
    Case{"RedirectLoop", Reply::redirect("/f"), {"Start", QString("DownloadError %1").arg(CURLE_TOO_MANY_REDIRECTS)}},
    Case{"CutShort", faulty(Reply::ok(5000), Reply::Fault::CutShortAfter, 1000), {"Start", QString("DownloadError %1").arg(CURLE_PARTIAL_FILE)}},
    Case{"StallMidBody", faulty(Reply::ok(5000), Reply::Fault::StallAfter, 1), {"Start", QString("DownloadError %1").arg(CURLE_OPERATION_TIMEDOUT)}},
    Case{"StallBeforeHeaders", faulty({}, Reply::Fault::StallBeforeHeaders, 0), {QString("ConnectionError %1").arg(CURLE_OPERATION_TIMEDOUT)}},
    Case{"ClosedAtOnce", faulty({}, Reply::Fault::CloseAtOnce, 0), {QString("ConnectionError %1").arg(CURLE_GOT_NOTHING)}},
    Case{"Refused", {}, {QString("ConnectionError %1").arg(CURLE_COULDNT_CONNECT)}, -1, -1, "Couldn't connect to server",
         [](TestHttpServer &) { return QString("http://127.0.0.1:%1/f").arg(TestHttpServer::unusedPort()); }},
    Case{"FolderGone", Reply::ok(10), {"Start", "DownloadError 76"}, -1, -1, "Path not found", {}, "gone/report.txt"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Engine, TheVersionAnswerDecidesWhetherTheBodyIsFetched)
{
    server.route("/f", versioned(Reply::ok(200000), "\"v7\"", {}));
    for (bool same : {true, false}) {
        rec = Recorder();
        rec.during = [&](const QString &e) {
            bool answer = same;
            if (e.startsWith("ShowVersion"))
                engine->SameVersion(answer);
        };
        run(server.url("/f"));
        if (same) {
            EXPECT_EQ(rec.events, QStringList({"Start", "ShowVersion \"v7\"", "Abort"})) << "not a byte of the body";
            expectOldTargetAlone();
        } else {
            EXPECT_EQ(rec.events, QStringList({"Start", "ShowVersion \"v7\"", "Progress", "Finished"}));
            EXPECT_TRUE(fileHoldsBody(target(), 200000));
        }
    }
}

TEST_F(Engine, AbortEndsARunningTransferWithoutAFile)
{
    Reply slow = Reply::ok(100000);
    slow.dripDelayMs = 10;
    server.route("/f", slow);
    rec.during = [&](const QString &e) {
        if (e == "Progress")
            engine->AbortDownload();
    };
    run(server.url("/f"));
    EXPECT_EQ(withoutProgress(rec.events), QStringList({"Start", "Abort"}));
    expectOldTargetAlone();
}

// The program releases the instance inside its own Finished handler; a
// release inside any event must end the events there and harm nothing.
TEST_F(Engine, DestroyedInsideAnEventSendsNoMore)
{
    server.route("/big", Reply::ok(4 << 20));
    server.route("/f", Reply::ok(10));
    for (const QString when : {"Start", "Progress", "Finished"}) {
        Recorder first;
        first.during = [&](const QString &e) {
            if (e == when)
                engine.reset();
        };
        engine = std::make_unique<classFileDownload>(&first, fastEngineOptions());
        ASSERT_TRUE(engine->StartDownload(server.url("/big"), dir.filePath("big.bin")));
        ASSERT_TRUE(waitUntil([&] { return !engine; }, 10000)) << when.toStdString();
        // Whatever the first one had queued is delivered before the second ends.
        rec = Recorder();
        run(server.url("/f"));
        EXPECT_EQ(first.events.last(), when);
        EXPECT_EQ(rec.events, kDone);
    }
}

TEST_F(Engine, RejectedStartsGiveNoEventAndKeepTheInstanceUsable)
{
    server.route("/f", Reply::ok(10));
    engine = std::make_unique<classFileDownload>(&rec, fastEngineOptions());
    for (const auto &[url, file] : {std::pair<QString, QString>{"", target()}, {"ftp://127.0.0.1/f", target()},
                                    {"file:///etc/hostname", target()}, {server.url("/f"), ""}})
        EXPECT_FALSE(engine->StartDownload(url, file)) << url.toStdString() << " " << file.toStdString();
    for (int round = 0; round < 2; ++round) {
        rec = Recorder();
        ASSERT_TRUE(engine->StartDownload(server.url("/f"), target()));
        EXPECT_FALSE(engine->StartDownload(server.url("/f"), dir.filePath("second.txt"))) << "one at a time";
        ASSERT_TRUE(waitUntil([&] { return rec.ended; }, 10000));
        EXPECT_EQ(rec.events, kDone);
    }
    EXPECT_EQ(server.hits("/f"), 2);
    EXPECT_EQ(entries(dir.path()), QStringList{"report.txt"});
}

}  // namespace

FETCHORA_QT_TEST_MAIN("fetchora-download-tests-no-viewer")
