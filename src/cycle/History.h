#pragma once
// history.log: one line for every finished attempt, so a user can read what
// happened overnight. UTF-8, tab-separated:
//   time (ISO 8601 with UTC offset), outcome, HTTP status (0: none), bytes
//   received, seconds taken, SHA-256 of the stored file ("-": none), the
//   stored path or "<error number> <text>", and the URL (passwords hidden).
// Each line goes to the file in one append, so a crash loses at most the line
// being written; at 1 MiB the file moves to history.log.1.

#include <QDateTime>
#include <QList>
#include <QString>

namespace fetchora {

struct HistoryEntry {
    QDateTime at;
    QString outcome;  // stored, unchanged, failed, not-found, cancelled
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

// Copies this program stored from `url` into `folder`, oldest first, from
// the log and its rotated predecessor.
QList<HistoryEntry> storedCopies(const QString &path, const QString &folder, const QString &url);

}  // namespace fetchora
