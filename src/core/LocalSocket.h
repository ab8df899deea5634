#pragma once
// Asking a local service (the X server, the session bus) whether it is there
// before a library blocks on it without a bound.

#include <QByteArray>

namespace fetchora {

// A non-blocking stream socket to the unix socket `name`: a file path, or
// with `abstract` a name in Linux's abstract namespace. It may still be
// connecting (poll it for POLLOUT); a listener whose queue is full counts as
// there. -1 with errno set when nothing listens under the name.
int connectLocalSocket(const QByteArray &name, bool abstract);

}  // namespace fetchora
