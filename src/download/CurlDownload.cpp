#include "download/CurlDownload.h"

#include "Version.h"

#include "core/Fingerprint.h"
#include "core/HandOver.h"
#include "core/Names.h"
#include "core/RuntimeError.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRegularExpression>
#include <QUrl>

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace fetchora {

namespace download_detail {

// Lives on the UI thread and runs what the workers hand over, in order. The
// instance clears `sink` when it goes away, which silences everything still
// to come; the inbox goes with the relay, so nothing runs on a relay that is
// gone.
class Relay : public QObject {
public:
    UiInbox inbox;
    DownloadEvents *sink = nullptr;
    bool collectingVersion = false;
    bool versionAnswer = false;
    bool running = false;  // a transfer has not delivered its last event yet
    TransferResult result;
    // An event that arrives while the sink is still inside another one (a
    // handler that runs a nested event loop) waits until that one returns.
    bool inside = false;
    std::deque<std::function<void()>> held;

    void deliver(std::function<void()> call)
    {
        held.push_back(std::move(call));
        if (inside)
            return;
        inside = true;
        while (!held.empty()) {
            const std::function<void()> next = std::move(held.front());
            held.pop_front();
            next();
        }
        inside = false;
    }
};

// Shared by the instance and its worker.
struct Transfer {
    QByteArray url;
    QByteArray target;
    QByteArray part;
    QByteArray partFolder;  // whose file system must keep its reserve
    QByteArray condition;   // the header that makes the request conditional; empty: none
    QString storedVersion;
    QByteArray caFile;  // empty: the system's
    Language language = Language::German;  // of the engine's own texts
    DownloadOptions options;
    std::atomic<bool> abort{false};

    std::mutex lock;  // also orders an abort before the final rename
    std::condition_variable answered;
    bool versionDone = false;
    bool sameVersion = false;
};

}  // namespace download_detail

using download_detail::Relay;
using download_detail::Transfer;

namespace {

const QByteArray kUserAgent = QByteArrayLiteral("Fetchora/") + kVersionText;

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Workers are never joined. At the end of the process the ones still ending
// get a moment, so none outlives what it posts to.
DetachedThreads &workers()
{
    static DetachedThreads w(2000);
    return w;
}

// What a worker knows of the UI thread: the way back, and the relay the
// calls it sends there run on (never touched by the worker).
struct Back {
    std::shared_ptr<HandOver> handOver;
    Relay *relay = nullptr;

    void send(std::function<void(Relay *)> call) const
    {
        handOver->post([relay = relay, call = std::move(call)] { relay->deliver([relay, call] { call(relay); }); });
    }
};

template <class F>
void post(const Back &back, F &&call)
{
    back.send([call = std::forward<F>(call)](Relay *relay) {
        if (relay->sink)
            call(relay->sink);
    });
}

// The last event of a transfer brings its result along.
template <class F>
void postLast(const Back &back, const TransferResult &result, F &&call)
{
    back.send([result, call = std::forward<F>(call)](Relay *relay) {
        relay->result = result;
        relay->running = false;
        if (relay->sink)
            call(relay->sink);
    });
}

// Everything the worker keeps about one transfer while curl runs.
struct Work {
    std::shared_ptr<Transfer> transfer;
    Back back;
    FILE *file = nullptr;
    int fileErrno = 0;
    bool started = false;
    bool versionAsked = false;
    bool skipped = false;   // unchanged remote version
    bool notACopy = false;  // a body of a response other than 200
    long status = 0;
    QByteArray reason;
    QByteArray etag;
    QByteArray lastModified;
    curl_off_t loaded = 0;
    curl_off_t writtenBack = 0;  // bytes already handed to the disk
    curl_off_t nextSpaceCheck = 0;
    // The body's fingerprint, taken on this thread right after each write,
    // while the bytes are still in the cache: the copy is never read again
    // for it. Handing the bytes to a second hashing thread measured slower
    // on two cores shared with other work (a copy and a hand-over per
    // piece, and no core to spare).
    Sha256 hash;
    std::chrono::steady_clock::time_point lastProgress{};
    CURL *curl = nullptr;
};

QByteArray headerValue(const QByteArray &line, const char *name)
{
    const qsizetype colon = line.indexOf(':');
    if (colon < 0)
        return {};
    if (line.left(colon).trimmed().toLower() != QByteArray(name))
        return {};
    return line.mid(colon + 1).trimmed();
}

size_t onHeader(char *data, size_t size, size_t count, void *user)
{
    auto *w = static_cast<Work *>(user);
    const QByteArray line(data, qsizetype(size * count));
    if (line.startsWith("HTTP/")) {
        // A new response (after a redirect or a 100 Continue) starts afresh.
        const QList<QByteArray> parts = line.trimmed().split(' ');
        w->status = parts.size() > 1 ? parts[1].toLong() : 0;
        const qsizetype second = line.indexOf(' ', line.indexOf(' ') + 1);
        w->reason = second > 0 ? line.mid(second + 1).trimmed() : QByteArray();
        w->etag.clear();
        w->lastModified.clear();
        if (!w->started) {
            w->started = true;
            post(w->back, [](DownloadEvents *s) { s->FileDownload_Start(); });
        }
        return size * count;
    }
    if (QByteArray v = headerValue(line, "etag"); !v.isEmpty())
        w->etag = v;
    else if (QByteArray v2 = headerValue(line, "last-modified"); !v2.isEmpty())
        w->lastModified = v2;
    return size * count;
}

// Asks the window whether `version` is the one it already has. Returns true
// when the body is to be skipped.
bool askVersion(Work *w, const QString &version)
{
    w->versionAsked = true;
    if (version.isEmpty())
        return false;
    w->back.send([transfer = w->transfer, version](Relay *relay) {
        bool same = false;
        if (relay->sink) {
            relay->collectingVersion = true;
            relay->versionAnswer = false;
            relay->sink->FileDownload_ShowVersion(version);
            relay->collectingVersion = false;
            same = relay->versionAnswer;
        }
        std::lock_guard<std::mutex> guard(transfer->lock);
        transfer->versionDone = true;
        transfer->sameVersion = same;
        transfer->answered.notify_all();
    });
    std::unique_lock<std::mutex> guard(w->transfer->lock);
    w->transfer->answered.wait(guard, [&] { return w->transfer->versionDone || w->transfer->abort.load(); });
    return w->transfer->versionDone && w->transfer->sameVersion;
}

bool askRemoteVersion(Work *w)
{
    return askVersion(w, QString::fromLatin1(!w->etag.isEmpty() ? w->etag : w->lastModified));
}

constexpr curl_off_t kWriteBackStep = 8 << 20;
constexpr curl_off_t kSpaceCheckStep = 4 << 20;

// Whether the disk keeps its reserve with what is still to come: the rest of
// the announced size, or without one the bytes up to the next look.
bool roomFor(Work *w, curl_off_t bytes)
{
    const DownloadOptions &o = w->transfer->options;
    struct statvfs fs {};
    if (!o.freeBytes && ::statvfs(w->transfer->partFolder.constData(), &fs) != 0)
        return true;  // what cannot be measured is left to the writes to find out
    const curl_off_t freeBytes = o.freeBytes ? o.freeBytes(QFile::decodeName(w->transfer->partFolder))
                                             : curl_off_t(fs.f_bavail) * curl_off_t(fs.f_frsize);
    curl_off_t length = -1;
    if (curl_easy_getinfo(w->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        length = -1;
    const curl_off_t coming = std::max(length >= 0 ? length - w->loaded : kSpaceCheckStep, bytes);
    return freeBytes - coming >= o.minFreeBytes;
}

size_t onBody(char *data, size_t size, size_t count, void *user)
{
    auto *w = static_cast<Work *>(user);
    const size_t bytes = size * count;
    if (w->transfer->abort.load())
        return 0;
    // Only a 200 carries the file; any other body is not a copy of it.
    if (w->status != 200) {
        w->notACopy = true;
        return 0;
    }
    if (!w->versionAsked && askRemoteVersion(w)) {
        w->skipped = true;
        return 0;
    }
    if (w->transfer->abort.load())
        return 0;
    if (w->loaded >= w->nextSpaceCheck) {
        if (!roomFor(w, curl_off_t(bytes))) {
            w->fileErrno = ENOSPC;
            return 0;
        }
        w->nextSpaceCheck = w->loaded + kSpaceCheckStep;
    }
    if (!w->file) {
        w->file = std::fopen(w->transfer->part.constData(), "wbe");
        if (!w->file) {
            w->fileErrno = errno;
            return 0;
        }
    }
    if (bytes && std::fwrite(data, 1, bytes, w->file) != bytes) {
        w->fileErrno = errno ? errno : EIO;
        return 0;
    }
    w->hash.add(data, bytes);
    w->loaded += curl_off_t(bytes);
    // Start writing the file back while the transfer goes on, so that the
    // flush before the rename finds little left to do and a large download
    // does not pile up gigabytes of dirty pages.
    if (w->transfer->options.syncToDisk && w->loaded - w->writtenBack >= kWriteBackStep) {
        if (std::fflush(w->file) == 0)
            ::sync_file_range(fileno(w->file), w->writtenBack, w->loaded - w->writtenBack, SYNC_FILE_RANGE_WRITE);
        w->writtenBack = w->loaded;
    }
    return bytes;
}

void postProgress(Work *w)
{
    curl_off_t length = -1;
    if (curl_easy_getinfo(w->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0)
        length = -1;
    const qint64 loaded = w->loaded;
    const qint64 total = length;
    post(w->back, [loaded, total](DownloadEvents *s) { s->FileDownload_Progress(loaded, total); });
}

int onProgress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *w = static_cast<Work *>(user);
    if (w->transfer->abort.load())
        return 1;
    if (w->loaded > 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now - w->lastProgress >= std::chrono::milliseconds(w->transfer->options.progressIntervalMs)) {
            w->lastProgress = now;
            postProgress(w);
        }
    }
    return 0;
}

// "HTTP 500 Internal Server Error"; HTTP/2 sends no reason, so the usual one
// stands in.
QString httpText(long status, const QByteArray &reason)
{
    static const std::map<long, const char *> usual = {{202, "Accepted"},
                                                       {204, "No Content"},
                                                       {206, "Partial Content"},
                                                       {301, "Moved Permanently"},
                                                       {302, "Found"},
                                                       {303, "See Other"},
                                                       {304, "Not Modified"},
                                                       {307, "Temporary Redirect"},
                                                       {308, "Permanent Redirect"},
                                                       {400, "Bad Request"},
                                                       {401, "Unauthorized"},
                                                       {403, "Forbidden"},
                                                       {408, "Request Timeout"},
                                                       {410, "Gone"},
                                                       {429, "Too Many Requests"},
                                                       {500, "Internal Server Error"},
                                                       {502, "Bad Gateway"},
                                                       {503, "Service Unavailable"},
                                                       {504, "Gateway Timeout"}};
    QString text = QStringLiteral("HTTP ") + QString::number(status);
    const auto it = usual.find(status);
    if (!reason.isEmpty())
        text += u' ' + QString::fromLatin1(reason);
    else if (it != usual.end())
        text += u' ' + QLatin1String(it->second);
    return text;
}

bool isConnectFailure(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_GOT_NOTHING:
    case CURLE_OPERATION_TIMEDOUT: return true;
    default: return false;
    }
}

// Flushes, closes and renames the partial file into place; false with
// w.fileErrno set when any of it fails.
bool putInPlace(Work &w)
{
    Transfer &t = *w.transfer;
    if (!w.file) {
        w.file = std::fopen(t.part.constData(), "wbe");  // an empty body
        if (!w.file) {
            w.fileErrno = errno;
            return false;
        }
    }
    bool ok = std::fflush(w.file) == 0;
    if (ok && t.options.syncToDisk)
        ok = ::fsync(fileno(w.file)) == 0;
    if (!ok)
        w.fileErrno = errno ? errno : EIO;
    if (std::fclose(w.file) != 0 && ok) {
        w.fileErrno = errno ? errno : EIO;
        ok = false;
    }
    w.file = nullptr;
    if (!ok)
        return false;
    // An instance destroyed meanwhile has set abort under this lock: its
    // transfer no longer replaces anything.
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.abort.load())
        return false;
    if (std::rename(t.part.constData(), t.target.constData()) != 0) {
        w.fileErrno = errno;
        return false;
    }
    return true;
}

// The failure of the file: named as the user knows it, the target, or its
// folder when that is what is missing.
QString fileErrorText(const Work &w, long *number)
{
    const QString target = QFile::decodeName(w.transfer->target);
    const bool folderGone = w.fileErrno == ENOENT;
    const RuntimeError e = errnoError(w.fileErrno, folderGone ? QFileInfo(target).absolutePath() : target,
                                      err::PathNotFound, w.transfer->language);
    *number = e.number();
    return e.description();
}

void transferBody(std::shared_ptr<Transfer> transfer, Back back)
{
    const auto began = std::chrono::steady_clock::now();
    Work w;
    w.transfer = transfer;
    w.back = back;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    const DownloadOptions &o = transfer->options;

    CURL *curl = curl_easy_init();
    w.curl = curl;
    if (!curl) {
        TransferResult r;
        r.kind = TransferResult::Kind::ConnectionError;
        r.curlCode = CURLE_FAILED_INIT;
        r.text = transfer->language == Language::English ? QStringLiteral("The download engine could not start")
                                                         : QStringLiteral("Der Download konnte nicht gestartet werden");
        postLast(back, r, [r](DownloadEvents *s) { s->FileDownload_ConnectionError(r.curlCode, r.text); });
        return;
    }
    curl_slist *headers =
        transfer->condition.isEmpty() ? nullptr : curl_slist_append(nullptr, transfer->condition.constData());
    curl_easy_setopt(curl, CURLOPT_URL, transfer->url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, long(o.maxRedirects));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(o.connectTimeoutSec));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, long(std::max(o.minBytesPerSec, 1)));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(o.stallTimeoutSec));
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &w);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &w);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &w);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent.constData());
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 256L * 1024L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Also for http: a redirect may lead to https.
    if (!transfer->caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, transfer->caFile.constData());

    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);

    const bool ended = code == CURLE_OK && !transfer->abort.load();
    // "Not modified" counts only as the answer to the version we asked about.
    const bool notModified = ended && status == 304 && !transfer->condition.isEmpty();
    if (notModified)
        w.skipped = askVersion(&w, transfer->storedVersion);
    else if (ended && status == 200 && !w.versionAsked && askRemoteVersion(&w))
        w.skipped = true;  // an empty body never reached the write callback

    const bool complete = ended && status == 200 && !w.skipped && putInPlace(w);
    if (w.file)
        std::fclose(w.file);
    if (!complete)
        std::remove(transfer->part.constData());

    using Kind = TransferResult::Kind;
    TransferResult r;
    r.httpStatus = int(status);
    r.bytes = qint64(w.loaded);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    r.version =
        notModified ? transfer->storedVersion : QString::fromLatin1(!w.etag.isEmpty() ? w.etag : w.lastModified);
    if (complete) {
        r.kind = Kind::Body;
        r.sha256 = w.hash.hex();
        const qint64 loaded = w.loaded;
        const qint64 total = length >= 0 ? length : -1;
        // Two hand-overs, so that a sink that lets the instance go inside
        // the last Progress hears nothing more of it.
        post(back, [loaded, total](DownloadEvents *s) { s->FileDownload_Progress(loaded, total); });
        postLast(back, r, [](DownloadEvents *s) { s->FileDownload_Finished(); });
    } else if (transfer->abort.load() || w.skipped) {
        r.kind = w.skipped ? Kind::NotModified : Kind::Cancelled;
        postLast(back, r, [](DownloadEvents *s) { s->FileDownload_Abort(); });
    } else if (w.fileErrno) {
        r.kind = Kind::LocalError;
        r.text = fileErrorText(w, &r.errorNumber);
        postLast(back, r, [r](DownloadEvents *s) { s->FileDownload_DownloadError(r.errorNumber, r.text); });
    } else if (code == CURLE_HTTP_RETURNED_ERROR && status == 404) {
        r.kind = Kind::NotFound;
        r.text = httpText(status, w.reason);
        postLast(back, r, [](DownloadEvents *s) { s->FileDownload_NotFound(); });
    } else if (code == CURLE_HTTP_RETURNED_ERROR || w.notACopy || ended) {
        r.kind = Kind::HttpError;
        r.text = httpText(status, w.reason);
        postLast(back, r, [status, text = r.text](DownloadEvents *s) { s->FileDownload_DownloadError(status, text); });
    } else {
        // curl's detail already holds its general text; the general text
        // alone where there is no detail.
        const QString detail = QString::fromLocal8Bit(errorBuffer).trimmed();
        r.kind = Kind::ConnectionError;
        r.curlCode = long(code);
        r.text = detail.isEmpty() ? QString::fromLatin1(curl_easy_strerror(code)) : detail;
        const bool noResponse = !w.started && isConnectFailure(code);
        postLast(back, r, [r, noResponse](DownloadEvents *s) {
            noResponse ? s->FileDownload_ConnectionError(r.curlCode, r.text)
                       : s->FileDownload_DownloadError(r.curlCode, r.text);
        });
    }
}

// Counted out only once everything of the transfer is released.
void runTransfer(std::shared_ptr<Transfer> transfer, Back back)
{
    transferBody(std::move(transfer), std::move(back));
    workers().ended();
}

std::atomic<quint64> g_transferCount{0};

}  // namespace

CurlDownload::CurlDownload(DownloadEvents *sink, DownloadOptions options)
    : m_options(options), m_relay(new Relay, [](Relay *r) { r->deleteLater(); })
{
    globalInit();
    m_relay->sink = sink;
}

CurlDownload::~CurlDownload()
{
    m_relay->sink = nullptr;
    AbortDownload();
}

void CurlDownload::SameVersion(bool &same)
{
    if (m_relay->collectingVersion)
        m_relay->versionAnswer = same;
}

void CurlDownload::setStoredVersion(const QString &version)
{
    m_storedVersion = version;
}

TransferResult CurlDownload::result() const
{
    return m_relay->result;
}

bool canFetch(const QString &url)
{
    const QString u = url.trimmed();
    if (u.isEmpty() || u.contains(QRegularExpression(QStringLiteral("\\s"))))
        return false;
    const QUrl parsed(u.contains(QStringLiteral("://")) ? u : QStringLiteral("http://") + u, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && !parsed.host().isEmpty()
           && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool CurlDownload::StartDownload(const QString &URL, const QString &TargetFile)
{
    if (!canFetch(URL) || TargetFile.isEmpty() || m_relay->running)
        return false;
    auto t = std::make_shared<Transfer>();
    t->url = URL.trimmed().toUtf8();
    t->target = QFile::encodeName(TargetFile);
    const QFileInfo target(TargetFile);
    t->part = QFile::encodeName(target.absolutePath() + u'/'
                                + sideName({}, target.fileName(), QStringLiteral(".%1.part").arg(++g_transferCount)));
    t->partFolder = QFile::encodeName(target.absolutePath());
    // A header line cannot carry a line break.
    const QString v = m_storedVersion;
    if (!v.isEmpty() && !v.contains(u'\r') && !v.contains(u'\n')) {
        const bool etag = v.startsWith(u'"') || v.startsWith(QLatin1String("W/\""));
        t->condition = (etag ? "If-None-Match: " : "If-Modified-Since: ") + v.toLatin1();
        t->storedVersion = v;
    }
    t->language = m_language;
    // The order curl's own tool looks for a bundle in, after the profile's:
    // an intranet's private authority is trusted without a key of ours.
    t->caFile = QFile::encodeName(m_caFile);
    for (const char *variable : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"})
        if (t->caFile.isEmpty())
            t->caFile = qgetenv(variable);
    t->options = m_options;
    m_transfer = t;
    m_relay->result = {};
    m_relay->running = true;
    workers().started();
    std::thread(runTransfer, t, Back{m_relay->inbox.handOver(), m_relay.get()}).detach();
    return true;
}

void CurlDownload::setLanguage(Language language)
{
    m_language = language;
}

void CurlDownload::setCaFile(const QString &path)
{
    m_caFile = path;
}

void CurlDownload::AbortDownload()
{
    if (!m_transfer)
        return;
    std::lock_guard<std::mutex> guard(m_transfer->lock);
    m_transfer->abort = true;
    m_transfer->answered.notify_all();
}

DownloadFactory defaultDownloadFactory(DownloadOptions options)
{
    return [options](DownloadEvents *sink) { return std::make_unique<CurlDownload>(sink, options); };
}

}  // namespace fetchora
