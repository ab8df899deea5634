#pragma once
// The lines of the front end with no window. Results go to standard output,
// failures and warnings to standard error: cron mails what a job prints, and
// with --quiet a job that worked prints nothing. A stream that is the journal
// gets every line's priority as sd-daemon's "<N>" prefix, which journald
// takes off and keeps, so `journalctl -p warning` finds what went wrong.

#include <QByteArray>
#include <QString>
#include <cstdio>

namespace fetchora {

// sd-daemon's priorities.
enum class Severity { Error = 3, Warning = 4, Info = 6 };

// What an attempt's line is: stored and unchanged are results, failed and
// not-found failures, anything else (cancelled) a warning.
Severity severityOf(const QString &outcome);

// Whether `stream` is the journal: systemd names the journal's stream by
// device and inode in JOURNAL_STREAM.
bool isJournal(FILE *stream);

// How long a line waits for a reader that takes no more.
inline constexpr int kOutputWaitMs = 1000;

// `text` as it stands, each line with its prefix when `stream` is the journal.
void printLines(FILE *stream, Severity severity, const QString &text);
// Writes `bytes` to `fd` unless it takes no more for `boundMs`: false, and
// the rest is dropped.
bool writeWithin(int fd, const QByteArray &bytes, int boundMs = kOutputWaitMs);

class Console {
public:
    Console(FILE *out, FILE *err, bool quiet);
    // One line, whole: a line break inside becomes a blank.
    void say(Severity severity, QString line) const;
    bool quiet() const { return m_quiet; }

private:
    FILE *m_out, *m_err;
    bool m_quiet;
};

}  // namespace fetchora
