#pragma once
// history.log: one line for every finished attempt, so a user can read what
// happened overnight. UTF-8, tab-separated:
//   time (ISO 8601 with UTC offset), outcome, HTTP status (0: none), bytes
//   received, seconds taken, SHA-256 of the stored file ("-": none), the
//   stored path or "<error number> <text>", and the URL (passwords hidden).
// A tab, line break or backslash in a field is written as an escape
// (LineFile.h) and parse() reads it back.
// Each line goes to the file in one append, so a crash loses at most the line
// being written and a full disk none of those before; at 1 MiB the file moves to history.log.1.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace fetchora {

struct HistoryEntry {
    QDateTime at;
    QString outcome;  // stored, unchanged, failed, not-found, cancelled, skipped
    int httpStatus = 0;
    qint64 bytes = 0;
    double seconds = 0;
    QString sha256;  // hex; empty: none
    QString detail;  // the stored path, or the error number and text
    QString url;     // as typed; written without its password

    QString line() const;
    static HistoryEntry parse(const QString &line);
};

inline constexpr qint64 kHistoryRotateBytes = 1024 * 1024;

void appendHistory(const QString &path, const HistoryEntry &entry);
// One "skipped" line for each note: something under a name of ours that is
// not what we wrote (a FIFO, a device, another user's file) and was left alone.
void appendNotes(const QString &path, const QDateTime &at, const QString &url, const QStringList &notes);

}  // namespace fetchora
