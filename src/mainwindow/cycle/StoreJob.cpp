#include "mainwindow/cycle/StoreJob.h"

#include "components/zip/modZIP32vb.h"
#include "startup/FileSystem.h"
#include "startup/FlushToDisk.h"
#include "startup/Names.h"
#include "trace/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fetchora {

namespace {

// Puts a complete file in place of `target` in one rename: the old copy is
// replaced only once the new one is complete beside it, so a failure at any
// point leaves either the old file or the new one, never neither.
void replaceWithNewFile(FileSystem &fs, const QString &source, const QString &target)
{
    const QFileInfo info(target);
    const QString staging =
        info.absolutePath() + u'/' + sideName(QStringLiteral("."), info.fileName(), QStringLiteral(".fetchora-new"));
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
        switch (e) {
        case ENOENT: raiseError(err::PathNotFound);
        case ENOSPC: raiseError(err::DiskFull);
        case EACCES:
        case EPERM:
        case EROFS: raiseError(err::PermissionDenied);
        case EISDIR: raiseError(err::PathFileAccessError);
        default: raiseError(err::PathFileAccessError, QString::fromLocal8Bit(std::strerror(e)));
        }
    }
    flushToDisk(info.absolutePath(), true);
}

}  // namespace

StoreResult storeFinishedFile(const StoreRequest &request)
{
    // objFSO belongs to the UI thread; this job has its own.
    FileSystem fs;
    try {
        if (request.compress) {
            const long rc = zip::ZipFile(request.archivePath, request.tmpFile, request.password, -1, 0);
            if (rc != 0)
                return {rc, zip::lastZipError()};
            // Only a complete archive lets the download go.
            fs.DeleteFile(request.tmpFile, true);
        } else if (fs.FileExists(request.tmpFile)) {
            replaceWithNewFile(fs, request.tmpFile, request.targetPath);
        }
    } catch (const RuntimeError &e) {
        return {e.number(), e.description()};
    } catch (const std::exception &e) {
        return {err::PathFileAccessError, QString::fromLocal8Bit(e.what())};
    }
    return {};
}

void removeLeftovers(const QString &saveFolder, const QString &tmpFolder)
{
    const auto sweep = [](const QString &folder, const QStringList &patterns) {
        QDir dir(folder);
        for (const QString &name : dir.entryList(patterns, QDir::Files | QDir::Hidden | QDir::System))
            dir.remove(name);
    };
    sweep(saveFolder, {QStringLiteral(".*.fetchora-new"), QStringLiteral(".*.zip.tmp-*")});
    sweep(tmpFolder, {QStringLiteral("*.part")});
}

}  // namespace fetchora
