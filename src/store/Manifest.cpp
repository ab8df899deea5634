#include "store/Manifest.h"

#include "core/LineFile.h"
#include "core/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <vector>

namespace fetchora {

namespace {

// Most fields hold no escape: they are taken as they are.
QString fieldText(QByteArrayView field)
{
    return field.contains('\\') ? unescapeField(QString::fromUtf8(field)) : QString::fromUtf8(field);
}

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
    // A year of copies is 100,000 records: each is parsed in place and kept once.
    QHash<QString, qsizetype> index;  // path: its place in `content.copies`
    std::vector<bool> dropped;        // by place: replaced or gone since
    QByteArrayView lastUrlField;
    QString lastUrl;
    // Only whole lines: one a crash cut short is not a record.
    const qsizetype complete = bytes.lastIndexOf('\n') + 1;
    const qsizetype lines = bytes.count('\n');
    content.copies.reserve(lines);
    index.reserve(lines);
    for (qsizetype start = 0; start < complete;) {
        const qsizetype end = bytes.indexOf('\n', start);
        const QByteArrayView line = QByteArrayView(bytes).sliced(start, end - start);
        start = end + 1;
        ++content.records;
        QByteArrayView f[8];
        int fields = 0;  // 8: more than 7
        for (qsizetype from = 0; fields < 8;) {
            const qsizetype tab = line.indexOf('\t', from);
            f[fields++] = line.sliced(from, (tab < 0 ? line.size() : tab) - from);
            if (tab < 0)
                break;
            from = tab + 1;
        }
        if (fields == 7 && f[0] == "stored") {
            StoredCopy c;
            c.at = QDateTime::fromString(QString::fromLatin1(f[1]), Qt::ISODate);
            bool sizeOk = false, timeOk = false;
            c.size = f[2].toLongLong(&sizeOk);
            c.mtimeNs = f[3].toLongLong(&timeOk);
            c.sha256 = f[4].toByteArray();
            c.path = fieldText(f[5]);
            // Copies of one URL share its text.
            if (f[6] != lastUrlField) {
                lastUrlField = f[6];
                lastUrl = fieldText(f[6]);
            }
            c.url = lastUrl;
            if (!sizeOk || !timeOk || !c.at.isValid() || c.sha256.size() != 64 || c.path.isEmpty())
                continue;
            if (const auto it = index.constFind(c.path); it != index.constEnd())
                dropped[size_t(*it)] = true;
            index.insert(c.path, content.copies.size());
            content.copies.append(std::move(c));
            dropped.push_back(false);
        } else if (fields == 2 && f[0] == "gone") {
            if (const auto it = index.constFind(fieldText(f[1])); it != index.constEnd()) {
                dropped[size_t(*it)] = true;
                index.erase(it);
            }
        }
    }
    qsizetype kept = 0;
    for (qsizetype i = 0; i < content.copies.size(); ++i) {
        if (dropped[size_t(i)])
            continue;
        if (kept != i)
            content.copies[kept] = std::move(content.copies[i]);
        ++kept;
    }
    content.copies.resize(kept);
    const auto older = [](const StoredCopy &a, const StoredCopy &b) { return a.at < b.at; };
    if (!std::is_sorted(content.copies.begin(), content.copies.end(), older))
        std::stable_sort(content.copies.begin(), content.copies.end(), older);
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
