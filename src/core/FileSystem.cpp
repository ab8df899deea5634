#include "core/FileSystem.h"

#include "core/Names.h"
#include "core/WorkJournal.h"
#include "core/RuntimeError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Plain POSIX calls: the error numbers the user sees depend on errno, which
// QFile does not report. Path texts accept '\' as well as '/' as separator,
// because the program's paths are built from user input and URLs.

namespace fetchora {

namespace {

std::mutex g_hookLock;
std::shared_ptr<const FsHook> g_hook;

// Taken under the lock, called outside it: a hook may take its time.
std::optional<int> consult(FsOp op, const QString &path, const QString &to = {}, int flags = 0)
{
    std::shared_ptr<const FsHook> hook;
    {
        std::lock_guard<std::mutex> guard(g_hookLock);
        hook = g_hook;
    }
    if (!hook)
        return std::nullopt;
    return (*hook)(FsCall{op, path, to, flags});
}

}  // namespace

FsHook setFileSystemHook(FsHook hook)
{
    std::shared_ptr<const FsHook> next = hook ? std::make_shared<const FsHook>(std::move(hook)) : nullptr;
    std::lock_guard<std::mutex> guard(g_hookLock);
    std::swap(g_hook, next);
    return next ? *next : FsHook();
}

namespace fsio {

int openFile(const QString &path, int flags, mode_t mode)
{
    if (const auto fault = consult(FsOp::Open, path, {}, flags)) {
        errno = *fault;
        return -1;
    }
    return ::open(QFile::encodeName(path).constData(), flags, mode);
}

int writeAll(int fd, const QString &path, const char *data, size_t size)
{
    while (size > 0) {
        size_t piece = size;
        if (const auto fault = consult(FsOp::Write, path)) {
            if (*fault != kShortWrite)
                return *fault;
            piece = std::max<size_t>(1, size / 2);
        }
        const ssize_t n = ::write(fd, data, piece);
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

int truncateFile(int fd, const QString &path, off_t size)
{
    if (const auto fault = consult(FsOp::Truncate, path))
        return *fault;
    return ::ftruncate(fd, size) == 0 ? 0 : errno;
}

int syncFile(int fd, const QString &path)
{
    if (const auto fault = consult(FsOp::Sync, path))
        return *fault;
    return ::fsync(fd) == 0 ? 0 : errno;
}

int syncPath(const QString &path, bool folder)
{
    if (const auto fault = consult(FsOp::Sync, path))
        return *fault;
    // A save folder may well be a link; a file of ours never is.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (folder ? O_DIRECTORY : O_NOFOLLOW);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return errno;
    struct stat st {};
    int error = ::fstat(fd, &st) != 0 ? errno : 0;
    if (!error && !folder && !S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (!error && ::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    return error;
}

int renameFile(const QString &from, const QString &to, bool replace)
{
    if (const auto fault = consult(FsOp::Rename, from, to, replace ? 1 : 0))
        return *fault;
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (replace)
        return ::rename(f.constData(), t.constData()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File system without no-replace rename: the destination is checked just
    // before, so a plain rename is the best that is left.
    if (::access(t.constData(), F_OK) == 0)
        return EEXIST;
    return ::rename(f.constData(), t.constData()) == 0 ? 0 : errno;
}

int unlinkFile(const QString &path)
{
    if (const auto fault = consult(FsOp::Unlink, path))
        return *fault;
    return ::unlink(QFile::encodeName(path).constData()) == 0 ? 0 : errno;
}

int unlinkIn(int folderFd, const QString &folder, const char *name)
{
    if (const auto fault = consult(FsOp::Unlink, folder + u'/' + QFile::decodeName(name)))
        return *fault;
    return ::unlinkat(folderFd, name, 0) == 0 ? 0 : errno;
}

int makeFolder(const QString &path, mode_t mode)
{
    if (const auto fault = consult(FsOp::MakeFolder, path))
        return *fault;
    return ::mkdir(QFile::encodeName(path).constData(), mode) == 0 ? 0 : errno;
}

int removeFolder(const QString &path)
{
    if (const auto fault = consult(FsOp::RemoveFolder, path))
        return *fault;
    return ::rmdir(QFile::encodeName(path).constData()) == 0 ? 0 : errno;
}

}  // namespace fsio

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

// Creates a new working file beside `dst` for a copy: its name carries this
// process's id and is noted in the journal before the file exists, so a kill
// leaves nothing the next Start cannot find.
int createWorkingCopy(const QString &dst, const QString &journal, QString *name)
{
    const QFileInfo info(dst);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString tag = QStringLiteral("move") + QString::number(QRandomGenerator::global()->generate(), 16);
        const QString path = info.absolutePath() + u'/' + workingName(info.fileName(), tag);
        noteWorkingFile(journal, path);
        *name = path;
        const int fd = fsio::openFile(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Copies src into a new working file in the destination's folder and renames
// it into place. Returns 0 or the errno of the first failure; on failure the
// working file is gone and the destination untouched.
int copyIntoPlace(const QString &src, const QString &dst, const QString &dstFolder, const struct stat &srcStat,
                  const QString &journal)
{
    Fd in(::open(native(src).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return errno;

    QString working;
    Fd out(createWorkingCopy(dst, journal, &working));
    if (out.get() < 0)
        return errno;

    auto fail = [&](int error) {
        out.reset();
        fsio::unlinkFile(working);
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
        if (const int e = fsio::writeAll(out.get(), working, buffer.data(), size_t(n)))
            return fail(e);
    }

    ::fchmod(out.get(), srcStat.st_mode & 07777);
    const struct timespec times[2] = {srcStat.st_atim, srcStat.st_mtim};
    ::futimens(out.get(), times);
    if (const int e = fsio::syncFile(out.get(), working))
        return fail(e);
    if (const int e = out.release()) {
        fsio::unlinkFile(working);
        return e;
    }
    if (const int e = fsio::renameFile(working, dst, false)) {
        fsio::unlinkFile(working);
        return e;
    }
    fsio::syncPath(dstFolder, true);
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
    if (const int e = fsio::makeFolder(path))
        raiseErrno(e, path, err::PathNotFound);
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
    if (const int e = fsio::unlinkFile(path))
        raiseErrno(e, path);
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
    if (!S_ISDIR(modeOf(folder)))
        raiseFor(err::PathNotFound, folder);

    const int error = fsio::renameFile(source, dest, false);
    if (error == 0)
        return;
    if (error != EXDEV)
        raiseErrno(error, dest, err::PathNotFound);

    if (const int e = copyIntoPlace(source, dest, folder, srcStat, m_journal))
        raiseErrno(e, dest, err::PathNotFound);
    if (const int e = fsio::unlinkFile(source)) {
        // The source cannot go: take the copy back, so the move either happened
        // or did not, and no file exists twice under two names.
        fsio::unlinkFile(dest);
        raiseErrno(e, source);
    }
}

int renameWithoutReplacing(const QString &from, const QString &to)
{
    return fsio::renameFile(from, to, false);
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
