#pragma once
// The download component: one HTTP(S) transfer per StartDownload, done by
// libcurl on a worker thread, reported to a DownloadEvents sink.
//
// Threading and ownership:
//  - Create, use and destroy an instance on one thread that runs a Qt event
//    loop (the UI thread). The sink is called only on that thread, from its
//    event loop, one event at a time and in the order the transfer produced
//    them. An event is never delivered while another event of the same
//    instance is still inside the sink (a nested event loop in a handler
//    holds the following events back until the handler returns).
//  - The sink is not owned and must outlive the instance.
//  - The worker thread calls nothing of the instance; it talks to the UI
//    thread only through a shared relay. Destroying the instance detaches
//    the relay from the sink first, so no event of a destroyed instance is
//    ever delivered, not even one already queued, and destruction from
//    inside one of its own callbacks is safe.
//  - Destruction and a new StartDownload never wait for a worker: an aborted
//    worker ends on its own within moments and cleans up after itself.
//
// The file: the body streams to a partial file of its own beside TargetFile
// ("<name>.<n>.part", n counting the transfers of the process, cut to the
// name limit), so a worker that was let go never touches the file of a newer
// transfer. It is renamed to TargetFile only when the transfer is complete; a
// file already at TargetFile stays untouched unless the transfer succeeds. On
// any failure or abort the partial file is removed.
//
// Only a complete 200 response is a copy. With a stored version set, the
// request asks for the body only if it changed.
//
// Events of a transfer, in order:
//   Start                      the first response began (status line read)
//   ShowVersion(s)             at most once, after the headers of a final 200
//                              response and before any body byte is written,
//                              when it carries an ETag (preferred) or
//                              Last-Modified; or for a 304 to a conditional
//                              request, with the stored version. The worker
//                              waits for the handler. SameVersion(True) inside
//                              the handler ends the transfer without writing
//                              and raises Abort.
//   Progress(loaded, size)     throttled; size = Content-Length or -1;
//                              a last one with the full count before Finished
//   then exactly one of
//   Finished                   the complete file lies at TargetFile
//   Abort                      AbortDownload or SameVersion(True)
//   NotFound                   HTTP 404
//   DownloadError(n, d)        the transfer began and failed: any final status
//                              but 200 and 404 (n = status, d = "HTTP 500
//                              Internal Server Error"), a body slower than the
//                              floor rate, another curl error (n = CURLcode), or
//                              a file error (the runtime error number, d names
//                              the file; 61 also when the disk would be left
//                              with less than minFreeBytes)
//   ConnectionError(n, d)      no response at all (refused, DNS, TLS,
//                              connect timeout, empty reply); n = CURLcode
// The descriptions the engine writes itself come in the interface language
// of the moment StartDownload was called; curl's own texts stay as they are.
//
// StartDownload may be called again on the same instance once its transfer
// has delivered its last event.

#include "download/FileDownload.h"

#include <memory>

namespace fetchora {

struct DownloadOptions {
    int connectTimeoutSec = 30;  // to establish the connection (and TLS)
    // A body that comes in slower than minBytesPerSec for stallTimeoutSec
    // ends the transfer, so a trickling server cannot hold it for ever.
    int stallTimeoutSec = 60;
    int minBytesPerSec = 100;
    int maxRedirects = 10;
    int progressIntervalMs = 250;
    // Flush the file to disk before it is renamed, so that a crash right
    // after Finished cannot leave an empty or partial TargetFile. Off by
    // default: the program's TargetFile is a scratch copy in tmp/, which it
    // flushes when it stores it (a crash before that only loses the scratch
    // copy, which the next Start replaces anyway), so flushing here too would
    // write every download to disk twice over in time.
    bool syncToDisk = false;
    // A body that would leave less than this free on the file system of
    // TargetFile's folder ends the transfer before it does, as a DownloadError
    // 61 (disk full). Looked at when the body begins, against the size the
    // server announces, and again every few MiB as it comes in.
    qint64 minFreeBytes = qint64(64) << 20;
    // The bytes free to the user on the file system of a folder; empty: as
    // the file system tells it. Called on the worker thread.
    std::function<qint64(const QString &folder)> freeBytes = {};
};

namespace download_detail {
class Relay;
struct Transfer;
}  // namespace download_detail

class CurlDownload : public FileDownloadComponent {
public:
    explicit CurlDownload(DownloadEvents *sink, DownloadOptions options = {});
    ~CurlDownload() override;
    CurlDownload(const CurlDownload &) = delete;
    CurlDownload &operator=(const CurlDownload &) = delete;

    // Answers the ShowVersion event that is being delivered; ignored at any
    // other time.
    void SameVersion(bool &same) override;
    // False (and no event) for an empty URL or TargetFile, a URL that is not
    // http or https (a URL without scheme is taken as http), or while a
    // transfer of this instance is still running.
    bool StartDownload(const QString &URL, const QString &TargetFile) override;
    // Ends the running transfer; Abort follows once. No event when nothing
    // runs or the transfer has already produced its last event.
    void AbortDownload() override;
    // For the next StartDownload: an ETag ('"…"' or 'W/"…"') is sent as
    // If-None-Match, any other text as If-Modified-Since; empty: none.
    void setStoredVersion(const QString &version) override;
    void setLanguage(Language language) override;
    void setCaFile(const QString &path) override;
    // Set when the transfer's last event is delivered; empty before.
    TransferResult result() const override;

private:
    DownloadOptions m_options;
    QString m_storedVersion;
    Language m_language = Language::German;
    QString m_caFile;
    std::shared_ptr<download_detail::Relay> m_relay;
    std::shared_ptr<download_detail::Transfer> m_transfer;
};

DownloadFactory defaultDownloadFactory(DownloadOptions options = {});

// Whether StartDownload takes the URL: http or https (no scheme: http), with
// a host, nothing the parser rejects and no blank inside; blanks and line
// breaks at its ends do not count.
bool canFetch(const QString &url);

}  // namespace fetchora
