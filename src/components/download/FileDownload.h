#pragma once
// The download component as the main window sees it.
//
// Threading and ownership:
//  - A component is created, used and destroyed on one thread (the UI thread);
//    its events are delivered to its DownloadEvents sink on that same thread,
//    through that thread's event loop, one at a time and in the order the
//    transfer produced them.
//  - Destroying a component stops its transfer and guarantees that the sink
//    sees no further event of it, not even one that was already queued. This
//    holds when it is destroyed from inside one of its own event callbacks
//    (the Finished handler releases the component it is called by).
//  - StartDownload returns at once; the transfer runs on a worker thread.

#include "trace/RuntimeError.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

namespace fetchora {

// Implemented by the main window. Names follow the component's events.
class DownloadEvents {
public:
    virtual ~DownloadEvents() = default;
    virtual void FileDownload_ConnectionError(long Number, const QString &Descr) = 0;
    virtual void FileDownload_DownloadError(long Number, const QString &Descr) = 0;
    virtual void FileDownload_Abort() = 0;
    virtual void FileDownload_NotFound() = 0;
    // Raised once per transfer, after the response headers and before the
    // body is written, when the server names a version (ETag, else
    // Last-Modified). The handler may answer with SameVersion(); True ends the
    // transfer without touching the target file and raises Abort, so an
    // unchanged remote file never costs a second copy of its body.
    virtual void FileDownload_ShowVersion(const QString &s) = 0;
    virtual void FileDownload_Finished() = 0;
    // FileSize below 1 means unknown.
    virtual void FileDownload_Progress(qint64 BytesLoaded, qint64 FileSize) = 0;
    virtual void FileDownload_Start() = 0;
};

// What a transfer came to, readable from inside its last event (and after).
struct TransferOutcome {
    int httpStatus = 0;  // of the final response; 0: none
    qint64 bytes = 0;    // body bytes received
    QByteArray sha256;   // of the body as received (complete transfers only)
};

class FileDownloadComponent {
public:
    virtual ~FileDownloadComponent() = default;
    virtual void SameVersion(bool &same) = 0;
    virtual bool StartDownload(const QString &URL, const QString &TargetFile) = 0;
    virtual void AbortDownload() = 0;

    // The version (as ShowVersion reported it) of the copy already stored;
    // set before StartDownload. The transfer then asks for the body only if
    // it changed (If-None-Match for an ETag, else If-Modified-Since), and a
    // "not modified" answer raises ShowVersion(version), so the cycle's
    // answer SameVersion(True) ends it as for an unchanged ETag.
    virtual void setStoredVersion(const QString &version) { Q_UNUSED(version); }
    // The language of the texts its events carry; set before StartDownload.
    virtual void setLanguage(Language language) { Q_UNUSED(language); }
    virtual TransferOutcome outcome() const { return {}; }
};

// Makes a new component whose events go to the given sink.
using DownloadFactory = std::function<std::unique_ptr<FileDownloadComponent>(DownloadEvents *)>;

}  // namespace fetchora
