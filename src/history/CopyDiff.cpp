#include "history/CopyDiff.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
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

QString fieldValue(QStringView field)
{
    if (!field.startsWith(u'"'))
        return field.toString();
    field = field.mid(1);
    if (field.endsWith(u'"'))
        field.chop(1);
    return field.toString().replace(QLatin1String("\"\""), QLatin1String("\""));
}

// The number of fields every line has with `separator`; 0 when they differ or are fewer than two.
int steadyFieldCount(const QStringList &lines, QChar separator)
{
    int count = -1;
    for (const QString &line : lines) {
        const int n = int(csvFields(line, separator).size());
        if (count >= 0 && n != count)
            return 0;
        count = n;
    }
    return count >= 2 ? count : 0;
}

// The first lines that are not empty, enough to tell a table without splitting a large copy whole.
void firstLines(const QString &text, QStringList *lines)
{
    constexpr int kSampleLines = 200;
    qsizetype from = 0;
    for (int n = 0; n < kSampleLines && from < text.size(); ++n) {
        qsizetype end = text.indexOf(u'\n', from);
        if (end < 0)
            end = text.size();
        const QString line = text.mid(from, end - from).remove(u'\r');
        if (!line.isEmpty())
            *lines << line;
        from = end + 1;
    }
}

// Both copies decoded when both are PNG or JPEG.
bool decodeImages(const QByteArray *bytes, CopyComparison *c)
{
    for (int side = 0; side < 2; ++side) {
        QBuffer buffer;
        buffer.setData(bytes[side]);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);  // a camera's JPEG shows upright, as a viewer shows it
        const QByteArray format = reader.format();
        if (format != "png" && format != "jpeg")
            return false;
        c->format[side] = format;
        c->image[side] = reader.read();
        if (c->image[side].isNull())
            return false;
    }
    return true;
}

void markCells(CopyComparison *c)
{
    for (qsizetype i = 0; i < c->lines.size();) {
        if (c->lines[i].kind == DiffLine::Same) {
            ++i;
            continue;
        }
        // The k-th removed line of a run faces its k-th added line, as side by side shows them.
        QList<DiffLine *> removed, added;
        for (; i < c->lines.size() && c->lines[i].kind != DiffLine::Same; ++i)
            (c->lines[i].kind == DiffLine::Removed ? removed : added).append(&c->lines[i]);
        for (qsizetype k = 0; k < std::min(removed.size(), added.size()); ++k) {
            const CellChanges cells = changedCells(removed[k]->text, added[k]->text, c->separator);
            removed[k]->cells = cells.older;
            added[k]->cells = cells.newer;
            c->changedCells += int(std::max(cells.older.size(), cells.newer.size()));
        }
    }
}

DiffLine diffLine(DiffLine::Kind kind, qsizetype left, qsizetype right, std::string_view text)
{
    return {kind, int(left), int(right), QString::fromUtf8(text.data(), qsizetype(text.size())), {}};
}

}  // namespace

QList<CellRange> csvFields(const QString &line, QChar separator)
{
    QList<CellRange> fields;
    int start = 0;
    bool quoted = false;
    const int n = int(line.size());
    for (int i = 0; i <= n; ++i) {
        if (i == n || (!quoted && line[i] == separator)) {
            fields.append({start, i - start});
            start = i + 1;
        } else if (line[i] == u'"') {
            if (i == start)
                quoted = true;
            else if (quoted && i + 1 < n && line[i + 1] == u'"')
                ++i;
            else
                quoted = false;
        }
    }
    return fields;
}

CellChanges changedCells(const QString &older, const QString &newer, QChar separator)
{
    const QList<CellRange> a = csvFields(older, separator), b = csvFields(newer, separator);
    CellChanges changes;
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (i >= b.size()) {
            changes.older.append({a[i].start - 1, a[i].length + 1});
        } else if (i >= a.size()) {
            changes.newer.append({b[i].start - 1, b[i].length + 1});
        } else if (fieldValue(QStringView(older).mid(a[i].start, a[i].length))
                   != fieldValue(QStringView(newer).mid(b[i].start, b[i].length))) {
            changes.older.append(a[i]);
            changes.newer.append(b[i]);
        }
    }
    return changes;
}

QChar csvSeparator(const QString &name, const QString &older, const QString &newer)
{
    QStringList lines;
    firstLines(older, &lines);
    firstLines(newer, &lines);
    QChar best;
    int most = 0;
    for (const QChar separator : {u',', u';', u'\t'}) {
        if (const int n = steadyFieldCount(lines, separator); n > most) {
            best = separator;
            most = n;
        }
    }
    if (!best.isNull() && lines.size() >= 2)
        return best;
    if (!name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return {};
    // A named table whose lines disagree (a quoted line break, a ragged row): its first line tells.
    best = u',';
    most = 1;
    for (const QChar separator : {u',', u';', u'\t'}) {
        if (const int n = int(csvFields(lines.value(0), separator).size()); n > most) {
            best = separator;
            most = n;
        }
    }
    return best;
}

PixelDifference comparePixels(const QImage &older, const QImage &newer, int tolerance)
{
    PixelDifference d;
    if (older.isNull() || newer.isNull())
        return d;
    if (older.size() != newer.size()) {
        d.outcome = PixelDifference::SizesDiffer;
        return d;
    }
    d.outcome = PixelDifference::Compared;
    const QImage a = older.convertToFormat(QImage::Format_ARGB32), b = newer.convertToFormat(QImage::Format_ARGB32);
    d.mask = QImage(b.size(), QImage::Format_Alpha8);
    d.mask.fill(0);
    int left = b.width(), top = b.height(), right = -1, bottom = -1;
    const auto apart = [tolerance](int x, int y) { return std::abs(x - y) > tolerance; };
    for (int y = 0; y < b.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        uchar *mark = d.mask.scanLine(y);
        for (int x = 0; x < b.width(); ++x) {
            const QRgb p = pa[x], q = pb[x];
            if (p == q || (qAlpha(p) == 0 && qAlpha(q) == 0))  // unseen colour behind full transparency
                continue;
            if (!apart(qRed(p), qRed(q)) && !apart(qGreen(p), qGreen(q)) && !apart(qBlue(p), qBlue(q))
                && !apart(qAlpha(p), qAlpha(q)))
                continue;
            mark[x] = 255;
            ++d.changed;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (d.changed > 0)
        d.bounds = QRect(QPoint(left, top), QPoint(right, bottom));
    return d;
}

CopyComparison compareContents(const QByteArray &older, const QByteArray &newer, const QString &name)
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
        const QByteArray bytes[2] = {older, newer};
        if (decodeImages(bytes, &c)) {
            c.kind = CopyComparison::Image;
            const bool lossy = c.format[0] == "jpeg" || c.format[1] == "jpeg";
            c.pixels = comparePixels(c.image[0], c.image[1], lossy ? kJpegTolerance : 0);
        } else {
            c.image[0] = c.image[1] = QImage();
            c.format[0] = c.format[1] = QByteArray();
        }
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
    if (c.changes > 0) {
        c.separator = csvSeparator(name, QString::fromUtf8(older), QString::fromUtf8(newer));
        if (!c.separator.isNull())
            markCells(&c);
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
    CopyComparison c = compareContents(content[0], content[1], inner[1].isEmpty() ? newer : inner[1]);
    c.inner[0] = inner[0];
    c.inner[1] = inner[1];
    return c;
}

}  // namespace fetchora
