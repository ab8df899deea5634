#include "store/StoreJob.h"

#include "core/Options.h"
#include "store/Manifest.h"
#include "store/StoredFileName.h"
#include "core/Trace.h"

#include "zip/Zip.h"
#include "core/FileSystem.h"
#include "core/Fingerprint.h"
#include "core/FlushToDisk.h"
#include "core/Names.h"
#include "core/RegularFile.h"
#include "core/WorkJournal.h"
#include "core/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace fetchora {

namespace {

// Puts a complete file in place of `target` in one rename: the old copy is
// replaced only once the new one is complete beside it, so a failure at any
// point leaves either the old file or the new one, never neither. With
// keepOthers a file at `target` stays and the copy takes a free numbered
// name. Returns where the copy went.
QString replaceWithNewFile(FileSystem &fs, const QString &source, const QString &target, bool keepOthers,
                           const QString &journal, Language language)
{
    const QFileInfo info(target);
    const QString staging = info.absolutePath() + u'/' + workingName(info.fileName(), QStringLiteral("new"));
    noteWorkingFile(journal, staging);
    if (fs.FileExists(staging))
        fs.DeleteFile(staging, true);
    try {
        fs.MoveFile(source, staging);
    } catch (const RuntimeError &e) {
        // Named as the copy it was to become: the working name means nothing to the user.
        throw RuntimeError(e.number(), QString(e.description()).replace(staging, target), e.source());
    }
    // The new copy is on disk before it takes the old one's name, and the
    // name change is on disk before the cycle goes on: a crash or power cut
    // leaves the old copy or the complete new one.
    flushToDisk(staging, false);
    QString placed = target;
    const int e = keepOthers ? renameToFreeName(staging, &placed)
                  : std::rename(QFile::encodeName(staging).constData(), QFile::encodeName(target).constData()) != 0
                      ? errno
                      : 0;
    if (e != 0) {
        // Put the new file back where the next attempt expects it.
        try {
            fs.MoveFile(staging, source);
        } catch (const RuntimeError &) {
        }
        // The box names the file in the way, so the user knows what to fix.
        if (e == EEXIST)
            throw fileError(err::FileAlreadyExists, target, FileNote::None, language);
        throw errnoError(e, e == ENOENT ? info.absolutePath() : target, err::PathNotFound, language);
    }
    flushToDisk(info.absolutePath(), true);
    return placed;
}

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString skipped(const QString &path, const RegularFile &file)
{
    return QStringLiteral("%1: %2, skipped").arg(path, file.what());
}

// Only what this program stored goes, and only while it still holds what
// was stored: the manifest's size and time first, the fingerprint only of a
// copy about to go. Copies found gone or changed leave the manifest.
void applyRetention(const StoreRequest &r, const QString &manifest, const QString &justStored, StoreResult &result)
{
    if (r.keepCopies <= 0 && r.keepDays <= 0)
        return;
    const ManifestContent content = readManifest(manifest);
    const QString url = displayUrl(r.url);
    const QString folder = cleanAbsolute(r.folder) + u'/';
    const QString self = cleanAbsolute(justStored);
    QStringList forget;
    int kept = 1;                                                 // the copy just stored
    for (qsizetype i = content.copies.size() - 1; i >= 0; --i) {  // newest first
        const StoredCopy &c = content.copies[i];
        if (c.url != url || !c.path.startsWith(folder) || c.path == self)
            continue;
        const bool tooOld = r.keepDays > 0 && c.at.addDays(r.keepDays) < r.now;
        const bool tooMany = r.keepCopies > 0 && kept >= r.keepCopies;
        if (!tooOld && !tooMany && r.keepCopies <= 0)
            continue;  // stays, and nothing counts it: not even opened
        const RegularFile file(c.path);
        const CopyState state = stateOf(c, file);
        if (state == CopyState::NotAFile)
            result.notes << skipped(c.path, file);
        if (!tooOld && !tooMany) {
            // Counted only while it is what was stored: a copy the user took
            // away or changed leaves room for an older one.
            if (state == CopyState::Intact || state == CopyState::Unreadable)
                ++kept;
            else
                forget << c.path;
            continue;
        }
        switch (state) {
        case CopyState::Intact:
            if (sha256OfDescriptor(file.fd()) != c.sha256) {
                forget << c.path;  // the user's own content now
            } else if (::unlink(QFile::encodeName(c.path).constData()) == 0 || errno == ENOENT) {
                forget << c.path;
            }
            break;
        case CopyState::NotAFile:
        case CopyState::Gone:
        case CopyState::Changed: forget << c.path; break;
        case CopyState::Unreadable: break;  // tried again after the next copy
        }
    }
    if (forget.isEmpty())
        return;
    // Rewritten once the dead records outnumber the live ones (the copy
    // just stored is already among them).
    const qsizetype live = content.copies.size() - forget.size();
    if (content.records + forget.size() > 2 * live + 32) {
        QList<StoredCopy> keep;
        const QSet<QString> gone(forget.begin(), forget.end());
        for (const StoredCopy &c : content.copies) {
            if (!gone.contains(c.path))
                keep << c;
        }
        if (rewriteManifest(manifest, keep, workJournalIn(r.appFolder)) == 0)
            return;
    }
    recordGone(manifest, forget);
}

// The manifest's record of a copy just put in place.
void recordCopy(const StoreRequest &r, const QString &manifest, const StoreResult &result)
{
    const RegularFile file(result.storedPath);
    if (!file.isRegular() || result.sha256.isEmpty())
        return;
    StoredCopy c;
    c.path = cleanAbsolute(result.storedPath);
    c.size = file.status().st_size;
    c.mtimeNs = mtimeNs(file.status());
    c.sha256 = result.sha256.toLatin1();
    c.url = displayUrl(r.url);
    c.at = r.now;
    recordStored(manifest, c);
}

}  // namespace

StoreRequest prepareStore(TraceScope &t, const FinishedDownload &d)
{
    StoreRequest request;
    t.step([] { zip::SetLanguage(1); });
    request.rate = optionNumber(t, "CompRate", "6");
    t.step([&] { zip::SetCompressionRate(request.rate); });
    QString date, time;
    t.step([&] {
        const QLocale locale = fileStampLocale();
        date = stampText(shortDateText(d.now.date(), locale));
        time = stampText(longTimeText(d.now.time(), locale));
    });
    const bool mode1 = optionOn(t, "Mode1", "1");
    t.step([&] {
        const StoredPaths paths = storedPaths(d.folder, d.baseName, d.ext, mode1, date, time);
        request.archivePath = paths.archivePath;
        request.targetPath = paths.targetPath;
    });
    t.step([&] { zip::SaveFolderLocation(d.appFolder); });
    request.tmpFile = d.tmpFile;
    request.compress = d.compress;
    if (d.compress)
        t.step([&] { request.password = optionText("Pwd", ""); });
    request.keepCopies = int(optionNumber(t, "KeepCopies", "0"));
    request.keepDays = int(optionNumber(t, "KeepDays", "0"));
    request.appFolder = d.appFolder;
    request.keepOthers = mode1;
    request.url = d.url;
    request.folder = d.folder;
    request.now = d.now;
    request.language = d.language;
    return request;
}

StoreResult storeFinishedFile(const StoreRequest &request)
{
    // objFSO belongs to the UI thread; this job has its own.
    FileSystem fs(request.language);
    const QString journal = request.appFolder.isEmpty() ? QString() : workJournalIn(request.appFolder);
    fs.setWorkJournal(journal);
    StoreResult result;
    try {
        if (request.unchanged) {
            fs.DeleteFile(request.tmpFile, true);
            result.unchanged = true;
            return result;
        }
        if (request.compress) {
            zip::PackOptions options;
            options.password = request.password;
            options.rate = request.rate;
            options.language = request.language;
            options.keepOthers = request.keepOthers;
            options.journal = journal;
            const zip::ZipResult zipped = zip::packFile(request.archivePath, request.tmpFile, options);
            if (!zipped.ok())
                return StoreResult::failure(zipped.number, zipped.description);
            result.storedPath = zipped.archivePath;
            result.sha256 = QString::fromLatin1(zipped.sha256);
            // Only a complete archive lets the download go.
            fs.DeleteFile(request.tmpFile, true);
        } else if (fs.FileExists(request.tmpFile)) {
            result.storedPath = replaceWithNewFile(fs, request.tmpFile, request.targetPath, request.keepOthers, journal,
                                                   request.language);
            QByteArray sha256 = request.sha256;
            if (sha256.isEmpty()) {
                const RegularFile copy(result.storedPath);
                sha256 = copy.isRegular() ? sha256OfDescriptor(copy.fd()) : QByteArray();
            }
            result.sha256 = QString::fromLatin1(sha256);
        } else {
            result.storedPath = request.targetPath;  // nothing came to store
            return result;
        }
    } catch (const RuntimeError &e) {
        return StoreResult::failure(e.number(), e.describe(request.language));
    } catch (const std::exception &e) {
        const RuntimeError error = fromException(e);
        return StoreResult::failure(error.number(), error.describe(request.language));
    }
    if (!request.appFolder.isEmpty()) {
        const QString manifest = manifestIn(request.appFolder);
        recordCopy(request, manifest, result);
        applyRetention(request, manifest, result.storedPath, result);
    }
    return result;
}

QStringList removeLeftovers(const QString &appFolder, const QString &tmpFolder)
{
    // Only what no living process writes any more: the journal knows the
    // working names and their writers, wherever the save folder was then.
    const QStringList notes = sweepWorkingFiles(workJournalIn(appFolder));
    // tmp/ belongs to this program alone (one per application folder).
    QDir tmp(tmpFolder);
    for (const QString &name : tmp.entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden))
        tmp.remove(name);
    return notes;
}

}  // namespace fetchora
