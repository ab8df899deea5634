#include "core/WorkJournal.h"

#include "core/FileSystem.h"
#include "core/LineFile.h"
#include "core/Names.h"
#include "core/Processes.h"
#include "core/RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fetchora {

QString workJournalIn(const QString &appFolder)
{
    return appFolder + QStringLiteral("/working.journal");
}

namespace {

// Names this run of the program: a process id alone is not enough, as a
// restart in a fresh PID namespace (a container) gets the same one again.
const QByteArray &runToken()
{
    static const QByteArray token = QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    return token;
}

}  // namespace

void noteWorkingFile(const QString &journal, const QString &path)
{
    if (!journal.isEmpty())
        appendLine(journal, escapeField(path).toUtf8() + '\t' + runToken() + '\n');
}

QStringList sweepWorkingFiles(const QString &journal)
{
    QStringList notes;
    const int fd = ::open(QFile::encodeName(journal).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return notes;
    // Held while a writer notes a name, so none is lost to the rewrite; a
    // journal held by something else is left for the next start.
    if (!lockWithin(fd)) {
        ::close(fd);
        return notes;
    }
    QByteArray content;
    char buffer[1 << 14];
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, content.size())) > 0;)
        content.append(buffer, n);

    const qint64 self = QCoreApplication::applicationPid();
    QByteArray kept;
    // A line without its end was cut short by a crash before its file was made.
    const qsizetype complete = content.lastIndexOf('\n') + 1;
    for (const QByteArray &line : content.left(complete).split('\n')) {
        if (line.isEmpty())
            continue;
        // A tab inside a path is escaped: a bare one ends the path.
        const qsizetype tab = line.lastIndexOf('\t');
        const QString path = unescapeField(QString::fromUtf8(tab < 0 ? line : line.left(tab)));
        const QByteArray writer = tab < 0 ? QByteArray() : line.mid(tab + 1);
        const qint64 owner = workingNameOwner(QFileInfo(path).fileName());
        if (owner <= 0)
            continue;  // not a working name: never removed
        // The profile's lock lets one program at a time write here, so a
        // name another run noted is that run's leftover. A line without its
        // run (from before runs were noted) trusts the process id.
        const bool thisRun = writer.isEmpty() ? owner == self : writer == runToken();
        if (writer.isEmpty() && owner != self && processAlive(owner)) {
            kept += line + '\n';
            continue;
        }
        const RegularFile file(path);
        if (file.kind() == RegularFile::Kind::Missing)
            continue;
        if (thisRun) {
            kept += line + '\n';  // being written right now
        } else if (S_ISDIR(file.status().st_mode) && file.status().st_uid == ::geteuid()) {
            if (!removeWorkingFolder(path))
                notes << QStringLiteral("%1: not only files of ours in it, not removed").arg(path);
        } else if (!file.ours()) {
            notes << QStringLiteral("%1: %2, not removed")
                         .arg(path, file.isRegular() ? QStringLiteral("another user's file") : file.what());
        } else if (const int e = fsio::unlinkFile(path); e != 0 && e != ENOENT) {
            kept += line + '\n';  // tried again next time
        }
    }
    if (kept.size() != content.size()) {
        if (::ftruncate(fd, 0) == 0 && !kept.isEmpty()) {
            // Not written back, the names are lost, not the files: nothing better to do here.
            [[maybe_unused]] const ssize_t written = ::pwrite(fd, kept.constData(), size_t(kept.size()), 0);
        }
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return notes;
}

bool removeWorkingFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    DIR *dir = ::fdopendir(fd);  // takes fd
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool onlyFiles = true;
    while (const dirent *e = ::readdir(dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, ".."))
            continue;
        struct stat entry {};
        if (::fstatat(fd, e->d_name, &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(entry.st_mode))
            fsio::unlinkIn(fd, path, e->d_name);
        else
            onlyFiles = false;
    }
    ::closedir(dir);
    return onlyFiles && fsio::removeFolder(path) == 0;
}

}  // namespace fetchora
