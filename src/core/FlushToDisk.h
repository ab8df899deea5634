#pragma once
// Puts a file's data, or a folder's entries (a rename), on the disk before
// the program goes on, so a crash or power cut cannot undo a replacement
// that has already been reported done. Best effort: a path that cannot be
// opened is left as it is.

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

namespace fetchora {

inline void flushToDisk(const QString &path, bool directory)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace fetchora
