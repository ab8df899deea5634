#include "components/download/classFileDownload.h"

#include <QByteArray>
#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <unistd.h>

namespace fetchora {

namespace download_detail {

// Lives on the UI thread. Queued calls go through it; the instance clears
// `sink` when it goes away, which silences everything still queued.
class Relay : public QObject {
public:
    DownloadEvents *sink = nullptr;
    bool collectingVersion = false;
    bool versionAnswer = false;
};

// Shared by the instance and its worker.
struct Transfer {
    QByteArray url;
    QByteArray target;
    QByteArray part;
    DownloadOptions options;
    std::atomic<bool> abort{false};
    std::atomic<bool> finished{false};  // the worker has posted its last event

    std::mutex lock;
    std::condition_variable answered;
    bool versionDone = false;
    bool sameVersion = false;
};

}  // namespace download_detail

using download_detail::Relay;
using download_detail::Transfer;

namespace {

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

template <class F>
void post(const std::shared_ptr<Relay> &relay, F &&call)
{
    QMetaObject::invokeMethod(
        relay.get(),
        [relay, call = std::forward<F>(call)]() mutable {
            if (relay->sink)
                call(relay->sink);
        },
        Qt::QueuedConnection);
}

// Everything the worker keeps about one transfer while curl runs.
struct Work {
    std::shared_ptr<Transfer> transfer;
    std::shared_ptr<Relay> relay;
    FILE *file = nullptr;
    int fileErrno = 0;
    bool started = false;
    bool versionAsked = false;
    bool skipped = false;  // unchanged remote version
    long status = 0;
    QByteArray reason;
    QByteArray etag;
    QByteArray lastModified;
    curl_off_t contentLength = -1;
    curl_off_t loaded = 0;
    curl_off_t writtenBack = 0;  // bytes already handed to the disk
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
            post(w->relay, [](DownloadEvents *s) { s->FileDownload_Start(); });
        }
        return size * count;
    }
    if (QByteArray v = headerValue(line, "etag"); !v.isEmpty())
        w->etag = v;
    else if (QByteArray v2 = headerValue(line, "last-modified"); !v2.isEmpty())
        w->lastModified = v2;
    return size * count;
}

// Asks the window whether the remote version is the one it already has.
// Returns true when the body is to be skipped.
bool askVersion(Work *w)
{
    w->versionAsked = true;
    const QByteArray version = !w->etag.isEmpty() ? w->etag : w->lastModified;
    if (version.isEmpty())
        return false;
    auto transfer = w->transfer;
    const QString text = QString::fromLatin1(version);
    QMetaObject::invokeMethod(
        w->relay.get(),
        [relay = w->relay, transfer, text] {
            bool same = false;
            if (relay->sink) {
                relay->collectingVersion = true;
                relay->versionAnswer = false;
                relay->sink->FileDownload_ShowVersion(text);
                relay->collectingVersion = false;
                same = relay->versionAnswer;
            }
            std::lock_guard<std::mutex> guard(transfer->lock);
            transfer->versionDone = true;
            transfer->sameVersion = same;
            transfer->answered.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> guard(w->transfer->lock);
    w->transfer->answered.wait(guard, [&] { return w->transfer->versionDone || w->transfer->abort.load(); });
    return w->transfer->versionDone && w->transfer->sameVersion;
}

constexpr curl_off_t kWriteBackStep = 8 << 20;

size_t onBody(char *data, size_t size, size_t count, void *user)
{
    auto *w = static_cast<Work *>(user);
    const size_t bytes = size * count;
    if (w->transfer->abort.load())
        return 0;
    if (!w->versionAsked && askVersion(w)) {
        w->skipped = true;
        return 0;
    }
    if (w->transfer->abort.load())
        return 0;
    if (!w->file) {
        w->file = std::fopen(w->transfer->part.constData(), "wb");
        if (!w->file) {
            w->fileErrno = errno;
            return 0;
        }
    }
    if (bytes && std::fwrite(data, 1, bytes, w->file) != bytes) {
        w->fileErrno = errno ? errno : EIO;
        return 0;
    }
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
    post(w->relay, [loaded, total](DownloadEvents *s) { s->FileDownload_Progress(loaded, total); });
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

QString fileErrorText(int e)
{
    switch (e) {
    case ENOSPC: return QStringLiteral("Disk full");
    case EACCES:
    case EPERM:
    case EROFS: return QStringLiteral("Permission denied");
    case ENOENT: return QStringLiteral("Path not found");
    default: return QString::fromLocal8Bit(std::strerror(e));
    }
}

long fileErrorNumber(int e)
{
    switch (e) {
    case ENOSPC: return 61;
    case EACCES:
    case EPERM:
    case EROFS: return 70;
    case ENOENT: return 76;
    default: return 57;
    }
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
        return true;
    default:
        return false;
    }
}

void runTransfer(std::shared_ptr<Transfer> transfer, std::shared_ptr<Relay> relay)
{
    Work w;
    w.transfer = transfer;
    w.relay = relay;
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    CURL *curl = curl_easy_init();
    w.curl = curl;
    if (!curl) {
        post(relay, [](DownloadEvents *s) { s->FileDownload_ConnectionError(CURLE_FAILED_INIT, QStringLiteral("The download engine could not start")); });
        transfer->finished = true;
        return;
    }
    const DownloadOptions &o = transfer->options;
    curl_easy_setopt(curl, CURLOPT_URL, transfer->url.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, long(o.maxRedirects));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(o.connectTimeoutSec));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
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
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Fetchora/1.00.02");
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 256L * 1024L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");

    CURLcode code = curl_easy_perform(curl);
    long httpCode = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpCode);

    // An empty 2xx body never reached the write callback.
    if (code == CURLE_OK && !w.versionAsked && !transfer->abort.load() && askVersion(&w))
        w.skipped = true;

    bool complete = false;
    if (code == CURLE_OK && !w.skipped && !transfer->abort.load()) {
        if (!w.file) {
            w.file = std::fopen(transfer->part.constData(), "wb");
            if (!w.file)
                w.fileErrno = errno;
        }
        if (w.file) {
            bool ok = std::fflush(w.file) == 0;
            if (ok && o.syncToDisk)
                ok = ::fsync(fileno(w.file)) == 0;
            if (!ok)
                w.fileErrno = errno ? errno : EIO;
            ok = (std::fclose(w.file) == 0) && ok;
            w.file = nullptr;
            if (ok && std::rename(transfer->part.constData(), transfer->target.constData()) != 0) {
                w.fileErrno = errno;
                ok = false;
            }
            complete = ok;
        }
    }
    if (w.file) {
        std::fclose(w.file);
        w.file = nullptr;
    }
    if (!complete)
        std::remove(transfer->part.constData());

    if (complete) {
        curl_off_t length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        const qint64 loaded = w.loaded;
        const qint64 total = length >= 0 ? length : -1;
        post(relay, [loaded, total](DownloadEvents *s) {
            s->FileDownload_Progress(loaded, total);
            s->FileDownload_Finished();
        });
    } else if (transfer->abort.load() || w.skipped) {
        post(relay, [](DownloadEvents *s) { s->FileDownload_Abort(); });
    } else if (w.fileErrno) {
        const long number = fileErrorNumber(w.fileErrno);
        const QString text = fileErrorText(w.fileErrno) + QStringLiteral(": ") + QString::fromLocal8Bit(transfer->target);
        post(relay, [number, text](DownloadEvents *s) { s->FileDownload_DownloadError(number, text); });
    } else if (code == CURLE_HTTP_RETURNED_ERROR && httpCode == 404) {
        post(relay, [](DownloadEvents *s) { s->FileDownload_NotFound(); });
    } else if (code == CURLE_HTTP_RETURNED_ERROR) {
        QString text = QStringLiteral("HTTP ") + QString::number(httpCode);
        if (!w.reason.isEmpty())
            text += QLatin1Char(' ') + QString::fromLatin1(w.reason);
        post(relay, [httpCode, text](DownloadEvents *s) { s->FileDownload_DownloadError(httpCode, text); });
    } else {
        QString text = QString::fromLatin1(curl_easy_strerror(code));
        const QString detail = QString::fromLocal8Bit(errorBuffer).trimmed();
        if (!detail.isEmpty() && detail != text)
            text += QStringLiteral(": ") + detail;
        const long number = long(code);
        if (!w.started && isConnectFailure(code))
            post(relay, [number, text](DownloadEvents *s) { s->FileDownload_ConnectionError(number, text); });
        else if (!w.started && code == CURLE_OPERATION_TIMEDOUT)
            post(relay, [number, text](DownloadEvents *s) { s->FileDownload_ConnectionError(number, text); });
        else
            post(relay, [number, text](DownloadEvents *s) { s->FileDownload_DownloadError(number, text); });
    }
    curl_easy_cleanup(curl);
    transfer->finished = true;
}

}  // namespace

classFileDownload::classFileDownload(DownloadEvents *sink, DownloadOptions options)
    : m_options(options),
      m_relay(new Relay, [](Relay *r) { r->deleteLater(); })
{
    globalInit();
    m_relay->sink = sink;
}

classFileDownload::~classFileDownload()
{
    m_relay->sink = nullptr;
    if (m_transfer) {
        m_transfer->abort = true;
        std::lock_guard<std::mutex> guard(m_transfer->lock);
        m_transfer->answered.notify_all();
    }
    reapWorker(1000);
}

void classFileDownload::reapWorker(int waitMs)
{
    if (!m_worker.joinable())
        return;
    // curl looks at the abort flag many times a second, so the worker nearly
    // always ends within milliseconds. One stuck in a system call (a name
    // lookup that does not come back) must not freeze the window: it is let
    // go and cleans up after itself, holding only its own shared state.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!m_transfer->finished.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_transfer->finished.load())
        m_worker.join();
    else
        m_worker.detach();
}

void classFileDownload::SameVersion(bool &same)
{
    if (m_relay->collectingVersion)
        m_relay->versionAnswer = same;
}

bool classFileDownload::StartDownload(const QString &URL, const QString &TargetFile)
{
    if (URL.trimmed().isEmpty() || TargetFile.isEmpty())
        return false;
    if (m_worker.joinable()) {
        if (!m_transfer->finished.load())
            return false;
        m_worker.join();
    }
    const qsizetype schemeEnd = URL.indexOf(QStringLiteral("://"));
    if (schemeEnd >= 0) {
        const QString scheme = URL.left(schemeEnd).toLower();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            return false;
    }
    m_transfer = std::make_shared<Transfer>();
    m_transfer->url = URL.trimmed().toUtf8();
    m_transfer->target = QFile::encodeName(TargetFile);
    m_transfer->part = m_transfer->target + ".part";
    m_transfer->options = m_options;
    m_worker = std::thread(runTransfer, m_transfer, m_relay);
    return true;
}

void classFileDownload::AbortDownload()
{
    if (!m_transfer)
        return;
    m_transfer->abort = true;
    std::lock_guard<std::mutex> guard(m_transfer->lock);
    m_transfer->answered.notify_all();
}

DownloadFactory defaultDownloadFactory(DownloadOptions options)
{
    return [options](DownloadEvents *sink) { return std::make_unique<classFileDownload>(sink, options); };
}

}  // namespace fetchora
