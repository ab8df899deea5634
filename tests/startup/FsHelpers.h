#pragma once
// Root ignores permission bits, so the tests make paths unwritable with the
// immutable attribute or a private mount instead. Both need privileges the
// test may lack; callers skip when these helpers report failure.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace fetchora::testing {

inline bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Sets the immutable attribute and takes it off again at scope end, so the
// temporary folder can be removed.
class Immutable {
public:
    explicit Immutable(QString path) : m_path(std::move(path)), m_ok(setImmutable(m_path, true)) {}
    ~Immutable()
    {
        if (m_ok)
            setImmutable(m_path, false);
    }
    Immutable(const Immutable &) = delete;
    Immutable &operator=(const Immutable &) = delete;
    bool ok() const { return m_ok; }

private:
    QString m_path;
    bool m_ok;
};

// A small tmpfs mounted on an existing folder for the scope's lifetime.
class TmpfsMount {
public:
    TmpfsMount(const QString &folder, const QByteArray &options) : m_folder(QFile::encodeName(folder))
    {
        m_ok = ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~TmpfsMount()
    {
        if (m_ok)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;
    bool ok() const { return m_ok; }

private:
    QByteArray m_folder;
    bool m_ok = false;
};

}  // namespace fetchora::testing
