#pragma once
// Reads history.log and the files it was rotated to, and follows the log while
// a window shows it. Only whole lines count: the line a writer is appending
// now (or one a crash cut short) is read once its line break is there.

#include "store/History.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QTimer>

namespace fetchora {

// The log's files that exist, oldest first: history.log.N … history.log.1, history.log.
QStringList historyFiles(const QString &logPath);

// The attempts of the whole lines of `bytes`; lines that are no attempt (no
// time, no outcome) are left out. `used` is how many bytes they took.
QList<HistoryEntry> parseHistoryLines(const QByteArray &bytes, qsizetype *used = nullptr);

// Every attempt of the log and its rotated files, oldest first.
QList<HistoryEntry> readHistory(const QString &logPath);

class HistoryFollower : public QObject {
    Q_OBJECT
public:
    // Past this much new text the log is read again whole, which also
    // covers a rotation that the watcher saw late.
    static constexpr qint64 kTailBytes = 4 * 1024 * 1024;

    explicit HistoryFollower(QString logPath, QObject *parent = nullptr);
    // Every attempt, oldest first; following starts after it.
    QList<HistoryEntry> readAll();

signals:
    void appended(const QList<HistoryEntry> &entries);  // oldest first
    void reloaded(const QList<HistoryEntry> &entries);

private:
    void check();
    void watch();

    QString m_path;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;  // one read for a burst of change notices
    qint64 m_offset = 0;
    quint64 m_inode = 0;
};

}  // namespace fetchora
