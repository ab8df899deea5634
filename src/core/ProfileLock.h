#pragma once
// One program at a time on a profile: two would sweep each other's downloads
// out of tmp/ and race for fcr.ini. Both front ends take the lock the same
// way and say the same when they cannot.

#include "core/RuntimeError.h"

#include <QString>
#include <memory>

class QLockFile;

namespace fetchora {

class Profile;

struct ProfileLock {
    std::unique_ptr<QLockFile> lock;  // null: not taken
    QString problem;                  // why not, as one line naming the folder or file
    // 1: another live program holds it; 2: something the user must fix
    // (a full or read-only disk, a folder that cannot be made).
    int exitCode = 0;
    ProfileLock();
    ProfileLock(ProfileLock &&) noexcept;
    ProfileLock &operator=(ProfileLock &&) noexcept;
    ~ProfileLock();
};

// A lock left by a program that ended without removing it (killed, a power
// cut) is taken over: QLockFile tells a live holder by its pid and the
// program's name.
ProfileLock lockProfile(const Profile &profile, Language language);

}  // namespace fetchora
