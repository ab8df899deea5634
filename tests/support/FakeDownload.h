#pragma once
// Download components without a network.
//  - fakeDownloadFactory: does nothing by itself; tests count what the window asked of it and raise its events.
//  - FakeEngine: transfers from a simulated server, moved on by the world they live in, one step at a time. It keeps
//    the promises of the real engine (CurlDownload), and the contract tests hold it to them: the same events, results
//    and errors for the same script.

#include "core/RuntimeError.h"
#include "download/CurlDownload.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <curl/curl.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>

namespace fetchora::testing {

struct FakeDownloadLog {
    int starts = 0;         // StartDownload calls
    TransferResult result;  // what the transfer ending now reports
};

inline DownloadFactory fakeDownloadFactory(std::shared_ptr<FakeDownloadLog> log)
{
    struct Fake : FileDownloadComponent {
        std::shared_ptr<FakeDownloadLog> log;
        explicit Fake(std::shared_ptr<FakeDownloadLog> l) : log(std::move(l)) {}
        void SameVersion(bool &) override {}
        bool StartDownload(const QString &, const QString &) override { return ++log->starts, true; }
        void AbortDownload() override {}
        void setStoredVersion(const QString &) override {}
        TransferResult result() const override { return log->result; }
    };
    return [log](DownloadEvents *) { return std::make_unique<Fake>(log); };
}

// What the simulated server makes of a request. A stored version equal to the one it names is answered 304.
struct FakeReply {
    enum Plan { Finish, NotFound, HttpError, Refused, Stall } plan = Finish;
    QByteArray body = {};
    QByteArray etag = {}, lastModified = {};  // the version it names (the ETag first); empty: none
    QByteArray version() const { return etag.isEmpty() ? lastModified : etag; }
};

// One transfer. Its owner holds it and calls step() with the time; each step delivers at most one event (the last
// Progress and Finished count as one step), never one inside a call of the engine.
struct FakeTransfer {
    int id = 0;
    DownloadEvents *sink = nullptr;
    QString target, storedVersion;
    Language language = Language::German;
    FakeReply reply;
    qint64 startMs = 0, endMs = 0;  // the body is complete at endMs
    int stage = 0;                  // 0 nothing sent; 1 Start sent; 2 version settled
    bool abortAsked = false, askingVersion = false, same = false, alive = true, ended = false, over = false;
    TransferResult soFar;   // what the transfer has come to
    TransferResult result;  // set as its last event goes out
    // Once: just before the last event goes out, or when the transfer is let go before that.
    std::function<void(FakeTransfer &)> onOver = [](FakeTransfer &) {};

    bool notModified() const { return !storedVersion.isEmpty() && storedVersion.toUtf8() == reply.version(); }

    void letGo()
    {
        alive = false;
        if (!std::exchange(over, true))
            onOver(*this);
    }

    void step(qint64 nowMs)
    {
        using Kind = TransferResult::Kind;
        if (!alive || ended)
            return;
        // A body that completes within moments of the abort is delivered all the same.
        if (abortAsked && !(reply.plan == FakeReply::Finish && stage == 2 && nowMs + 2000 >= endMs))
            return last(nowMs, Kind::Cancelled, [](DownloadEvents *s) { s->FileDownload_Abort(); });
        if (reply.plan == FakeReply::Refused) {
            if (nowMs >= endMs)
                fail(nowMs, Kind::ConnectionError, CURLE_COULDNT_CONNECT, curl_easy_strerror(CURLE_COULDNT_CONNECT),
                     true);
            return;
        }
        if (stage == 0) {
            stage = 1;
            soFar.httpStatus = reply.plan == FakeReply::NotFound    ? 404
                               : reply.plan == FakeReply::HttpError ? 500
                               : notModified()                      ? 304
                                                                    : 200;
            return sink->FileDownload_Start();
        }
        if (reply.plan == FakeReply::NotFound) {
            soFar.text = QStringLiteral("HTTP 404 Not Found");
            return last(nowMs, Kind::NotFound, [](DownloadEvents *s) { s->FileDownload_NotFound(); });
        }
        if (reply.plan == FakeReply::HttpError)
            return fail(nowMs, Kind::HttpError, 500, QStringLiteral("HTTP 500 Internal Server Error"));
        if (stage == 1) {
            stage = 2;
            soFar.version = notModified() ? storedVersion : QString::fromLatin1(reply.version());
            if (soFar.version.isEmpty())
                return;
            askingVersion = true;
            sink->FileDownload_ShowVersion(soFar.version);
            askingVersion = false;
            if (!alive || ended)
                return;
            // Not a byte of the body has come yet: an abort inside the handler always wins.
            if (abortAsked || same)
                return last(nowMs, abortAsked ? Kind::Cancelled : Kind::NotModified,
                            [](DownloadEvents *s) { s->FileDownload_Abort(); });
            if (notModified())
                return fail(nowMs, Kind::HttpError, 304, QStringLiteral("HTTP 304 Not Modified"));
            return;
        }
        if (nowMs < endMs) {
            if (reply.plan != FakeReply::Stall || nowMs - startMs < 5000) {
                // The body begins a second after the headers, three after the start.
                soFar.bytes = reply.body.size() * (nowMs - startMs - 3000) / (endMs - startMs);
                sink->FileDownload_Progress(soFar.bytes, reply.body.size());
            }
            return;
        }
        if (reply.plan == FakeReply::Stall)
            return fail(nowMs, Kind::ConnectionError, 28, QStringLiteral("Operation too slow"));
        if (const int error = writeBody()) {
            const RuntimeError e = errnoError(error, error == ENOENT ? QFileInfo(target).absolutePath() : target,
                                              err::PathNotFound, language);
            soFar.bytes = 0;
            soFar.errorNumber = e.number();
            return fail(nowMs, Kind::LocalError, e.number(), e.description());
        }
        soFar.bytes = reply.body.size();
        soFar.sha256 = QCryptographicHash::hash(reply.body, QCryptographicHash::Sha256).toHex();
        sink->FileDownload_Progress(soFar.bytes, soFar.bytes);
        if (alive)
            last(nowMs, Kind::Body, [](DownloadEvents *s) { s->FileDownload_Finished(); });
    }

private:
    void last(qint64 nowMs, TransferResult::Kind kind, const std::function<void(DownloadEvents *)> &event)
    {
        ended = true;
        soFar.kind = kind;
        soFar.seconds = double(nowMs - startMs) / 1000;
        result = soFar;
        if (!std::exchange(over, true))
            onOver(*this);
        event(sink);
    }
    // A curl or HTTP failure: a ConnectionError when nothing answered, else a DownloadError.
    void fail(qint64 nowMs, TransferResult::Kind kind, long number, const QString &text, bool noResponse = false)
    {
        soFar.text = text;
        if (kind == TransferResult::Kind::ConnectionError)
            soFar.curlCode = number;
        last(nowMs, kind, [number, text, noResponse](DownloadEvents *s) {
            noResponse ? s->FileDownload_ConnectionError(number, text) : s->FileDownload_DownloadError(number, text);
        });
    }
    // 0, or the errno of the write that failed.
    int writeBody() const
    {
        const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return errno;
        const bool whole = ::write(fd, reply.body.constData(), size_t(reply.body.size())) == reply.body.size();
        const int error = whole ? 0 : errno ? errno : EIO;
        ::close(fd);
        return error;
    }
};

// The engine around fake transfers: what it accepts, answers and refuses is what CurlDownload does. `begin` makes the
// transfer (the world's server decides its reply); nullptr: the engine refuses to begin.
class FakeEngine : public FileDownloadComponent {
public:
    using Begin = std::function<std::shared_ptr<FakeTransfer>(const QString &url, const QString &storedVersion)>;
    FakeEngine(DownloadEvents *sink, Begin begin) : m_sink(sink), m_begin(std::move(begin)) {}
    ~FakeEngine() override
    {
        if (t)
            t->letGo();
    }
    // Only inside ShowVersion.
    void SameVersion(bool &same) override
    {
        if (t && t->askingVersion)
            t->same = same;
    }
    bool StartDownload(const QString &url, const QString &target) override
    {
        if (!canFetch(url) || target.isEmpty() || (t && !t->ended))
            return false;
        std::shared_ptr<FakeTransfer> next = m_begin(url, m_storedVersion);
        if (!next)
            return false;
        t = std::move(next);
        t->sink = m_sink;
        t->target = target;
        t->storedVersion = m_storedVersion;
        t->language = m_language;
        return true;
    }
    // Once the last event has gone out there is nothing left to end.
    void AbortDownload() override
    {
        if (t && !t->ended)
            t->abortAsked = true;
    }
    void setStoredVersion(const QString &version) override { m_storedVersion = version; }
    void setLanguage(Language language) override { m_language = language; }
    // Empty until the last event.
    TransferResult result() const override { return t ? t->result : TransferResult{}; }

    std::shared_ptr<FakeTransfer> t;  // the latest transfer

private:
    DownloadEvents *m_sink;
    Begin m_begin;
    QString m_storedVersion;
    Language m_language = Language::German;
};

}  // namespace fetchora::testing
