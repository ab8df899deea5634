#include "core/LocalSocket.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fetchora {

int connectLocalSocket(const QByteArray &name, bool abstract)
{
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const size_t at = abstract ? 1 : 0;  // an abstract name begins with a NUL
    if (name.isEmpty() || size_t(name.size()) + at >= sizeof where.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(where.sun_path + at, name.constData(), size_t(name.size()));
    const auto size = socklen_t(offsetof(sockaddr_un, sun_path) + at + size_t(name.size()) + (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&where), size) == 0 || errno == EINPROGRESS || errno == EAGAIN)
        return fd;
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
}

}  // namespace fetchora
