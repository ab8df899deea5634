#pragma once
// Storing a finished download in the save folder: a job that runs off the UI
// thread on values copied at its start, and hands back a result. It never
// reads anything the UI thread may change meanwhile.

#include "core/RuntimeError.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace fetchora {

class Settings;

class TraceScope;

// Decides once whether a copy takes its name or is given up: the job asks
// just before the name change that makes the copy visible, the program when
// it ends without waiting any longer. The first to ask wins, so history.log
// never says "not stored" of a copy that is there.
class PlaceOrGiveUp {
public:
    bool place() { return claim(Placing); }
    // False once the copy is taking its name: it is there, or about to be.
    bool giveUp() { return claim(GivenUp); }

private:
    enum State { Open, Placing, GivenUp };
    bool claim(int to)
    {
        int open = Open;
        return m_state.compare_exchange_strong(open, to) || open == to;
    }
    std::atomic<int> m_state{Open};
};

struct StoreRequest {
    QString tmpFile;  // the complete download in tmp/
    // The engine's fingerprint of the body (hex), which is the uncompressed
    // copy's: it is recorded as it is, never computed again. Empty: unknown,
    // the copy is read once to make it.
    QByteArray sha256;
    bool unchanged = false;  // the same body as the stored copy: only tmp/ is cleared
    QString unchangedCopy;   // that copy: stored after all when it is gone by the time the job runs
    bool compress = false;
    QString archivePath;  // used when compressing
    QString password;     // used when compressing; empty: none
    long rate = 6;        // the compression level, when compressing
    QString targetPath;   // used otherwise
    // Stamped names: a file already at the name stays, and the copy takes
    // the first free one of "<name>-2.<ext>", "<name>-3.<ext>" ... Off: the
    // file at the name is replaced.
    bool keepOthers = false;
    // Retention: after a stored copy, older copies this program stored from
    // the same URL into the same folder (as its manifest records them) go.
    int keepCopies = 0;  // keep only this many, the new one included; 0: all
    int keepDays = 0;    // remove those older than this; 0: keep
    QString appFolder;   // holds the manifest and the journal of working names
    QString url;
    QString folder;
    QDateTime now;
    Language language = Language::German;  // of the texts it reports in
    std::shared_ptr<PlaceOrGiveUp> decision;  // shared with whoever may give the job up; none: always placed
};

struct StoreResult {
    long number = 0;  // 0: stored; else the runtime error number
    QString description;
    QString storedPath;  // the copy in the save folder
    QString sha256;      // of that file, hex
    bool unchanged = false;
    // Files under a copy's name that were no copy any more (a FIFO, a
    // device, a link ...): left alone, one line each.
    QStringList notes;
    bool ok() const { return number == 0; }
    static StoreResult failure(long number, const QString &description)
    {
        StoreResult r;
        r.number = number;
        r.description = description;
        return r;
    }
};

// What the finished handler gathers on the UI thread for the job: the ZIP
// layer's settings, the stored names and the options, read in the order the
// handler always has. A value that does not convert is reported through `t`
// and its default stands in.
struct FinishedDownload {
    const Settings *settings = nullptr;  // required: the naming, the ZIP and the retention
    QString folder, baseName, ext, tmpFile, url, appFolder;
    bool compress = false;
    QDateTime now;
    Language language = Language::German;
};
StoreRequest prepareStore(TraceScope &t, const FinishedDownload &d);

// Compresses tmpFile into the archive and then deletes it, or puts it in place
// of targetPath; records it in the manifest, then applies the retention. A
// copy already stored is replaced only by a complete new one; on failure the
// download stays in tmp/.
StoreResult storeFinishedFile(const StoreRequest &request);

// Removes what a program killed while it stored a copy leaves behind: the
// hidden working files the journal of `appFolder` names, wherever they are,
// and partial downloads in tmp/. Returns notes as StoreResult's.
QStringList removeLeftovers(const QString &appFolder, const QString &tmpFolder);

}  // namespace fetchora
