#include "history/HistoryLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace fetchora {

namespace {

quint64 inodeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

}  // namespace

QStringList historyFiles(const QString &logPath)
{
    QStringList files;
    for (int n = 1; QFileInfo::exists(logPath + u'.' + QString::number(n)); ++n)
        files.prepend(logPath + u'.' + QString::number(n));
    if (QFileInfo::exists(logPath))
        files.append(logPath);
    return files;
}

QList<HistoryEntry> parseHistoryLines(const QByteArray &bytes, qsizetype *used)
{
    QList<HistoryEntry> entries;
    const qsizetype complete = bytes.lastIndexOf('\n') + 1;
    for (qsizetype start = 0; start < complete;) {
        const qsizetype end = bytes.indexOf('\n', start);
        const QByteArray line = bytes.mid(start, end - start);
        start = end + 1;
        HistoryEntry e = HistoryEntry::parse(QString::fromUtf8(line));
        if (e.at.isValid() && !e.outcome.isEmpty())
            entries.append(std::move(e));
    }
    if (used)
        *used = complete;
    return entries;
}

QList<HistoryEntry> readHistory(const QString &logPath)
{
    QList<HistoryEntry> entries;
    for (const QString &path : historyFiles(logPath)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            entries += parseHistoryLines(file.readAll());
    }
    return entries;
}

HistoryFollower::HistoryFollower(QString logPath, QObject *parent)
    : QObject(parent), m_path(std::move(logPath))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(100);
    connect(&m_settle, &QTimer::timeout, this, &HistoryFollower::check);
    const auto changed = [this] {
        if (!m_settle.isActive())
            m_settle.start();
    };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    watch();
}

void HistoryFollower::watch()
{
    // The folder tells of a log that appears or is rotated; the file of each append.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
    if (QFileInfo::exists(m_path) && !m_watcher.files().contains(m_path))
        m_watcher.addPath(m_path);
}

QList<HistoryEntry> HistoryFollower::readAll()
{
    QList<HistoryEntry> entries;
    const QStringList files = historyFiles(m_path);
    m_offset = 0;
    m_inode = inodeOf(m_path);
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        qsizetype used = 0;
        entries += parseHistoryLines(file.readAll(), &used);
        if (path == m_path)
            m_offset = used;
    }
    return entries;
}

void HistoryFollower::check()
{
    watch();
    const QFileInfo info(m_path);
    const qint64 size = info.exists() ? info.size() : 0;
    const quint64 inode = inodeOf(m_path);
    if (inode != m_inode || size < m_offset || size - m_offset > kTailBytes) {
        emit reloaded(readAll());
        return;
    }
    if (size == m_offset)
        return;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_offset))
        return;
    qsizetype used = 0;
    const QList<HistoryEntry> entries = parseHistoryLines(file.read(size - m_offset), &used);
    m_offset += used;
    if (!entries.isEmpty())
        emit appended(entries);
}

}  // namespace fetchora
