#include "reactions/Console.h"

#include <sys/stat.h>

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
    std::fputs(bytes.constData(), stream);
    std::fflush(stream);
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
