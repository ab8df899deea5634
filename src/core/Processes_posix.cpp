#include "core/Processes.h"

#include <cerrno>
#include <csignal>

namespace fetchora {

bool processAlive(qint64 pid)
{
    // Signal 0 only asks; EPERM means it exists but is another user's.
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

}  // namespace fetchora
