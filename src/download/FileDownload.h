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

#include "core/RuntimeError.h"

#include <QByteArray>
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

// What one transfer came to: one per transfer, readable from inside its last
// event (and after). The three numbers each live in their own space, so the
// one that applies says which: "http 503", "curl 28", "err 75".
struct TransferResult {
    enum class Kind {
        Body,             // the complete body lies at the target (Finished)
        NotModified,      // the server's version is the one stored: nothing fetched
        NotFound,         // HTTP 404
        HttpError,        // any other final status but 200
        ConnectionError,  // no response, or the connection failed during the body
        Cancelled,        // AbortDownload
        Replaced,         // let go for the next download (never raised by a component)
        LocalError,       // the download could not be written here
    };
    Kind kind = Kind::Cancelled;
    int httpStatus = 0;    // of the final response; 0: none
    long curlCode = 0;     // 0: none
    long errorNumber = 0;  // the runtime error of a local failure; 0: none
    QString text;          // what went wrong, in the language set for the transfer
    qint64 bytes = 0;      // body bytes received
    double seconds = 0;
    QByteArray sha256;  // hex, of a complete body only
    QString version;    // as the server named it (ETag, else Last-Modified); empty: none

    // The number that says what went wrong, with its space: "http 503",
    // "curl 28", "err 75"; empty when nothing did.
    QString numberText() const
    {
        if (errorNumber)
            return QStringLiteral("err ") + QString::number(errorNumber);
        if (curlCode)
            return QStringLiteral("curl ") + QString::number(curlCode);
        if (kind == Kind::HttpError || kind == Kind::NotFound)
            return QStringLiteral("http ") + QString::number(httpStatus);
        return {};
    }
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
    // The certificate authorities to trust for HTTPS, as a PEM bundle, in
    // place of the system's; set before StartDownload. Empty: the bundle that
    // CURL_CA_BUNDLE, else SSL_CERT_FILE names, else the system's.
    virtual void setCaFile(const QString &path) { Q_UNUSED(path); }
    virtual TransferResult result() const { return {}; }
};

// Makes a new component whose events go to the given sink.
using DownloadFactory = std::function<std::unique_ptr<FileDownloadComponent>(DownloadEvents *)>;

}  // namespace fetchora
