#pragma once
// Storing a finished download in the save folder: a job that runs off the UI
// thread on values copied at its start, and hands back a result. It never
// reads anything the UI thread may change meanwhile.

#include "trace/RuntimeError.h"

#include <QDateTime>
#include <QString>

namespace fetchora {

class TraceScope;

struct StoreRequest {
    QString tmpFile;         // the complete download in tmp/
    bool unchanged = false;  // the same body as the stored copy: only tmp/ is cleared
    bool compress = false;
    QString archivePath;  // used when compressing
    QString password;     // used when compressing; empty: none
    long rate = 6;        // the compression level, when compressing
    QString targetPath;   // used otherwise
    // Retention: after a stored copy, older copies this program stored from
    // the same URL into the same folder (as history.log records them) go.
    int keepCopies = 0;  // keep only this many, the new one included; 0: all
    int keepDays = 0;    // remove those older than this; 0: keep
    QString historyPath;
    QString url;
    QString folder;
    QDateTime now;
    Language language = Language::German;  // of the texts it reports in
};

struct StoreResult {
    long number = 0;  // 0: stored; else the runtime error number
    QString description;
    QString storedPath;  // the copy in the save folder
    QString sha256;      // of that file, hex
    bool unchanged = false;
    bool ok() const { return number == 0; }
};

// What the finished handler gathers on the UI thread for the job: the ZIP
// layer's settings, the stored names and the options, read in the order the
// handler always has. A value that does not convert is reported through `t`
// and its default stands in.
struct FinishedDownload {
    QString folder, baseName, ext, tmpFile, url, appFolder, historyPath;
    bool compress = false;
    QDateTime now;
    Language language = Language::German;
};
StoreRequest prepareStore(TraceScope &t, const FinishedDownload &d);

// Compresses tmpFile into the archive and then deletes it, or puts it in place
// of targetPath; then applies the retention. A copy already stored is replaced
// only by a complete new one; on failure the download stays in tmp/.
StoreResult storeFinishedFile(const StoreRequest &request);

// Removes what a program killed while it stored a copy leaves behind: hidden
// half-written copies in the save folder and partial downloads in tmp/.
void removeLeftovers(const QString &saveFolder, const QString &tmpFolder);

}  // namespace fetchora
