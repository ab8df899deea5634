#include "history/HistoryLog.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace fetchora {

namespace {

// Read in pieces this large: few system calls, and little held at once.
constexpr qint64 kPiece = 1 << 20;

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

bool looksLikeAttempt(QByteArrayView line)
{
    static constexpr char shape[] = "dddd-dd-ddTdd:dd:dd";
    constexpr qsizetype n = sizeof shape - 1;
    if (line.size() < n)
        return false;
    for (qsizetype k = 0; k < n; ++k) {
        const char c = line[k];
        if (shape[k] == 'd' ? (c < '0' || c > '9') : c != shape[k])
            return false;
    }
    const auto two = [&](qsizetype at) { return (line[at] - '0') * 10 + (line[at + 1] - '0'); };
    if (two(5) < 1 || two(5) > 12 || two(8) < 1 || two(8) > 31 || two(11) > 23 || two(14) > 59 || two(17) > 59)
        return false;
    const qsizetype tab = line.indexOf('\t');
    return tab >= n && tab + 1 < line.size() && line[tab + 1] != '\t';
}

HistoryLines::HistoryLines() = default;
HistoryLines::~HistoryLines() = default;

std::shared_ptr<HistoryLines> HistoryLines::index(const QString &logPath)
{
    auto lines = std::make_shared<HistoryLines>();
    const QStringList files = historyFiles(logPath);
    // Room for the shortest lines the log holds: grown step by step, half a
    // million places would be copied over and over. What goes unused is never touched.
    qint64 bytes = 0;
    for (const QString &path : files)
        bytes += QFileInfo(path).size();
    lines->m_lines.reserve(size_t(bytes / 48));
    for (const QString &path : files) {
        auto file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            continue;
        if (path == logPath)
            lines->m_log = int(lines->m_sources.size());
        lines->m_sources.push_back({std::move(file), {}, 0});
        lines->indexFile(quint32(lines->m_sources.size() - 1));
    }
    return lines;
}

std::shared_ptr<HistoryLines> HistoryLines::ofBytes(const QByteArray &bytes)
{
    auto lines = std::make_shared<HistoryLines>();
    lines->m_sources.push_back({nullptr, bytes, 0});
    lines->m_sources.back().indexed = lines->indexPiece(bytes, 0, 0);
    return lines;
}

qsizetype HistoryLines::indexPiece(QByteArrayView data, qint64 offset, quint32 source)
{
    qsizetype start = 0;
    while (const void *found = std::memchr(data.data() + start, '\n', size_t(data.size() - start))) {
        const qsizetype end = static_cast<const char *>(found) - data.data();
        qsizetype length = end - start;
        // A log that went through an editor of another system ends its lines in CR LF.
        if (length > 0 && data[end - 1] == '\r')
            --length;
        if (looksLikeAttempt(data.sliced(start, length)))
            m_lines.push_back({offset + start, quint32(length), source});
        start = end + 1;
    }
    return start;
}

QByteArray HistoryLines::read(const Source &source, qint64 offset, qint64 length) const
{
    if (!source.file)
        return source.bytes.mid(offset, length);
    QByteArray out(length, Qt::Uninitialized);
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(source.file->handle(), out.data() + got, size_t(length - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    out.truncate(got);
    return out;
}

void HistoryLines::indexFile(quint32 source)
{
    Source &s = m_sources[source];
    for (qint64 piece = kPiece;;) {
        const QByteArray data = read(s, s.indexed, piece);
        const qsizetype used = indexPiece(data, s.indexed, source);
        s.indexed += used;
        if (data.size() < piece)
            return;  // the end; what is left is a line still being written
        if (used == 0)
            piece *= 2;  // one line longer than a piece
    }
}

QByteArray HistoryLines::line(qsizetype i) const
{
    const Line &l = m_lines[size_t(i)];
    return read(m_sources[l.source], l.offset, l.length);
}

HistoryEntry HistoryLines::entry(qsizetype i) const
{
    return HistoryEntry::parse(QString::fromUtf8(line(i)));
}

void HistoryLines::scan(qsizetype from, const std::function<void(qsizetype, QByteArrayView)> &each) const
{
    QByteArray piece;
    quint32 pieceSource = 0;
    qint64 pieceOffset = -1;
    for (qsizetype i = from; i < size(); ++i) {
        const Line &l = m_lines[size_t(i)];
        const Source &s = m_sources[l.source];
        if (!s.file) {
            each(i, QByteArrayView(s.bytes).sliced(l.offset, l.length));
            continue;
        }
        if (l.source != pieceSource || pieceOffset < 0 || l.offset < pieceOffset
            || l.offset + l.length > pieceOffset + piece.size()) {
            piece = read(s, l.offset, std::max<qint64>(kPiece, l.length));
            pieceSource = l.source;
            pieceOffset = l.offset;
        }
        // A file cut short since it was indexed has lost the line.
        each(i, l.offset + l.length <= pieceOffset + piece.size()
                    ? QByteArrayView(piece).sliced(l.offset - pieceOffset, l.length)
                    : QByteArrayView());
    }
}

quint64 HistoryLines::logInode() const
{
    struct stat st {};
    if (m_log < 0 || ::fstat(m_sources[size_t(m_log)].file->handle(), &st) != 0)
        return 0;
    return quint64(st.st_ino);
}

qint64 HistoryLines::logIndexed() const
{
    return m_log < 0 ? 0 : m_sources[size_t(m_log)].indexed;
}

qsizetype HistoryLines::extend()
{
    if (m_log < 0)
        return 0;
    const size_t before = m_lines.size();
    indexFile(quint32(m_log));
    return qsizetype(m_lines.size() - before);
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

std::shared_ptr<HistoryLines> HistoryFollower::readAll()
{
    m_lines = HistoryLines::index(m_path);
    return m_lines;
}

void HistoryFollower::check()
{
    watch();
    const QFileInfo info(m_path);
    const qint64 size = info.exists() ? info.size() : 0;
    if (!m_lines || inodeOf(m_path) != m_lines->logInode() || size < m_lines->logIndexed()) {
        readAll();
        emit reloaded();
        return;
    }
    if (size == m_lines->logIndexed())
        return;
    if (const qsizetype count = m_lines->extend())
        emit appended(count);
}

}  // namespace fetchora
