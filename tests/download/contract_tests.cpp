// One contract, two engines: each script runs against the real engine on a local server and against the fake engine
// the simulated world uses, and both must come to the events, the result and the file the script expects. What the
// world's server never does (a redirect, no length, a network failing, a disk nearly full) the real engine meets alone.

#include "download/CurlDownload.h"
#include "support/FakeDownload.h"
#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;
using Kind = TransferResult::Kind;

namespace {

struct Script {
    const char *name;
    FakeReply reply = {};
    QString stored = {};                    // the version stored before; the server answers 304 when it names the same
    std::map<QString, QString> deeds = {};  // what the handler does inside an event: destroy, same, abort, start
    QStringList events;              // a run of Progress is one entry, with the last counts; "Progress": any or none
    Kind kind = Kind::Body;          // of the result, when the engine is still there to ask
    QString number = {}, text = {};  // the result's numberText() and text
    bool replaced = false;           // the body took the old file's place
    const char *file = "report.txt";
    const char *url = "http://127.0.0.1:%1/f";
    // The real engine alone: its server's answer (/g holds the body), and the room a disk of 1 GiB leaves above the
    // reserve (0: the disk's own).
    std::optional<Reply> server = {};
    qint64 room = 0;
};

const QByteArray kTag = "\"v2\"", kDate = "Tue, 01 Dec 2026 10:00:00 GMT", kBody = "0123456789";
const FakeReply kTagged{.body = kBody, .etag = kTag}, kDated{.body = kBody, .lastModified = kDate};
const FakeReply kEmpty{.body = "", .etag = kTag};
const QStringList kTaggedDone{"Start", "ShowVersion \"v2\"", "Progress 10/10", "Finished"};
const QStringList kEmptyDone{"Start", "ShowVersion \"v2\"", "Progress 0/0", "Finished"};
const QByteArray kLarge = kBody.repeated(30000);
const QString kSlow = "Operation too slow. Less than 100 bytes/sec transferred the last 1 seconds";
const QString kDiskFull = "Datenträger voll: $DIR/report.txt";
constexpr qint64 kDisk = qint64(1) << 30;

const Script kScripts[] = {
    {"LastModified", kDated, {}, {}, {"Start", "ShowVersion " + kDate, "Progress 10/10", "Finished"}, Kind::Body, {},
     {}, true},
    {"ETagChangedAndADate", {.body = kBody, .etag = kTag, .lastModified = kDate}, "\"v1\"", {}, kTaggedDone, Kind::Body,
     {}, {}, true},
    {"SameETag", kTagged, {}, {{"ShowVersion", "same"}}, {"Start", "ShowVersion \"v2\"", "Abort"}, Kind::NotModified},
    {"NotModifiedETag", kTagged, kTag, {{"ShowVersion", "same"}}, {"Start", "ShowVersion \"v2\"", "Abort"},
     Kind::NotModified},
    {"NotModifiedDate", kDated, kDate, {{"ShowVersion", "same"}}, {"Start", "ShowVersion " + kDate, "Abort"},
     Kind::NotModified},
    {"NotModifiedButNew", kTagged, kTag, {}, {"Start", "ShowVersion \"v2\"", "DownloadError 304"}, Kind::HttpError,
     "http 304", "HTTP 304 Not Modified"},
    {"SameOnlyInsideShowVersion", kTagged, {}, {{"Start", "same"}}, kTaggedDone, Kind::Body, {}, {}, true},
    {"StartWhileRunning", kTagged, {}, {{"Start", "start"}, {"ShowVersion", "start"}},
     {"Start", "StartDownload 0", "ShowVersion \"v2\"", "StartDownload 0", "Progress 10/10", "Finished"},
     Kind::Body, {}, {}, true},
    {"AbortAfterTheLast", kTagged, {}, {{"Finished", "abort"}}, kTaggedDone, Kind::Body, {}, {}, true},
    {"WriteFails", kTagged, {}, {}, {"Start", "ShowVersion \"v2\"", "DownloadError 76"}, Kind::LocalError, "err 76",
     "Pfad nicht gefunden: $DIR/gone", false, "gone/report.txt"},
    {"Refused", {.plan = FakeReply::Refused}, {}, {}, {"ConnectionError 7"}, Kind::ConnectionError, "curl 7",
     curl_easy_strerror(CURLE_COULDNT_CONNECT)},
    {"DestroyedInStart", kTagged, {}, {{"Start", "destroy"}}, {"Start"}},
    {"DestroyedInShowVersion", kTagged, {}, {{"ShowVersion", "destroy"}}, {"Start", "ShowVersion \"v2\""}},
    {"DestroyedInTheLastProgress", kEmpty, {}, {{"Progress", "destroy"}}, kEmptyDone.mid(0, 3), Kind::Body, {}, {},
     true},
    {"DestroyedInFinished", kEmpty, {}, {{"Finished", "destroy"}}, kEmptyDone, Kind::Body, {}, {}, true},
    {"DestroyedInAnError", {.plan = FakeReply::HttpError}, {}, {{"DownloadError", "destroy"}},
     {"Start", "DownloadError 500"}, Kind::HttpError, "http 500", "HTTP 500 Internal Server Error"},
    {"DestroyedInNotFound", {.plan = FakeReply::NotFound}, {}, {{"NotFound", "destroy"}}, {"Start", "NotFound"},
     Kind::NotFound, "http 404", "HTTP 404 Not Found"},
    {"DestroyedInAbort", kTagged, {}, {{"ShowVersion", "abort"}, {"Abort", "destroy"}},
     {"Start", "ShowVersion \"v2\"", "Abort"}, Kind::Cancelled},
    {.name = "NoLength", .reply = {.body = kLarge}, .events = {"Start", "Progress 300000/-1", "Finished"},
     .replaced = true, .server = Reply{.body = kLarge, .sendLength = false}, .room = 8 << 20},
    {.name = "RedirectWithoutScheme", .reply = {.body = kBody}, .events = {"Start", "Progress 10/10", "Finished"},
     .replaced = true, .url = "127.0.0.1:%1/f", .server = Reply::redirect("/g")},
    {.name = "RedirectLoop", .events = {"Start", "DownloadError 47"}, .kind = Kind::ConnectionError,
     .number = "curl 47", .text = "Maximum (10) redirects followed", .server = Reply::redirect("/f")},
    {.name = "Partial", .events = {"Start", "DownloadError 206"}, .kind = Kind::HttpError, .number = "http 206",
     .text = "HTTP 206 Partial Content", .server = Reply::status_(206, "Partial Content")},
    {.name = "StallMidBody", .events = {"Start", "Progress", "DownloadError 28"}, .kind = Kind::ConnectionError,
     .number = "curl 28", .text = kSlow, .server = Reply{.size = 9, .fault = Reply::Fault::StallAfter, .faultAt = 1}},
    {.name = "StallBeforeHeaders", .events = {"ConnectionError 28"}, .kind = Kind::ConnectionError, .number = "curl 28",
     .text = kSlow, .server = Reply{.fault = Reply::Fault::StallBeforeHeaders}},
    {.name = "DiskFullByTheAnnouncedSize", .events = {"Start", "DownloadError 61"}, .kind = Kind::LocalError,
     .number = "err 61", .text = kDiskFull, .server = Reply::ok(6 << 20), .room = 5 << 20},
    {.name = "DiskFullOnTheWay", .events = {"Start", "Progress", "DownloadError 61"}, .kind = Kind::LocalError,
     .number = "err 61", .text = kDiskFull, .server = Reply{.size = 12 << 20, .sendLength = false}, .room = 6 << 20},
};

// Records the events and does the script's deeds. Inside every event but the last the result is still empty.
struct Handler : DownloadEvents {
    const Script &script;
    std::unique_ptr<FileDownloadComponent> engine;
    QStringList events;
    TransferResult last;  // as the last event finds it
    bool ended = false;
    explicit Handler(const Script &s) : script(s) {}

    void add(const QString &e, bool isLast = false)
    {
        ended = ended || isLast;
        const bool progress = e.startsWith("Progress");
        if (progress && events.value(events.size() - 1).startsWith("Progress"))
            events.removeLast();
        events << e;
        const QString deed = script.deeds.count(e.section(u' ', 0, 0)) ? script.deeds.at(e.section(u' ', 0, 0)) : "";
        if (!engine)
            return events << "after destruction", void();
        const TransferResult r = engine->result();
        if (isLast)
            last = r;
        else if (r.kind != Kind::Cancelled || r.httpStatus || r.bytes || !r.version.isEmpty())
            events << "result before the end";
        bool yes = true;
        if (deed == "destroy")
            engine.reset();
        else if (deed == "same")
            engine->SameVersion(yes);
        else if (deed == "abort")
            engine->AbortDownload();
        else if (deed == "start")
            events << QString("StartDownload ") + (engine->StartDownload("http://127.0.0.1:9/x", "x") ? "1" : "0");
    }
    void FileDownload_ConnectionError(long n, const QString &) override { add("ConnectionError " + number(n), true); }
    void FileDownload_DownloadError(long n, const QString &) override { add("DownloadError " + number(n), true); }
    void FileDownload_Abort() override { add("Abort", true); }
    void FileDownload_NotFound() override { add("NotFound", true); }
    void FileDownload_ShowVersion(const QString &s) override { add("ShowVersion " + s); }
    void FileDownload_Finished() override { add("Finished", true); }
    void FileDownload_Progress(qint64 l, qint64 s) override { add("Progress " + number(l) + '/' + number(s)); }
    static QString number(qint64 n) { return QString::number(n); }
    void FileDownload_Start() override { add("Start"); }
};

class Contract : public ::testing::TestWithParam<Script> {
protected:
    // What each engine came to, and the folder it left.
    struct Outcome {
        QStringList events, entries;
        bool ended;  // its last event came, and with it the result
        TransferResult result;
        QByteArray file;
    };

    Outcome outcome(Handler &h, QTemporaryDir &dir)
    {
        // A worker that was let go removes its partial file within moments.
        waitUntil([&] { return entries(dir.path()) == QStringList{"report.txt"}; }, 5000);
        h.last.text.replace(dir.path(), "$DIR");
        return {h.events, entries(dir.path()), h.ended, h.last, readAll(dir.filePath("report.txt"))};
    }

    Outcome real(const Script &s)
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("report.txt"), "old");
        TestHttpServer server;
        const FakeReply &r = s.reply;
        const bool notModified = !s.stored.isEmpty() && s.stored.toUtf8() == r.version();
        const Reply body{.body = r.body, .etag = r.etag, .lastModified = r.lastModified};
        server.route("/f", s.server                         ? *s.server
                           : r.plan == FakeReply::NotFound  ? Reply::status_(404, "Not Found")
                           : r.plan == FakeReply::HttpError ? Reply::status_(500, "Internal Server Error")
                           : notModified                    ? Reply::status_(304, "Not Modified", "")
                                                            : body);
        server.route("/g", body);
        const quint16 port = r.plan == FakeReply::Refused ? TestHttpServer::unusedPort() : server.port();
        DownloadOptions options = fastEngineOptions();
        if (s.room) {  // a disk that holds nothing but the old file and what the transfer writes
            options.minFreeBytes = kDisk - 3 - s.room;
            options.freeBytes = [](const QString &folder) {
                qint64 used = 0;
                for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
                    used += f.size();
                return kDisk - used;
            };
        }
        Handler h(s);
        h.engine = std::make_unique<CurlDownload>(&h, options);
        h.engine->setStoredVersion(s.stored);
        EXPECT_TRUE(h.engine->StartDownload(QString(s.url).arg(port), dir.filePath(s.file)));
        EXPECT_TRUE(waitUntil([&] { return h.ended || !h.engine; }, 10000)) << qPrintable(h.events.join(", "));
        // A conditional request names the stored version: a tag as If-None-Match, a date as If-Modified-Since.
        const RequestHeaders sent = server.requests("/f").value(0);
        EXPECT_EQ(QString(sent.value("if-none-match") + sent.value("if-modified-since")), s.stored);
        const QByteArray header = s.stored.startsWith('"') ? "if-none-match" : "if-modified-since";
        EXPECT_TRUE(s.stored.isEmpty() || sent.contains(header)) << header.data();
        return outcome(h, dir);
    }

    // The world moves a transfer on by steps; here all of it is due at once.
    Outcome fake(const Script &s)
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("report.txt"), "old");
        Handler h(s);
        std::shared_ptr<FakeTransfer> t;
        h.engine = std::make_unique<FakeEngine>(&h, [&](const QString &, const QString &) {
            if (t)
                return std::shared_ptr<FakeTransfer>();
            t = std::make_shared<FakeTransfer>();
            t->reply = s.reply;
            return t;
        });
        h.engine->setStoredVersion(s.stored);
        EXPECT_TRUE(h.engine->StartDownload("http://127.0.0.1:9/f", dir.filePath(s.file)));
        for (int i = 0; i < 10 && !h.ended && h.engine; ++i)
            t->step(0);
        return outcome(h, dir);
    }
};

TEST_P(Contract, BothEnginesKeepIt)
{
    const Script &s = GetParam();
    std::vector<Outcome> outcomes{real(s)};
    if (!s.server)
        outcomes.push_back(fake(s));
    for (const Outcome &o : outcomes) {
        SCOPED_TRACE(&o == &outcomes[0] ? "the real engine" : "the fake engine");
        // How far a body came before the network or the disk cut it off is theirs to say.
        QStringList events = o.events, expected = s.events;
        if (expected.removeAll("Progress"))
            events.removeIf([](const QString &e) { return e.startsWith("Progress"); });
        EXPECT_EQ(events, expected);
        EXPECT_EQ(o.entries, QStringList{"report.txt"}) << "no partial file left behind";
        EXPECT_EQ(o.file, s.replaced ? s.reply.body : "old");
        if (!o.ended)
            continue;  // destroyed before its last event: no result to ask
        EXPECT_EQ(o.result.kind, s.kind);
        EXPECT_EQ(o.result.numberText(), s.number);
        // curl's own texts name the port and the time it took before the general text.
        EXPECT_EQ(s.kind == Kind::ConnectionError ? o.result.text.section(": ", -1) : o.result.text, s.text);
    }
    if (s.server) {  // the real engine alone: held to what its server sent
        const Outcome &o = outcomes[0];
        const QByteArray sha = QCryptographicHash::hash(o.file, QCryptographicHash::Sha256).toHex();
        if (s.replaced)
            EXPECT_EQ(std::tuple(o.result.httpStatus, o.result.bytes, o.result.sha256),
                      std::tuple(200, o.file.size(), sha));
        else  // a cut-off body counts what came and has no hash
            EXPECT_EQ(std::pair(o.result.bytes > 0, o.result.sha256),
                      std::pair(s.events.contains("Progress"), QByteArray()));
        return;
    }
    // What the script leaves open, the two must agree on.
    const TransferResult &a = outcomes[0].result, &b = outcomes.back().result;
    EXPECT_EQ(std::tuple(a.httpStatus, a.bytes, a.sha256, a.version),
              std::tuple(b.httpStatus, b.bytes, b.sha256, b.version));
}

INSTANTIATE_TEST_SUITE_P(Scripts, Contract, ::testing::ValuesIn(kScripts),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

FETCHORA_CORE_TEST_MAIN("fetchora-download-tests-no-viewer")
