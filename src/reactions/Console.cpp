#include "reactions/Console.h"

#include <QDeadlineTimer>

#include <atomic>
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fetchora {

Severity severityOf(const QString &outcome)
{
    if (outcome == QLatin1String("stored") || outcome == QLatin1String("unchanged"))
        return Severity::Info;
    if (outcome == QLatin1String("failed") || outcome == QLatin1String("not-found"))
        return Severity::Error;
    return Severity::Warning;
}

bool isJournal(FILE *stream)
{
    const QByteArray named = qgetenv("JOURNAL_STREAM");
    struct stat st;
    if (named.isEmpty() || ::fstat(fileno(stream), &st) != 0)
        return false;
    return named == QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino));
}

void printLines(FILE *stream, Severity severity, const QString &text)
{
    QByteArray bytes = text.toLocal8Bit();
    if (isJournal(stream)) {
        const QByteArray prefix = '<' + QByteArray::number(int(severity)) + '>';
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        bytes = prefix + bytes.replace('\n', '\n' + prefix) + '\n';
    }
    std::fflush(stream);  // whatever went through stdio before, first
    writeWithin(fileno(stream), bytes);
}

bool writeWithin(int fd, const QByteArray &bytes, int boundMs)
{
    // A reader that stops reading (a paused terminal, a log collector that
    // hangs) must not hold the program: a line waits for room up to the
    // bound, and once one had to be dropped the next wait no longer until
    // the reader takes lines again.
    static std::atomic<int> stalledFd{-1};
    const QDeadlineTimer bound(stalledFd.load() == fd ? 0 : boundMs);
    for (qsizetype done = 0; done < bytes.size();) {
        pollfd room{fd, POLLOUT, 0};
        if (::poll(&room, 1, int(bound.remainingTime())) != 1 || (room.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            stalledFd = fd;
            return false;
        }
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        done += n > 0 ? n : 0;
    }
    if (stalledFd.load() == fd)
        stalledFd = -1;
    return true;
}

Console::Console(FILE *out, FILE *err, bool quiet) : m_out(out), m_err(err), m_quiet(quiet) {}

void Console::say(Severity severity, QString line) const
{
    if (severity == Severity::Info && m_quiet)
        return;
    line.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(u'\n', u' ').replace(u'\r', u' ');
    printLines(severity == Severity::Info ? m_out : m_err, severity, line + u'\n');
}

}  // namespace fetchora
