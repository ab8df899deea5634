#pragma once
// The viewer's --log file: every line appended as it arrives, byte for byte.
//
// A log that cannot be opened or written (a folder not there yet, a full
// disk) is not given up: each new line, and each retry(), tries again. What
// could not be written waits in memory, up to a limit, and goes out in order
// once the file takes it; lines beyond the limit are counted as lost.

#include <QByteArray>
#include <QFile>
#include <QString>

class TraceLog {
public:
    explicit TraceLog(const QString &path, qint64 maxWaiting = qint64(64) << 20);

    void append(const QByteArray &line);
    // Tries again with what waits; true when everything is written.
    bool retry();

    QString path() const { return m_path; }
    // Why the log is behind, for the window's title and status line; empty
    // while every line is in the file.
    QString problem() const;

private:
    QString m_path;
    QFile m_file;
    qint64 m_maxWaiting;
    QByteArray m_waiting;
    qint64 m_lost = 0;
    QString m_error;
};
