#pragma once
// Reads history.log and the files it was rotated to, and follows the log while
// a window shows it. Only whole lines count: the line a writer is appending
// now (or one a crash cut short) is read once its line break is there.
//
// A year of attempts is half a million lines: they are indexed (where each
// line is), not held, and a line's fields are parsed only when it is shown.

#include "store/History.h"

#include <QByteArrayView>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QFile;

namespace fetchora {

// The log's files that exist, oldest first: history.log.N … history.log.1, history.log.
QStringList historyFiles(const QString &logPath);

// The cheap test a line passes to count as an attempt: a time as the writer
// puts it (date and time of ISO 8601), a tab and an outcome.
bool looksLikeAttempt(QByteArrayView line);

// Where every attempt's line is, oldest first. The files stay open, so a
// rotation while the window is open moves no line that is indexed.
class HistoryLines {
public:
    static std::shared_ptr<HistoryLines> index(const QString &logPath);
    // Lines held in memory, as history.log would hold them.
    static std::shared_ptr<HistoryLines> ofBytes(const QByteArray &bytes);
    HistoryLines();
    ~HistoryLines();

    qsizetype size() const { return qsizetype(m_lines.size()); }
    QByteArray line(qsizetype i) const;  // without its line break
    HistoryEntry entry(qsizetype i) const;
    // Calls `each` with every line from `from` on, the files read in large pieces.
    void scan(qsizetype from, const std::function<void(qsizetype, QByteArrayView)> &each) const;

    // The log itself (not a rotated file) as indexed: its inode (0: there was
    // none) and how far its whole lines go.
    quint64 logInode() const;
    qint64 logIndexed() const;
    // Indexes the whole lines appended to the log since; returns how many attempts they are.
    qsizetype extend();

private:
    struct Source {
        std::unique_ptr<QFile> file;  // null: `bytes` holds the lines
        QByteArray bytes;
        qint64 indexed = 0;
    };
    struct Line {
        qint64 offset;
        quint32 length;
        quint32 source;
    };
    // Indexes the whole lines of `data` (at `offset` of source `source`); returns the bytes they took.
    qsizetype indexPiece(QByteArrayView data, qint64 offset, quint32 source);
    void indexFile(quint32 source);
    QByteArray read(const Source &source, qint64 offset, qint64 length) const;

    std::vector<Source> m_sources;
    std::vector<Line> m_lines;
    int m_log = -1;  // the source that is the log itself
};

class HistoryFollower : public QObject {
    Q_OBJECT
public:
    explicit HistoryFollower(QString logPath, QObject *parent = nullptr);
    // Every attempt, oldest first; following extends these lines.
    std::shared_ptr<HistoryLines> readAll();
    std::shared_ptr<HistoryLines> lines() const { return m_lines; }

signals:
    void appended(qsizetype count);  // lines added at the end of lines()
    void reloaded();                 // lines() are new: the log was rotated or cut

private:
    void check();
    void watch();

    QString m_path;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;  // one read for a burst of change notices
    std::shared_ptr<HistoryLines> m_lines;
};

}  // namespace fetchora
