#pragma once
// Opening a file that someone else may have put under the name: in a folder
// other users can write to, a FIFO would make a plain open() wait for ever,
// a device could be anything, and a link could point anywhere. The file is
// opened without following a link and without blocking, and only a regular
// file is kept open; the rest is reported as what it is.

#include <QString>

#include <sys/stat.h>

namespace fetchora {

class RegularFile {
public:
    enum class Kind { Regular, Missing, Other, Failed };

    explicit RegularFile(const QString &path);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    Kind kind() const { return m_kind; }
    bool isRegular() const { return m_kind == Kind::Regular; }
    int fd() const { return m_fd; }
    const struct stat &status() const { return m_stat; }
    // Owned by the user this program runs as.
    bool ours() const;
    // What stands under the name when it is no regular file: "FIFO",
    // "device", "socket", "folder", "symbolic link" or the system's error text.
    QString what() const;

private:
    Kind m_kind = Kind::Failed;
    int m_fd = -1;
    int m_errno = 0;
    struct stat m_stat {};
};

// Modification time in nanoseconds since the epoch.
qint64 mtimeNs(const struct stat &st);

}  // namespace fetchora
