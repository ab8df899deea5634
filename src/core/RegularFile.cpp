#include "core/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fetchora {

RegularFile::RegularFile(const QString &path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (m_fd < 0) {
        m_errno = errno;
        if (m_errno == ENOENT || m_errno == ENOTDIR) {
            m_kind = Kind::Missing;
            return;
        }
        // A link is refused with ELOOP, a socket with ENXIO: what stands
        // there tells what it is.
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
            m_stat = st;
            m_kind = Kind::Other;
        } else {
            m_kind = Kind::Failed;
        }
        return;
    }
    if (::fstat(m_fd, &m_stat) != 0) {
        m_errno = errno;
        m_kind = Kind::Failed;
    } else {
        m_kind = S_ISREG(m_stat.st_mode) ? Kind::Regular : Kind::Other;
    }
    if (m_kind != Kind::Regular) {
        ::close(m_fd);
        m_fd = -1;
    }
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RegularFile::ours() const
{
    return isRegular() && m_stat.st_uid == ::geteuid();
}

QString RegularFile::what() const
{
    if (m_kind == Kind::Failed || m_kind == Kind::Missing)
        return QString::fromLocal8Bit(std::strerror(m_errno));
    const mode_t mode = m_stat.st_mode;
    if (S_ISFIFO(mode))
        return QStringLiteral("FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("device");
    if (S_ISSOCK(mode))
        return QStringLiteral("socket");
    if (S_ISDIR(mode))
        return QStringLiteral("folder");
    if (S_ISLNK(mode))
        return QStringLiteral("symbolic link");
    return QStringLiteral("file");
}

qint64 mtimeNs(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace fetchora
