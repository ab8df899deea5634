#include "cycle/History.h"

#include "startup/Names.h"
#include "startup/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace fetchora {

namespace {

// A field never holds the separators of the format.
QString field(QString text)
{
    text.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
    return text;
}

QList<HistoryEntry> readLog(const QString &path)
{
    QList<HistoryEntry> entries;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return entries;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (!line.isEmpty())
            entries << HistoryEntry::parse(line);
    }
    return entries;
}

}  // namespace

QString HistoryEntry::line() const
{
    const QStringList fields = {at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate),
                                outcome,
                                QString::number(httpStatus),
                                QString::number(bytes),
                                QString::number(seconds, 'f', 3),
                                sha256.isEmpty() ? QStringLiteral("-") : sha256,
                                field(detail),
                                field(displayUrl(url))};
    return fields.join(u'\t') + u'\n';
}

HistoryEntry HistoryEntry::parse(const QString &line)
{
    const QStringList f = line.split(u'\t');
    HistoryEntry e;
    e.at = QDateTime::fromString(f.value(0), Qt::ISODate);
    e.outcome = f.value(1);
    e.httpStatus = f.value(2).toInt();
    e.bytes = f.value(3).toLongLong();
    e.seconds = f.value(4).toDouble();
    e.sha256 = f.value(5) == QLatin1String("-") ? QString() : f.value(5);
    e.detail = f.value(6);
    e.url = f.value(7);
    return e;
}

void appendHistory(const QString &path, const HistoryEntry &entry)
{
    if (QFileInfo(path).size() >= kHistoryRotateBytes) {
        QFile::remove(path + QStringLiteral(".1"));
        QFile::rename(path, path + QStringLiteral(".1"));
    }
    QFile f(path);
    if (openPrivate(f, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        f.write(entry.line().toUtf8());
}

QList<HistoryEntry> storedCopies(const QString &path, const QString &folder, const QString &url)
{
    const QString shownUrl = displayUrl(url);
    const QString prefix = QFileInfo(folder).absoluteFilePath() + u'/';
    QList<HistoryEntry> copies;
    for (const HistoryEntry &e : readLog(path + QStringLiteral(".1")) + readLog(path)) {
        if (e.outcome == QLatin1String("stored") && e.url == shownUrl
            && QFileInfo(e.detail).absoluteFilePath().startsWith(prefix))
            copies << e;
    }
    std::stable_sort(copies.begin(), copies.end(), [](const auto &a, const auto &b) { return a.at < b.at; });
    return copies;
}

}  // namespace fetchora
