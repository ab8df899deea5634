#include "store/History.h"

#include "core/FileSystem.h"
#include "core/LineFile.h"
#include "core/Names.h"

#include <QFile>
#include <QFileInfo>

namespace fetchora {

QString HistoryEntry::line() const
{
    const QStringList fields = {at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate),
                                outcome,
                                QString::number(httpStatus),
                                QString::number(bytes),
                                QString::number(seconds, 'f', 3),
                                sha256.isEmpty() ? QStringLiteral("-") : sha256,
                                escapeField(detail),
                                escapeField(displayUrl(url))};
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
    e.detail = unescapeField(f.value(6));
    e.url = unescapeField(f.value(7));
    return e;
}

void appendHistory(const QString &path, const HistoryEntry &entry)
{
    if (QFileInfo(path).size() >= kHistoryRotateBytes) {
        fsio::renameFile(path, path + QStringLiteral(".1"), true);
    }
    appendLine(path, entry.line().toUtf8());
}

void appendNotes(const QString &path, const QDateTime &at, const QString &url, const QStringList &notes)
{
    for (const QString &note : notes) {
        HistoryEntry e;
        e.at = at;
        e.outcome = QStringLiteral("skipped");
        e.detail = note;
        e.url = url;
        appendHistory(path, e);
    }
}

}  // namespace fetchora
