#pragma once

#include "download/CurlDownload.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
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

// Hidden entries too: a half-written file has no business there under any name.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

inline bool waitUntil(const std::function<bool()> &done, int ms)
{
    for (QDeadlineTimer deadline(ms); !done() && !deadline.hasExpired(); QThread::msleep(1))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The engine with short timeouts, so a fault ends a test in about a second.
inline DownloadOptions fastEngineOptions()
{
    return {.connectTimeoutSec = 3, .stallTimeoutSec = 1, .progressIntervalMs = 20};
}

}  // namespace fetchora::testing
