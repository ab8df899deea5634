#pragma once
// Storing a finished download in the save folder: a job that runs off the UI
// thread on values copied at its start, and hands back a result. It never
// reads anything the UI thread may change meanwhile.

#include <QString>

namespace fetchora {

struct StoreRequest {
    QString tmpFile;      // the complete download in tmp/
    bool compress = false;
    QString archivePath;  // used when compressing
    QString password;     // used when compressing; empty: none
    QString targetPath;   // used otherwise
};

struct StoreResult {
    long number = 0;  // 0: stored; else the runtime error number
    QString description;
    bool ok() const { return number == 0; }
};

// Compresses tmpFile into the archive and then deletes it, or puts it in place
// of targetPath. A copy already stored is replaced only by a complete new one;
// on failure the download stays in tmp/.
StoreResult storeFinishedFile(const StoreRequest &request);

// Removes what a program killed while it stored a copy leaves behind: hidden
// half-written copies in the save folder and partial downloads in tmp/.
void removeLeftovers(const QString &saveFolder, const QString &tmpFolder);

}  // namespace fetchora
