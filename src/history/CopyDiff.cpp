#include "history/CopyDiff.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <dtl/dtl.hpp>
#include <vector>
#include <zip.h>

namespace fetchora {

CopyPair newestPair(int count)
{
    if (count <= 0)
        return {};
    return {std::max(0, count - 2), count - 1};
}

CopyPair steppedPair(CopyPair pair, int by, int count)
{
    const CopyPair moved{pair.older + by, pair.newer + by};
    if (moved.older < 0 || moved.newer < 0 || moved.older >= count || moved.newer >= count)
        return pair;
    return moved;
}

bool looksLikeText(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

bool readCopy(const QString &path, const QString &password, QByteArray *content, QString *inner)
{
    inner->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *content = file.readAll();
    if (!content->startsWith("PK\x03\x04"))
        return true;
    // Compressed copies hold the downloaded file as their one entry.
    zip_error_t error;
    zip_source_t *source = zip_source_buffer_create(content->constData(), content->size(), 0, &error);
    zip_t *archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        if (source)
            zip_source_free(source);
        return true;  // not an archive after all: compared as bytes
    }
    QByteArray unpacked;
    zip_stat_t st{};
    bool ok = false;
    const QByteArray secret = password.toUtf8();
    if (zip_get_num_entries(archive, 0) > 0 && zip_stat_index(archive, 0, 0, &st) == 0) {
        if (zip_file_t *f = zip_fopen_index_encrypted(archive, 0, 0, secret.isEmpty() ? nullptr : secret.constData())) {
            char buffer[1 << 16];
            zip_int64_t n = 0;
            while ((n = zip_fread(f, buffer, sizeof buffer)) > 0)
                unpacked.append(buffer, n);
            ok = n == 0;
            zip_fclose(f);
        }
    }
    if (ok) {
        *inner = QString::fromUtf8(st.name);
        *content = unpacked;
    }
    zip_discard(archive);
    return true;
}

namespace {

std::vector<QString> linesOf(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(u'\n'))
        text.chop(1);
    std::vector<QString> lines;
    if (text.isEmpty() && bytes.isEmpty())
        return lines;
    for (const QString &line : text.split(u'\n'))
        lines.push_back(line);
    return lines;
}

}  // namespace

CopyComparison compareContents(const QByteArray &older, const QByteArray &newer)
{
    CopyComparison c;
    c.size[0] = older.size();
    c.size[1] = newer.size();
    c.sha256[0] = QCryptographicHash::hash(older, QCryptographicHash::Sha256).toHex();
    c.sha256[1] = QCryptographicHash::hash(newer, QCryptographicHash::Sha256).toHex();
    if (!looksLikeText(older) || !looksLikeText(newer)) {
        c.kind = CopyComparison::Binary;
        const qsizetype common = std::min(older.size(), newer.size());
        for (qsizetype i = 0; i < common && c.firstDifference < 0; ++i) {
            if (older[i] != newer[i])
                c.firstDifference = i;
        }
        if (c.firstDifference < 0 && older.size() != newer.size())
            c.firstDifference = common;
        return c;
    }
    const std::vector<QString> a = linesOf(older), b = linesOf(newer);
    dtl::Diff<QString> diff(a, b, true);
    if (a.size() + b.size() > 100000)
        diff.onHuge();
    diff.compose();
    bool inChange = false;
    for (const auto &[text, info] : diff.getSes().getSequence()) {
        DiffLine line;
        line.text = text;
        if (info.type == dtl::SES_COMMON) {
            line.left = int(info.beforeIdx);
            line.right = int(info.afterIdx);
        } else if (info.type == dtl::SES_DELETE) {
            line.kind = DiffLine::Removed;
            line.left = int(info.beforeIdx);
        } else {
            line.kind = DiffLine::Added;
            line.right = int(info.afterIdx);
        }
        const bool change = line.kind != DiffLine::Same;
        if (change && !inChange)
            ++c.changes;
        inChange = change;
        c.lines.append(std::move(line));
    }
    return c;
}

CopyComparison compareCopies(const QString &older, const QString &newer, const QString &password)
{
    QByteArray content[2];
    QString inner[2];
    QStringList gone;
    const QString paths[2] = {older, newer};
    for (int side = 0; side < 2; ++side) {
        if (!readCopy(paths[side], password, &content[side], &inner[side]))
            gone << paths[side];
    }
    if (!gone.isEmpty()) {
        CopyComparison c;
        c.kind = CopyComparison::Gone;
        c.gone = gone;
        return c;
    }
    CopyComparison c = compareContents(content[0], content[1]);
    c.inner[0] = inner[0];
    c.inner[1] = inner[1];
    return c;
}

}  // namespace fetchora
