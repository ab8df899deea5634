#include "download/CurlDownload.h"
#include "core/Profile.h"
#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

#include <QTemporaryDir>
#include <curl/curl.h>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

struct Recorder : DownloadEvents {
    QStringList events;  // a run of Progress events is one entry
    QString descr;
    qint64 loaded = -2, size = -2;
    bool ended = false;
    std::function<void(const QString &)> during = [](const QString &) {};  // runs inside every event

    void add(const QString &e, bool last = false)
    {
        ended = ended || last;
        if (e != "Progress" || events.value(events.size() - 1) != "Progress")
            events << e;
        during(e);
    }
    void error(const char *kind, long n, const QString &d) { descr = d, add(kind + QString(" %1").arg(n), true); }
    void FileDownload_ConnectionError(long n, const QString &d) override { error("ConnectionError", n, d); }
    void FileDownload_DownloadError(long n, const QString &d) override { error("DownloadError", n, d); }
    void FileDownload_Abort() override { add("Abort", true); }
    void FileDownload_NotFound() override { add("NotFound", true); }
    void FileDownload_ShowVersion(const QString &s) override { add("ShowVersion " + s); }
    void FileDownload_Finished() override { add("Finished", true); }
    void FileDownload_Progress(qint64 l, qint64 s) override { loaded = l, size = s, add("Progress"); }
    void FileDownload_Start() override { add("Start"); }
};

class Engine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(writeFile(target(), "old")); }
    QString target() const { return dir.filePath("report.txt"); }
    // One transfer on a new instance, up to its last event; a body slower than 4000 bytes/s fails.
    void run(const QString &url, const QString &file = {}, const QString &storedVersion = {},
             qint64 minFree = DownloadOptions().minFreeBytes)
    {
        DownloadOptions options = fastEngineOptions();
        options.minBytesPerSec = 4000, options.minFreeBytes = minFree, options.freeBytes = freeBytes;
        engine = std::make_unique<CurlDownload>(&rec, options);
        engine->setStoredVersion(storedVersion);
        ASSERT_TRUE(engine->StartDownload(url, file.isEmpty() ? target() : file));
        ASSERT_TRUE(waitUntil([&] { return rec.ended; }, 10000)) << qPrintable(rec.events.join(", "));
    }

    std::function<qint64(const QString &)> freeBytes;  // empty: the disk's own
    QTemporaryDir dir;
    TestHttpServer server;
    Recorder rec;
    std::unique_ptr<CurlDownload> engine;  // last: goes before its sink
};

const auto fault = [](Reply::Fault f, qint64 at = 0) { return Reply{.size = 5000, .fault = f, .faultAt = at}; };
const auto err = [](long n) { return QString("DownloadError %1").arg(n); };
const auto connErr = [](long n) { return QString("ConnectionError %1").arg(n); };
const QStringList kDone{"Start", "Progress", "Finished"};

struct Case {
    const char *name;
    Reply reply;            // at /f; /g holds 2000 bytes
    QStringList events;     // Progress only where its place is certain
    int status = 200;       // of the final response; 0: none came
    qint64 bytes = 0;       // of the body received; the whole body, which replaces the old file, after Finished
    QString descr = {};     // start of the error text; empty: none
    const char *url = "http://127.0.0.1:%1/f";
};

class Transfer : public Engine, public ::testing::WithParamInterface<Case> {};

TEST_P(Transfer, EndsWithTheRightEventsAndLeavesTheRightFile)
{
    const Case &c = GetParam();
    server.route("/f", c.reply);
    server.route("/g", Reply::ok(2000));
    TransferResult last;  // as the last event finds it
    rec.during = [&](const QString &) { last = rec.ended ? engine->result() : last; };
    run(QString(c.url).arg(server.port()));
    const bool done = c.events.endsWith("Finished");
    if (!done)
        rec.events.removeAll("Progress");
    EXPECT_EQ(rec.events, c.events);
    EXPECT_TRUE(c.descr.isEmpty() ? rec.descr.isEmpty() : rec.descr.startsWith(c.descr)) << qPrintable(rec.descr);
    EXPECT_EQ(std::tuple(last.httpStatus, last.bytes, last.sha256),
              std::tuple(c.status, c.bytes, done ? sha256sum(target()) : QByteArray()));
    // The result names the number the event carried, in the space it belongs to.
    const QString lastEvent = rec.events.value(rec.events.size() - 1);
    EXPECT_EQ(last.kind == TransferResult::Kind::Body, done);
    if (lastEvent.contains(u' ')) {
        EXPECT_EQ(last.numberText().section(u' ', 1), lastEvent.section(u' ', 1));
        EXPECT_EQ(last.numberText().startsWith("http"), rec.descr.startsWith("HTTP"));
    }
    EXPECT_EQ(entries(dir.path()), QStringList{"report.txt"}) << "no .part left behind";
    EXPECT_TRUE(done ? fileHoldsBody(target(), c.bytes) : readAll(target()) == "old");
    // The last Progress: the whole body once done, and never more than came.
    if (done) {
        EXPECT_EQ(std::pair(rec.loaded, rec.size), std::pair(c.bytes, c.reply.sendLength ? c.bytes : -1));
    }
    EXPECT_LE(rec.loaded, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, Transfer,
    ::testing::Values(
        Case{"Body", Reply::ok(300000), kDone, 200, 300000},
        Case{"NoLength", {.size = 5000, .sendLength = false}, kDone, 200, 5000},
        Case{"Empty", Reply::ok(0), kDone, 200, 0}, Case{"Redirect", Reply::redirect("/g"), kDone, 200, 2000},
        Case{"NoScheme", Reply::ok(10), kDone, 200, 10, {}, "127.0.0.1:%1/f"},
        Case{"Partial", {.status = 206, .reason = "Partial Content", .size = 10}, {"Start", err(206)}, 206, 0,
             "HTTP 206 Partial Content"},
        Case{"NotModifiedUnasked", Reply::status_(304, "Not Modified", ""), {"Start", err(304)}, 304, 0,
             "HTTP 304 Not Modified"},
        Case{"RedirectLoop", Reply::redirect("/f"), {"Start", err(CURLE_TOO_MANY_REDIRECTS)}, 302, 0,
             "Maximum (10) redirects followed"},
        Case{"CutShort", fault(Reply::Fault::CutShortAfter, 1000), {"Start", err(CURLE_PARTIAL_FILE)}, 200, 1000,
             "transfer closed with 4000 bytes remaining"},
        Case{"StallMidBody", fault(Reply::Fault::StallAfter, 1), {"Start", err(CURLE_OPERATION_TIMEDOUT)}, 200, 1,
             "Operation too slow"},
        Case{"StallBeforeHeaders", fault(Reply::Fault::StallBeforeHeaders), {connErr(CURLE_OPERATION_TIMEDOUT)}, 0, 0,
             "Operation too slow"},
        Case{"ClosedAtOnce", fault(Reply::Fault::CloseAtOnce), {connErr(CURLE_GOT_NOTHING)}, 0, 0,
             "Empty reply from server"}),
    [](const auto &info) { return std::string(info.param.name); });

// On a disk of 1 GiB that only this test writes to: the reserve leaves `room` for the body.
TEST_F(Engine, ABodyThatWouldEatTheReserveEndsAsDiskFull)
{
    constexpr qint64 kDisk = qint64(1) << 30;
    freeBytes = [](const QString &folder) {
        qint64 used = 0;
        for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
            used += f.size();
        return kDisk - used;
    };
    for (const auto &[reply, room, events, someWritten] :
         {std::tuple{Reply::ok(6 << 20), 5 << 20, "Start, DownloadError 61", false},            // the announced size
          {{.size = 12 << 20, .sendLength = false}, 6 << 20, "Start, DownloadError 61", true},  // on the way
          {Reply::ok(1 << 20), 8 << 20, "Start, Finished", true}}) {
        ASSERT_TRUE(writeFile(target(), "old"));
        server.route("/f", reply);
        rec = Recorder();
        run(server.url("/f"), {}, {}, kDisk - 3 - room);
        rec.events.removeAll("Progress");
        EXPECT_EQ(rec.events.join(", "), events);
        EXPECT_EQ(engine->result().bytes > 0, someWritten);
        const bool stored = rec.events.endsWith("Finished");
        EXPECT_TRUE(stored ? fileHoldsBody(target(), reply.size)
                           : readAll(target()) == "old" && rec.descr == "Datenträger voll: " + target());
        EXPECT_EQ(entries(dir.path()), QStringList{"report.txt"}) << "no .part left behind";
    }
}

}  // namespace

FETCHORA_CORE_TEST_MAIN("fetchora-download-tests-no-viewer")
