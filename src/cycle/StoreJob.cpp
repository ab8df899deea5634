#include "cycle/StoreJob.h"

#include "cycle/CycleOptions.h"
#include "cycle/History.h"
#include "cycle/StoredFileName.h"
#include "trace/modTraceLITE.h"

#include "components/zip/modZIP32vb.h"
#include "startup/FileSystem.h"
#include "startup/FlushToDisk.h"
#include "startup/Names.h"
#include "startup/Processes.h"
#include "trace/RuntimeError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fetchora {

namespace {

// Puts a complete file in place of `target` in one rename: the old copy is
// replaced only once the new one is complete beside it, so a failure at any
// point leaves either the old file or the new one, never neither.
void replaceWithNewFile(FileSystem &fs, const QString &source, const QString &target, Language language)
{
    const QFileInfo info(target);
    const QString staging = info.absolutePath() + u'/' + workingName(info.fileName(), QStringLiteral("new"));
    if (fs.FileExists(staging))
        fs.DeleteFile(staging, true);
    fs.MoveFile(source, staging);
    // The new copy is on disk before it takes the old one's name, and the
    // name change is on disk before the cycle goes on: a crash or power cut
    // leaves the old copy or the complete new one.
    flushToDisk(staging, false);
    if (std::rename(QFile::encodeName(staging).constData(), QFile::encodeName(target).constData()) != 0) {
        const int e = errno;
        // Put the new file back where the next attempt expects it.
        try {
            fs.MoveFile(staging, source);
        } catch (const RuntimeError &) {
        }
        // The box names the file in the way, so the user knows what to fix.
        throw errnoError(e, e == ENOENT ? info.absolutePath() : target, err::PathNotFound, language);
    }
    flushToDisk(info.absolutePath(), true);
}

StoreResult failed(long number, const QString &description)
{
    StoreResult r;
    r.number = number;
    r.description = description;
    return r;
}

QString sha256Of(const QString &path)
{
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::ReadOnly) || !hash.addData(&f))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

// Only a file that still holds what this program stored under its name goes.
void applyRetention(const StoreRequest &r, const QString &justStored)
{
    if (r.keepCopies <= 0 && r.keepDays <= 0)
        return;
    QMap<QString, HistoryEntry> latest;  // by path: its last record
    for (const HistoryEntry &e : storedCopies(r.historyPath, r.folder, r.url))
        latest[QFileInfo(e.detail).absoluteFilePath()] = e;
    latest.remove(QFileInfo(justStored).absoluteFilePath());
    QList<HistoryEntry> older = latest.values();
    std::sort(older.begin(), older.end(), [](const auto &a, const auto &b) { return a.at > b.at; });  // newest first
    for (qsizetype i = 0; i < older.size(); ++i) {
        const bool tooMany = r.keepCopies > 0 && i + 1 >= r.keepCopies;
        const bool tooOld = r.keepDays > 0 && older[i].at.addDays(r.keepDays) < r.now;
        if ((tooMany || tooOld) && QFile::exists(older[i].detail) && sha256Of(older[i].detail) == older[i].sha256)
            QFile::remove(older[i].detail);
    }
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
    request.historyPath = d.historyPath;
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
    try {
        if (request.unchanged) {
            fs.DeleteFile(request.tmpFile, true);
            StoreResult same;
            same.unchanged = true;
            return same;
        }
        if (request.compress) {
            const zip::ZipResult zipped =
                zip::packFile(request.archivePath, request.tmpFile, request.password, request.rate, request.language);
            if (!zipped.ok())
                return failed(zipped.number, zipped.description);
            // Only a complete archive lets the download go.
            fs.DeleteFile(request.tmpFile, true);
        } else if (fs.FileExists(request.tmpFile)) {
            replaceWithNewFile(fs, request.tmpFile, request.targetPath, request.language);
        }
    } catch (const RuntimeError &e) {
        return failed(e.number(), e.describe(request.language));
    } catch (const std::exception &e) {
        const RuntimeError error = fromException(e);
        return failed(error.number(), error.describe(request.language));
    }
    StoreResult result;
    result.storedPath = request.compress ? request.archivePath : request.targetPath;
    result.sha256 = sha256Of(result.storedPath);
    applyRetention(request, result.storedPath);
    return result;
}

void removeLeftovers(const QString &saveFolder, const QString &tmpFolder)
{
    // Only what no living process writes any more: another program may
    // share the save folder, so a working file goes only once its owner has.
    QDir save(saveFolder);
    for (const QString &name : save.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const qint64 owner = workingNameOwner(name);
        if (owner > 0 && !processAlive(owner))
            save.remove(name);
    }
    // tmp/ belongs to this program alone (one per application folder).
    QDir tmp(tmpFolder);
    for (const QString &name : tmp.entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden))
        tmp.remove(name);
}

}  // namespace fetchora
