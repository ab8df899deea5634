#include "core/FileSystem.h"

#include "core/Names.h"
#include "core/WorkJournal.h"
#include "core/RuntimeError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Plain POSIX calls: the error numbers the user sees depend on errno, which
// QFile does not report. Path texts accept '\' as well as '/' as separator,
// because the program's paths are built from user input and URLs.

namespace fetchora {

namespace {

bool isSep(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// 0: absent, else the st_mode of the entry (symbolic links followed).
mode_t modeOf(const QString &path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(native(path).constData(), &st) != 0)
        return 0;
    return st.st_mode;
}

// Index just past the last separator of the path with trailing separators
// ignored; -1 when there is none. len gets the length without them.
qsizetype lastSep(const QString &path, qsizetype *len)
{
    qsizetype n = path.size();
    while (n > 1 && isSep(path[n - 1]))
        --n;
    if (len)
        *len = n;
    for (qsizetype i = n - 1; i >= 0; --i) {
        if (isSep(path[i]))
            return i;
    }
    return -1;
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Closes and reports the error close() may carry (delayed write errors).
    int release()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

bool renameNoReplace(const char *from, const char *to, int *error)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    *error = errno;
    if (*error == EINVAL || *error == ENOSYS) {
        // File system without no-replace rename: the destination was checked
        // just before, so a plain rename is the best that is left.
        if (::access(to, F_OK) == 0) {
            *error = EEXIST;
            return false;
        }
        if (::rename(from, to) == 0)
            return true;
        *error = errno;
    }
    return false;
}

int writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= size_t(n);
    }
    return 0;
}

// Creates a new working file beside `dst` for a copy: its name carries this
// process's id and is noted in the journal before the file exists, so a kill
// leaves nothing the next Start cannot find.
int createWorkingCopy(const QString &dst, const QString &journal, QByteArray *name)
{
    const QFileInfo info(dst);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString tag = QStringLiteral("move") + QString::number(QRandomGenerator::global()->generate(), 16);
        const QString path = info.absolutePath() + u'/' + workingName(info.fileName(), tag);
        noteWorkingFile(journal, path);
        *name = QFile::encodeName(path);
        const int fd = ::open(name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Copies src into a new working file in the destination's folder and renames
// it into place. Returns 0 or the errno of the first failure; on failure the
// working file is gone and the destination untouched.
int copyIntoPlace(const QByteArray &src, const QByteArray &dst, const QByteArray &dstFolder, const struct stat &srcStat,
                  const QString &journal)
{
    Fd in(::open(src.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return errno;

    QByteArray tmpl;
    Fd out(createWorkingCopy(QFile::decodeName(dst), journal, &tmpl));
    if (out.get() < 0)
        return errno;

    auto fail = [&](int error) {
        out.reset();
        ::unlink(tmpl.constData());
        return error;
    };

    constexpr size_t kBufferSize = 1 << 20;
    std::vector<char> buffer(kBufferSize);
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (n == 0)
            break;
        if (const int e = writeAll(out.get(), buffer.data(), size_t(n)))
            return fail(e);
    }

    ::fchmod(out.get(), srcStat.st_mode & 07777);
    const struct timespec times[2] = {srcStat.st_atim, srcStat.st_mtim};
    ::futimens(out.get(), times);
    if (::fsync(out.get()) != 0)
        return fail(errno);
    if (const int e = out.release()) {
        ::unlink(tmpl.constData());
        return e;
    }

    int error = 0;
    if (!renameNoReplace(tmpl.constData(), dst.constData(), &error)) {
        ::unlink(tmpl.constData());
        return error;
    }
    Fd dir(::open(dstFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return 0;
}

}  // namespace

// Every failure names the path in the way, so the user knows what to fix.
void FileSystem::raiseErrno(int error, const QString &path, long notFound) const
{
    throw errnoError(error, path, notFound, m_language);
}

void FileSystem::raiseFor(long number, const QString &path, FileNote note) const
{
    throw fileError(number, path, note, m_language);
}

QString FileSystem::BuildPath(const QString &path, const QString &name) const
{
    if (path.isEmpty())
        return name;
    if (name.isEmpty())
        return path;
    qsizetype start = 0;
    while (start < name.size() && isSep(name[start]))
        ++start;
    // A separator already at the end of the path is kept as it is, whichever it is.
    if (isSep(path.back()))
        return path + name.mid(start);
    return path + QLatin1Char('/') + name.mid(start);
}

QString FileSystem::GetFileName(const QString &path) const
{
    qsizetype len = 0;
    const qsizetype sep = lastSep(path, &len);
    if (len == 1 && isSep(path[0]))
        return QString();
    return path.mid(sep + 1, len - sep - 1);
}

QString FileSystem::GetExtensionName(const QString &path) const
{
    const QString name = GetFileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString FileSystem::GetBaseName(const QString &path) const
{
    const QString name = GetFileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString FileSystem::GetParentFolderName(const QString &path) const
{
    qsizetype len = 0;
    qsizetype sep = lastSep(path, &len);
    if (sep < 0 || (len == 1 && isSep(path[0])))
        return QString();
    // Drop the run of separators before the name, but keep a root "/".
    while (sep > 0 && isSep(path[sep - 1]))
        --sep;
    return sep == 0 ? path.left(1) : path.left(sep);
}

bool FileSystem::FileExists(const QString &path) const
{
    return S_ISREG(modeOf(path));
}

bool FileSystem::FolderExists(const QString &path) const
{
    return S_ISDIR(modeOf(path));
}

void FileSystem::CreateFolder(const QString &path)
{
    if (path.isEmpty())
        raiseError(err::PathNotFound);
    if (::mkdir(native(path).constData(), 0777) != 0)
        raiseErrno(errno, path, err::PathNotFound);
}

void FileSystem::DeleteFile(const QString &path, bool force)
{
    const QByteArray p = native(path);
    struct stat st {};
    if (path.isEmpty() || ::lstat(p.constData(), &st) != 0)
        raiseFor(errno == ENOTDIR ? err::PathNotFound : err::FileNotFound, path);
    if (S_ISDIR(st.st_mode))
        raiseFor(err::FileNotFound, path, FileNote::IsFolder);
    // The read-only attribute: a file without its owner's write bit is only
    // deleted with force, whoever runs the program.
    if (!force && !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR))
        raiseFor(err::PermissionDenied, path, FileNote::ReadOnly);
    if (::unlink(p.constData()) != 0)
        raiseErrno(errno, path);
}

void FileSystem::MoveFile(const QString &source, const QString &destination)
{
    QString dest = destination;
    if (!dest.isEmpty() && isSep(dest.back()))
        dest += GetFileName(source);  // "folder/" means: into that folder

    const QByteArray src = native(source);
    struct stat srcStat {};
    if (source.isEmpty() || ::stat(src.constData(), &srcStat) != 0)
        raiseFor(errno == ENOTDIR ? err::PathNotFound : err::FileNotFound, source);
    if (S_ISDIR(srcStat.st_mode))
        raiseFor(err::FileNotFound, source, FileNote::IsFolder);

    if (dest.isEmpty())
        raiseError(err::PathNotFound);
    const QByteArray dst = native(dest);
    struct stat dstStat {};
    if (::lstat(dst.constData(), &dstStat) == 0)
        raiseFor(err::FileAlreadyExists, dest, S_ISDIR(dstStat.st_mode) ? FileNote::IsFolder : FileNote::None);

    QString folder = GetParentFolderName(dest);
    if (folder.isEmpty())
        folder = QStringLiteral(".");
    const QByteArray dstFolder = native(folder);
    if (!S_ISDIR(modeOf(folder)))
        raiseFor(err::PathNotFound, folder);

    int error = 0;
    if (renameNoReplace(src.constData(), dst.constData(), &error))
        return;
    if (error != EXDEV)
        raiseErrno(error, dest, err::PathNotFound);

    if (const int e = copyIntoPlace(src, dst, dstFolder, srcStat, m_journal))
        raiseErrno(e, dest, err::PathNotFound);
    if (::unlink(src.constData()) != 0) {
        // The source cannot go: take the copy back, so the move either happened
        // or did not, and no file exists twice under two names.
        const int e = errno;
        ::unlink(dst.constData());
        raiseErrno(e, source);
    }
}

int renameWithoutReplacing(const QString &from, const QString &to)
{
    int error = 0;
    return renameNoReplace(native(from).constData(), native(to).constData(), &error) ? 0 : error;
}

QString numberedPath(const QString &path, int n)
{
    if (n <= 1)
        return path;
    const qsizetype nameStart = lastSep(path, nullptr) + 1;
    qsizetype dot = path.lastIndexOf(u'.');
    if (dot < nameStart)
        dot = path.size();
    return path.left(dot) + u'-' + QString::number(n) + path.mid(dot);
}

int renameToFreeName(const QString &from, QString *to)
{
    const QString wanted = *to;
    for (int n = 1; n < 10000; ++n) {
        *to = numberedPath(wanted, n);
        const int error = renameWithoutReplacing(from, *to);
        if (error != EEXIST)
            return error;
    }
    *to = wanted;
    return EEXIST;
}

}  // namespace fetchora
