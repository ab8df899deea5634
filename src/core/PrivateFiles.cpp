#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fetchora {

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// Exactly 0600 / 0700: created with those bits, a umask can only have taken
// some away, and whatever it took from the owner is given back here.
bool setExactly(int fd, unsigned mode)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    return (st.st_mode & 07777) == mode || ::fchmod(fd, mode) == 0;
}

}  // namespace

bool createPrivateFile(const QString &path)
{
    const int fd = ::open(native(path).constData(), O_CLOEXEC | O_CREAT | O_EXCL | O_WRONLY, kPrivateFileMode);
    if (fd < 0)
        return false;
    const bool ok = setExactly(fd, kPrivateFileMode);
    ::close(fd);
    return ok;
}

bool makePrivate(QFileDevice &file)
{
    return file.handle() >= 0 && setExactly(file.handle(), kPrivateFileMode);
}

bool makePrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    QDir().mkpath(info.absolutePath());
    const QByteArray name = native(path);
    if (::mkdir(name.constData(), kPrivateFolderMode) != 0)
        return errno == EEXIST && QFileInfo(path).isDir();
    // A new folder holds nothing yet: setting its bits by name is safe.
    struct stat st {};
    return ::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode)
           && ((st.st_mode & 07777) == kPrivateFolderMode || ::chmod(name.constData(), kPrivateFolderMode) == 0);
}

std::optional<unsigned> closeToOthers(const QString &path)
{
    const QByteArray name = native(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || (st.st_mode & 077) == 0)
        return std::nullopt;
    const unsigned was = st.st_mode & 07777;
    if (::chmod(name.constData(), was & ~077u) != 0)
        return std::nullopt;
    return was;
}

}  // namespace fetchora
