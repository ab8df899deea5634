#include "store/StoreJob.h"

#include "core/Settings.h"
#include "store/Manifest.h"
#include "store/StoredFileName.h"
#include "core/Trace.h"

#include "zip/Zip.h"
#include "core/FileSystem.h"
#include "core/Fingerprint.h"
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
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace fetchora {

namespace {

bool isRegularFile(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Puts a complete file in place of `target` in one rename: the old copy is
// replaced only once the new one is complete beside it, so a failure at any
// point leaves either the old file or the new one, never neither. With
// keepOthers a file at `target` stays and the copy takes a free numbered
// name. Returns where the copy went.
QString replaceWithNewFile(FileSystem &fs, const QString &source, const QString &target, bool keepOthers,
                           const QString &journal, Language language, PlaceOrGiveUp *decision)
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
    // leaves the old copy or the complete new one. A copy that cannot be put
    // on disk, or is no file any more, takes no name.
    QString placed = target;
    int e = fsio::syncPath(staging, false);
    const bool givenUp = e == 0 && decision && !decision->place();
    if (e == 0 && !givenUp)
        e = keepOthers ? renameToFreeName(staging, &placed) : fsio::renameFile(staging, target, true);
    if (e != 0 || givenUp) {
        // Put the new file back where the next attempt expects it; whatever
        // else stands under the working name now is not ours to move.
        try {
            if (isRegularFile(staging))
                fs.MoveFile(staging, source);
        } catch (const RuntimeError &) {
        }
        if (givenUp)
            throw RuntimeError(err::UserInterrupt);
        // The box names the file in the way, so the user knows what to fix.
        if (e == EEXIST)
            throw fileError(err::FileAlreadyExists, target, FileNote::None, language);
        throw errnoError(e, e == ENOENT ? info.absolutePath() : target, err::PathNotFound, language);
    }
    fsio::syncPath(info.absolutePath(), true);
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
// copy about to go. Copies found gone or changed leave the manifest. Only
// copies of exactly this folder count: one of a folder inside it or beside
// it with a longer name is another setting's.
void applyRetention(const StoreRequest &r, const QString &manifest, ManifestContent &content,
                    const QString &justStored, StoreResult &result)
{
    if (r.keepCopies <= 0 && r.keepDays <= 0)
        return;
    const QString url = displayUrl(r.url);
    const QString folder = cleanAbsolute(r.folder);
    const QString self = cleanAbsolute(justStored);
    QStringList forget;
    QList<StoredCopy> remove;
    int kept = 1;                                                 // the copy just stored
    for (qsizetype i = content.copies.size() - 1; i >= 0; --i) {  // newest first
        const StoredCopy &c = content.copies[i];
        if (c.url != url || c.path == self || QFileInfo(c.path).absolutePath() != folder)
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
            if (sha256OfDescriptor(file.fd()) != c.sha256)
                forget << c.path;  // the user's own content now
            else
                remove << c;
            break;
        case CopyState::NotAFile:
        case CopyState::Gone:
        case CopyState::Changed: forget << c.path; break;
        case CopyState::Unreadable: break;  // tried again after the next copy
        }
    }
    QStringList gone = forget;
    for (const StoredCopy &c : remove)
        gone << c.path;
    // The records go before the copies, and on disk: a crash in between
    // leaves a copy nobody lists, never a record of a copy that is not there.
    if (gone.isEmpty() || recordGone(manifest, gone, !remove.isEmpty()) != 0)
        return;
    content.records += gone.size();
    const QSet<QString> dead(gone.begin(), gone.end());
    content.copies.removeIf([&](const StoredCopy &c) { return dead.contains(c.path); });
    for (const StoredCopy &c : remove) {
        const int e = fsio::unlinkFile(c.path);
        if (e != 0 && e != ENOENT && recordStored(manifest, c) == 0) {
            content.copies << c;  // tried again after the next copy
            ++content.records;
        }
    }
}

// Rewritten once the dead records outnumber the live ones, so reading it
// costs what is kept, not every copy ever stored.
void compact(const QString &manifest, const ManifestContent &content, const QString &journal)
{
    if (content.records > 2 * content.copies.size() + 32)
        rewriteManifest(manifest, content.copies, journal);
}

// The record of a copy about to be replaced goes first, and on disk: a crash
// may leave the new file under the name, never with the old one's
// fingerprint. Returns the record, to be written again when nothing is
// replaced after all; throws when it cannot go.
std::optional<StoredCopy> forgetReplaced(const QString &manifest, const QString &path, Language language)
{
    if (manifest.isEmpty())
        return std::nullopt;
    const QString name = cleanAbsolute(path);
    for (const StoredCopy &c : readManifest(manifest).copies) {
        if (c.path != name)
            continue;
        if (const int e = recordGone(manifest, {name}, true))
            throw errnoError(e, manifest, err::PathNotFound, language);
        return c;
    }
    return std::nullopt;
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
    request.rate = d.settings->number(t, Setting::CompRate);
    t.step([&] { zip::SetCompressionRate(request.rate); });
    QString date, time;
    t.step([&] {
        const QLocale locale = fileStampLocale();
        date = stampText(shortDateText(d.now.date(), locale));
        time = stampText(longTimeText(d.now.time(), locale));
    });
    const bool mode1 = d.settings->flag(t, Setting::StampName);
    t.step([&] {
        const StoredPaths paths = storedPaths(d.folder, d.baseName, d.ext, mode1, date, time);
        request.archivePath = paths.archivePath;
        request.targetPath = paths.targetPath;
    });
    t.step([&] { zip::SaveFolderLocation(d.appFolder); });
    request.tmpFile = d.tmpFile;
    request.compress = d.compress;
    if (d.compress)
        t.step([&] { request.password = d.settings->text(Setting::Password); });
    request.keepCopies = int(d.settings->number(t, Setting::KeepCopies));
    request.keepDays = int(d.settings->number(t, Setting::KeepDays));
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
    // The profile's file system belongs to the UI thread; this job has its own.
    FileSystem fs(request.language);
    const QString journal = request.appFolder.isEmpty() ? QString() : workJournalIn(request.appFolder);
    fs.setWorkJournal(journal);
    const QString manifest = request.appFolder.isEmpty() ? QString() : manifestIn(request.appFolder);
    StoreResult result;
    std::optional<StoredCopy> replaced;
    try {
        // The copy that made the body "unchanged" may have gone (moved, deleted,
        // its folder removed) since the cycle looked: then this body is stored.
        if (request.unchanged && QFileInfo(request.unchangedCopy).isFile()) {
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
            if (const std::shared_ptr<PlaceOrGiveUp> decision = request.decision)
                options.mayPlace = [decision] { return decision->place(); };
            if (!request.keepOthers)
                replaced = forgetReplaced(manifest, request.archivePath, request.language);
            const zip::ZipResult zipped = zip::packFile(request.archivePath, request.tmpFile, options);
            if (!zipped.ok()) {
                if (replaced)
                    recordStored(manifest, *replaced);
                return StoreResult::failure(zipped.number, zipped.description);
            }
            // The archive took the old one's place: its record is not to come back.
            replaced.reset();
            result.storedPath = zipped.archivePath;
            result.sha256 = QString::fromLatin1(zipped.sha256);
            // Only a complete archive lets the download go.
            fs.DeleteFile(request.tmpFile, true);
        } else if (fs.FileExists(request.tmpFile)) {
            if (!request.keepOthers)
                replaced = forgetReplaced(manifest, request.targetPath, request.language);
            result.storedPath = replaceWithNewFile(fs, request.tmpFile, request.targetPath, request.keepOthers, journal,
                                                   request.language, request.decision.get());
            replaced.reset();
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
        if (replaced)
            recordStored(manifest, *replaced);
        return StoreResult::failure(e.number(), e.describe(request.language));
    } catch (const std::exception &e) {
        if (replaced)
            recordStored(manifest, *replaced);
        const RuntimeError error = fromException(e);
        return StoreResult::failure(error.number(), error.describe(request.language));
    }
    if (!manifest.isEmpty()) {
        recordCopy(request, manifest, result);
        ManifestContent content = readManifest(manifest);
        applyRetention(request, manifest, content, result.storedPath, result);
        compact(manifest, content, journal);
    }
    return result;
}

QStringList removeLeftovers(const QString &appFolder, const QString &tmpFolder)
{
    // Only what no living process writes any more: the journal knows the
    // working names and their writers, wherever the save folder was then.
    const QStringList notes = sweepWorkingFiles(workJournalIn(appFolder));
    // tmp/ belongs to this program alone (one per application folder), and
    // nothing is written into it now: partial downloads go, and so does a
    // whole one a failed store left, whatever name its URL gave it.
    QDir tmp(tmpFolder);
    for (const QString &name : tmp.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const RegularFile file(tmp.filePath(name));
        if (file.ours())
            fsio::unlinkFile(tmp.filePath(name));
    }
    return notes;
}

}  // namespace fetchora
