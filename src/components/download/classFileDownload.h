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
//  - Destruction aborts the transfer and waits only briefly for the worker,
//    which normally ends within milliseconds; a worker that does not end in
//    that time finishes on its own and cleans up after itself.
//
// The file: the body streams to TargetFile + ".part", which is flushed to
// disk and renamed to TargetFile only when the transfer is complete. A file
// already at TargetFile stays untouched unless the transfer succeeds. On any
// failure or abort the ".part" file is removed.
//
// Events of a transfer, in order:
//   Start                      the first response began (status line read)
//   ShowVersion(s)             at most once, after the headers of the final
//                              2xx response and before any body byte is
//                              written, when it carries an ETag (preferred)
//                              or Last-Modified; the worker waits for the
//                              handler. SameVersion(True) inside the handler
//                              ends the transfer without writing and raises
//                              Abort.
//   Progress(loaded, size)     throttled; size = Content-Length or -1;
//                              a last one with the full count before Finished
//   then exactly one of
//   Finished                   the complete file lies at TargetFile
//   Abort                      AbortDownload or SameVersion(True)
//   NotFound                   HTTP 404
//   DownloadError(n, d)        the transfer began and failed: HTTP status
//                              >= 400 (n = status, d = "HTTP 500 Internal
//                              Server Error"), a curl error (n = CURLcode),
//                              or a file error (n = 61 "Disk full", else 75)
//   ConnectionError(n, d)      no response at all (refused, DNS, TLS,
//                              connect timeout, empty reply); n = CURLcode
//
// StartDownload may be called again on the same instance once its transfer
// has delivered its last event.

#include "components/download/FileDownload.h"

#include <memory>
#include <thread>

namespace fetchora {

struct DownloadOptions {
    int connectTimeoutSec = 30;  // to establish the connection (and TLS)
    int stallTimeoutSec = 60;    // no byte for this long ends the transfer
    int maxRedirects = 10;
    int progressIntervalMs = 250;
    // Flush the file to disk before it is renamed, so that a crash right
    // after Finished cannot leave an empty or partial TargetFile. Off by
    // default: the program's TargetFile is a scratch copy in tmp/, which it
    // flushes when it stores it (a crash before that only loses the scratch
    // copy, which the next Start replaces anyway), so flushing here too would
    // write every download to disk twice over in time.
    bool syncToDisk = false;
};

namespace download_detail {
class Relay;
struct Transfer;
}

class classFileDownload : public FileDownloadComponent {
public:
    explicit classFileDownload(DownloadEvents *sink, DownloadOptions options = {});
    ~classFileDownload() override;
    classFileDownload(const classFileDownload &) = delete;
    classFileDownload &operator=(const classFileDownload &) = delete;

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

private:
    void reapWorker(int waitMs);

    DownloadOptions m_options;
    std::shared_ptr<download_detail::Relay> m_relay;
    std::shared_ptr<download_detail::Transfer> m_transfer;
    std::thread m_worker;
};

DownloadFactory defaultDownloadFactory(DownloadOptions options = {});

}  // namespace fetchora
