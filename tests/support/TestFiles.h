#pragma once
// Small file and waiting helpers the suites share.

#include "components/download/classFileDownload.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QThread>
#include <functional>

namespace fetchora::testing {

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Every entry of a folder, hidden ones included: a half-written file has no
// business there under any name.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Runs the event loop until done() or the time is up.
inline bool waitUntil(const std::function<bool()> &done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

// The engine with short timeouts, so a fault ends a test in about a second.
inline DownloadOptions fastEngineOptions()
{
    DownloadOptions o;
    o.connectTimeoutSec = 3;
    o.stallTimeoutSec = 1;
    o.progressIntervalMs = 20;
    return o;
}

}  // namespace fetchora::testing
