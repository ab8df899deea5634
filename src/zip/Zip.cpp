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

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <random>
#include <sys/stat.h>

namespace fetchora::zip {

namespace {

struct ZipState {
    std::mutex lock;
    long rate = 6;
    long language = 0;
    QString folder;
};

ZipState &state()
{
    static ZipState s;
    return s;
}

ZipResult fail(long number, const QString &description)
{
    ZipResult r;
    r.number = number;
    r.description = description;
    return r;
}

ZipResult fail(const RuntimeError &error)
{
    return fail(error.number(), error.description());
}

// An archive error of libzip's own (no system error behind it): its number
// above 1000 and its text after the file it concerns.
ZipResult failZip(long number, const QString &path, const char *what, Language language)
{
    const RuntimeError e = fileError(number, path, FileNote::None, language);
    return fail(number, e.description() + QStringLiteral(" (") + QString::fromLocal8Bit(what) + u')');
}

QString tempNameBeside(const QString &archivePath)
{
    static std::mt19937_64 rng{std::random_device{}()};
    static std::mutex rngLock;
    std::lock_guard<std::mutex> guard(rngLock);
    const QFileInfo info(archivePath);
    return info.absolutePath() + u'/'
           + workingName(info.fileName(), QStringLiteral("zip") + QString::number(rng() & 0xFFFFFFFF, 16));
}

}  // namespace

long InitZip()
{
    return 0;
}

long SetLanguage(long language)
{
    std::lock_guard<std::mutex> guard(state().lock);
    state().language = language;
    return 0;
}

long SetCompressionRate(long rate)
{
    std::lock_guard<std::mutex> guard(state().lock);
    state().rate = rate < 0 ? 0 : (rate > 9 ? 9 : rate);
    return 0;
}

long SaveFolderLocation(const QString &folder)
{
    std::lock_guard<std::mutex> guard(state().lock);
    state().folder = folder;
    return 0;
}

long ZipFile(const QString &archivePath, const QString &filePath, const QString &password, long, long)
{
    long rate;
    {
        std::lock_guard<std::mutex> guard(state().lock);
        rate = state().rate;
    }
    return packFile(archivePath, filePath, password, rate, Language::English).number;
}

ZipResult packFile(const QString &archivePath, const QString &filePath, const QString &password, long rate,
                   Language language)
{
    PackOptions options;
    options.password = password;
    options.rate = rate;
    options.language = language;
    return packFile(archivePath, filePath, options);
}

ZipResult packFile(const QString &archivePath, const QString &filePath, const PackOptions &options)
{
    const QString &password = options.password;
    const Language language = options.language;
    const long rate = options.rate < 0 ? 0 : (options.rate > 9 ? 9 : options.rate);

    const QFileInfo source(filePath);
    if (!source.exists() || !source.isFile())
        return fail(fileError(53, filePath, source.isDir() ? FileNote::IsFolder : FileNote::None, language));
    const QFileInfo target(archivePath);
    if (!QFileInfo(target.absolutePath()).isDir())
        return fail(fileError(76, target.absolutePath(), FileNote::None, language));
    if (target.isDir() && !options.keepOthers)
        return fail(fileError(75, archivePath, FileNote::IsFolder, language));

    // libzip writes the archive under a name of its own beside the one it is
    // given; both live in a working folder of this process, so a kill leaves
    // one folder that the next Start finds through the journal.
    const QString work = tempNameBeside(archivePath);
    noteWorkingFile(options.journal, work);
    if (::mkdir(QFile::encodeName(work).constData(), 0700) != 0)
        return fail(errnoError(errno, archivePath, 76, language));
    const QString temp = work + QStringLiteral("/archive.zip");
    const QByteArray tempName = QFile::encodeName(temp);
    int zerr = 0;
    zip_t *archive = zip_open(tempName.constData(), ZIP_CREATE | ZIP_EXCL, &zerr);
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, zerr);
        const int sys = zip_error_code_system(&error);
        const ZipResult rc = sys ? fail(errnoError(sys, archivePath, 76, language))
                                 : failZip(1000 + zerr, archivePath, zip_error_strerror(&error), language);
        zip_error_fini(&error);
        removeWorkingFolder(work);
        return rc;
    }

    // Each failure names the file it concerns: the source when reading it,
    // else the archive.
    auto archiveError = [&](const QString &path) {
        zip_error_t *error = zip_get_error(archive);
        const int sys = zip_error_code_system(error);
        const ZipResult rc = (zip_error_system_type(error) == ZIP_ET_SYS && sys)
                                 ? fail(errnoError(sys, path, 76, language))
                                 : failZip(1000 + zip_error_code_zip(error), path, zip_error_strerror(error), language);
        zip_discard(archive);
        removeWorkingFolder(work);
        return rc;
    };

    zip_source_t *src = zip_source_file(archive, QFile::encodeName(filePath).constData(), 0, -1);
    if (!src)
        return archiveError(filePath);
    const QByteArray entryName = source.fileName().toUtf8();
    const zip_int64_t index = zip_file_add(archive, entryName.constData(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(src);
        return archiveError(archivePath);
    }
    const zip_int32_t method = rate == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    if (zip_set_file_compression(archive, zip_uint64_t(index), method, zip_uint32_t(rate == 0 ? 0 : rate)) < 0)
        return archiveError(archivePath);
    if (!password.isEmpty()) {
        const QByteArray pw = password.toUtf8();
        if (zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, pw.constData()) < 0)
            return archiveError(archivePath);
    }
    if (zip_close(archive) < 0)
        return archiveError(archivePath);

    ZipResult done;
    {
        // Read back at once, from the page cache: the fingerprint of what
        // was written, not of what was meant to be.
        const RegularFile written(temp);
        if (written.isRegular()) {
            done.sha256 = sha256OfDescriptor(written.fd());
            ::fsync(written.fd());
        }
    }
    done.archivePath = archivePath;
    if (options.mayPlace && !options.mayPlace()) {
        removeWorkingFolder(work);
        return fail(err::UserInterrupt, errorDescription(err::UserInterrupt, language));
    }
    const int e = options.keepOthers ? renameToFreeName(temp, &done.archivePath)
                  : std::rename(tempName.constData(), QFile::encodeName(archivePath).constData()) != 0 ? errno
                                                                                                       : 0;
    removeWorkingFolder(work);
    if (e != 0) {
        return fail(e == EEXIST ? fileError(err::FileAlreadyExists, archivePath, FileNote::None, language)
                                : errnoError(e, archivePath, 76, language));
    }
    flushToDisk(target.absolutePath(), true);
    return done;
}

}  // namespace fetchora::zip
