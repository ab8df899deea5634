#include "history/CopyDiff.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <dtl/dtl.hpp>
#include <string_view>
#include <unordered_map>
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
    // In pieces: a copy of many megabytes is not held a second time, as UTF-16.
    constexpr qsizetype kPiece = 1 << 16;
    QStringDecoder decoder(QStringDecoder::Utf8);
    for (qsizetype at = 0; at < bytes.size() && !decoder.hasError(); at += kPiece)
        const QString piece = decoder(QByteArrayView(bytes).sliced(at, std::min(kPiece, bytes.size() - at)));
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

// The lines of a text, without their breaks (CR LF as one).
std::vector<std::string_view> linesOf(const QByteArray &bytes)
{
    std::vector<std::string_view> lines;
    const std::string_view text(bytes.constData(), size_t(bytes.size()));
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        const size_t length = end > start && text[end - 1] == '\r' ? end - 1 - start : end - start;
        lines.push_back(text.substr(start, length));
        start = end + 1;
    }
    return lines;
}

DiffLine diffLine(DiffLine::Kind kind, qsizetype left, qsizetype right, std::string_view text)
{
    return {kind, int(left), int(right), QString::fromUtf8(text.data(), qsizetype(text.size()))};
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
    const std::vector<std::string_view> a = linesOf(older), b = linesOf(newer);
    // Copies a day apart mostly differ in a few lines: the equal head and
    // tail are taken as they are, and dtl compares the rest as numbers, one
    // for each distinct line, instead of as strings.
    size_t head = 0, tail = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    std::unordered_map<std::string_view, int> ids;
    ids.reserve(a.size() + b.size() - 2 * (head + tail));
    const auto idsOf = [&](const std::vector<std::string_view> &lines) {
        std::vector<int> out;
        out.reserve(lines.size() - head - tail);
        for (size_t i = head; i < lines.size() - tail; ++i)
            out.push_back(ids.try_emplace(lines[i], int(ids.size())).first->second);
        return out;
    };
    const std::vector<int> middleA = idsOf(a), middleB = idsOf(b);
    dtl::Diff<int> diff(middleA, middleB, true);
    if (middleA.size() + middleB.size() > 100000)
        diff.onHuge();
    diff.compose();

    c.lines.reserve(qsizetype(head + diff.getSes().getSequence().size() + tail));
    for (size_t i = 0; i < head; ++i)
        c.lines.append(diffLine(DiffLine::Same, qsizetype(i + 1), qsizetype(i + 1), a[i]));
    bool inChange = false;
    for (const auto &[id, info] : diff.getSes().getSequence()) {
        Q_UNUSED(id);
        const qsizetype left = qsizetype(head) + qsizetype(info.beforeIdx);
        const qsizetype right = qsizetype(head) + qsizetype(info.afterIdx);
        if (info.type == dtl::SES_COMMON)
            c.lines.append(diffLine(DiffLine::Same, left, right, a[size_t(left - 1)]));
        else if (info.type == dtl::SES_DELETE)
            c.lines.append(diffLine(DiffLine::Removed, left, 0, a[size_t(left - 1)]));
        else
            c.lines.append(diffLine(DiffLine::Added, 0, right, b[size_t(right - 1)]));
        const bool change = info.type != dtl::SES_COMMON;
        if (change && !inChange)
            ++c.changes;
        inChange = change;
    }
    for (size_t i = tail; i > 0; --i)
        c.lines.append(diffLine(DiffLine::Same, qsizetype(a.size() - i + 1), qsizetype(b.size() - i + 1), a[a.size() - i]));
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
