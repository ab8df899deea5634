#pragma once
// One program at a time on a profile: two would sweep each other's downloads
// out of tmp/ and race for fcr.ini. Both front ends take the lock the same
// way and say the same when they cannot.

#include "core/RuntimeError.h"

#include <QString>

namespace fetchora {

class Profile;

struct ProfileLock {
    int fd = -1;  // the lock file, held locked; -1: not taken
    bool taken() const { return fd >= 0; }
    QString problem;                  // why not, as one line naming the folder or file
    // 1: another live program holds it; 2: something the user must fix
    // (a full or read-only disk, a folder that cannot be made).
    int exitCode = 0;
    ProfileLock();
    ProfileLock(ProfileLock &&other) noexcept;
    ProfileLock &operator=(ProfileLock &&other) noexcept;
    ~ProfileLock();
};

// The lock is the kernel's (flock on fcr.lock): it ends with the process
// that holds it, however that ends (killed, a power cut), so nothing ever
// has to guess from a process id whether its holder still lives. A restart
// in a fresh PID namespace, or one whose old id now belongs to another
// program, takes it at once. The file names the holder for the message of
// a second program; a disk too full to write that still lets the lock work.
ProfileLock lockProfile(const Profile &profile, Language language);

}  // namespace fetchora
