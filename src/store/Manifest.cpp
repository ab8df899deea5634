#include "store/Manifest.h"

#include "core/LineFile.h"
#include "core/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <optional>

namespace fetchora {

namespace {

QByteArray storedLine(const StoredCopy &c)
{
    const QString at = c.at.toOffsetFromUtc(c.at.offsetFromUtc()).toString(Qt::ISODate);
    return (QStringLiteral("stored\t") + at + u'\t' + QString::number(c.size) + u'\t' + QString::number(c.mtimeNs)
            + u'\t' + QString::fromLatin1(c.sha256) + u'\t' + escapeField(c.path) + u'\t' + escapeField(c.url) + u'\n')
        .toUtf8();
}

}  // namespace

QString manifestIn(const QString &appFolder)
{
    return appFolder + QStringLiteral("/copies.manifest");
}

LastCopy lastCopyIn(const QString &manifest, const QString &folder, const QString &url)
{
    const QString dir = QDir::cleanPath(QDir(folder).absolutePath());
    const QList<StoredCopy> copies = readManifest(manifest).copies;
    for (auto c = copies.crbegin(); c != copies.crend(); ++c)
        if (c->url == url && QFileInfo(c->path).absolutePath() == dir)
            return {c->path, folder, c->size, c->sha256, false};
    return {};
}

int recordStored(const QString &manifest, const StoredCopy &copy)
{
    return appendLine(manifest, storedLine(copy));
}

int recordGone(const QString &manifest, const QStringList &paths, bool durable)
{
    QByteArray lines;
    for (const QString &path : paths)
        lines += (QStringLiteral("gone\t") + escapeField(path) + u'\n').toUtf8();
    return lines.isEmpty() ? 0 : appendLine(manifest, lines, durable);
}

ManifestContent readManifest(const QString &manifest)
{
    ManifestContent content;
    const QByteArray bytes = readContent(manifest);
    QHash<QString, qsizetype> index;  // path: its place in `live`
    QList<std::optional<StoredCopy>> live;
    // Only whole lines: one a crash cut short is not a record.
    const qsizetype complete = bytes.lastIndexOf('\n') + 1;
    for (qsizetype start = 0; start < complete;) {
        const qsizetype end = bytes.indexOf('\n', start);
        const QList<QByteArray> f = bytes.mid(start, end - start).split('\t');
        start = end + 1;
        ++content.records;
        if (f.size() == 7 && f[0] == "stored") {
            StoredCopy c;
            c.at = QDateTime::fromString(QString::fromLatin1(f[1]), Qt::ISODate);
            bool sizeOk = false, timeOk = false;
            c.size = f[2].toLongLong(&sizeOk);
            c.mtimeNs = f[3].toLongLong(&timeOk);
            c.sha256 = f[4];
            c.path = unescapeField(QString::fromUtf8(f[5]));
            c.url = unescapeField(QString::fromUtf8(f[6]));
            if (!sizeOk || !timeOk || !c.at.isValid() || c.sha256.size() != 64 || c.path.isEmpty())
                continue;
            if (const auto it = index.constFind(c.path); it != index.constEnd())
                live[*it].reset();
            index.insert(c.path, live.size());
            live.append(c);
        } else if (f.size() == 2 && f[0] == "gone") {
            if (const auto it = index.constFind(unescapeField(QString::fromUtf8(f[1]))); it != index.constEnd()) {
                live[*it].reset();
                index.erase(it);
            }
        }
    }
    for (const std::optional<StoredCopy> &c : live) {
        if (c)
            content.copies.append(*c);
    }
    std::stable_sort(content.copies.begin(), content.copies.end(),
                     [](const StoredCopy &a, const StoredCopy &b) { return a.at < b.at; });
    return content;
}

int rewriteManifest(const QString &manifest, const QList<StoredCopy> &copies, const QString &journal)
{
    QByteArray all;
    for (const StoredCopy &c : copies)
        all += storedLine(c);
    return replaceContent(manifest, all, journal);
}

CopyState stateOf(const StoredCopy &copy, const RegularFile &file)
{
    switch (file.kind()) {
    case RegularFile::Kind::Missing: return CopyState::Gone;
    case RegularFile::Kind::Other: return CopyState::NotAFile;
    case RegularFile::Kind::Failed: return CopyState::Unreadable;
    case RegularFile::Kind::Regular: break;
    }
    const bool same = file.ours() && file.status().st_size == copy.size && mtimeNs(file.status()) == copy.mtimeNs;
    return same ? CopyState::Intact : CopyState::Changed;
}

}  // namespace fetchora
