#include "core/LineFile.h"

#include "core/FileSystem.h"
#include "core/Names.h"
#include "core/WorkJournal.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fetchora {

namespace {

constexpr mode_t kPrivate = 0600;

int openPrivate(const QString &path, int flags)
{
    const int fd = fsio::openFile(path, flags | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kPrivate);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && (st.st_mode & 07777) != kPrivate)
        ::fchmod(fd, kPrivate);
    return fd;
}

}  // namespace

QString escapeField(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

QString unescapeField(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        switch (text[++i].unicode()) {
        case u't': out += u'\t'; break;
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        default: out += text[i];  // "\\", and whatever else follows a backslash
        }
    }
    return out;
}

bool lockWithin(int fd, int boundMs)
{
    const QDeadlineTimer bound(boundMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || bound.hasExpired())
            return false;
        ::usleep(5000);
    }
}

int appendLine(const QString &path, const QByteArray &line, bool durable)
{
    const int fd = openPrivate(path, O_RDWR | O_APPEND);
    if (fd < 0)
        return errno;
    lockWithin(fd);
    QByteArray bytes = line;
    struct stat st {};
    const bool sized = ::fstat(fd, &st) == 0;
    char last = '\n';
    if (sized && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        bytes.prepend('\n');
    int error = fsio::writeAll(fd, path, bytes.constData(), size_t(bytes.size()));
    if (!error && durable)
        error = fsio::syncFile(fd, path);
    // A full disk may take part of the line: that part goes again, so the
    // file is as it was and the next line is not glued to it.
    if (error && sized) {
        [[maybe_unused]] const int undone = fsio::truncateFile(fd, path, st.st_size);
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return error;
}

int replaceContent(const QString &path, const QByteArray &content, const QString &journal)
{
    const QFileInfo info(path);
    const QString working = info.absolutePath() + u'/' + workingName(info.fileName(), QStringLiteral("new"));
    noteWorkingFile(journal, working);
    fsio::unlinkFile(working);
    const int fd = openPrivate(working, O_WRONLY | O_TRUNC);
    if (fd < 0)
        return errno;
    int error = fsio::writeAll(fd, working, content.constData(), size_t(content.size()));
    if (!error)
        error = fsio::syncFile(fd, working);
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error)
        error = fsio::renameFile(working, path, true);
    if (error) {
        fsio::unlinkFile(working);
        return error;
    }
    fsio::syncPath(info.absolutePath(), true);
    return 0;
}

QByteArray readContent(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace fetchora
