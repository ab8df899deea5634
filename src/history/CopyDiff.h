#pragma once
// Two stored copies compared: text line by line (dtl, Debian's diff
// template library), CSV also cell by cell within a changed line, PNG and
// JPEG pixel by pixel, a ZIP copy by the file inside it, anything else by
// size, SHA-256 and the first byte that differs.

#include "store/Manifest.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

namespace fetchora {

// The pair of copies shown: places in the list of copies, oldest first.
struct CopyPair {
    int older = -1;
    int newer = -1;
    bool operator==(const CopyPair &) const = default;
};
// The newest copy against the one before (with one copy: it against itself).
CopyPair newestPair(int count);
// Both sides one copy back (by < 0) or forward; a step past either end keeps the pair.
CopyPair steppedPair(CopyPair pair, int by, int count);

// Characters [start, start + length) of a line.
struct CellRange {
    int start = 0;
    int length = 0;
    bool operator==(const CellRange &) const = default;
};

struct DiffLine {
    enum Kind { Same, Removed, Added };
    Kind kind = Same;
    int left = 0;  // line number in the older copy; 0: none
    int right = 0; // in the newer
    QString text;
    QList<CellRange> cells;  // CSV: the changed cells of a removed or added line that faces another
};

// The fields of one CSV line as character ranges, quotes included: a quoted
// field may hold the separator, and "" in it is one quote.
QList<CellRange> csvFields(const QString &line, QChar separator);
// The cells of `older` and of `newer` whose values differ, column by column.
// A cell only one of them has is marked with the separator before it, so an
// empty one shows too.
struct CellChanges {
    QList<CellRange> older, newer;
    bool operator==(const CellChanges &) const = default;
};
CellChanges changedCells(const QString &older, const QString &newer, QChar separator);
// The CSV separator (',', ';' or tab) of two copies, or a null QChar when they
// are not CSV: `name` ends in .csv, or every line of both has the same number
// (at least two) of fields for one separator.
QChar csvSeparator(const QString &name, const QString &older, const QString &newer);

// Two pictures pixel by pixel. A channel may differ by `tolerance` (0-255)
// before its pixel counts as changed.
struct PixelDifference {
    enum Outcome { Compared, SizesDiffer, Missing };
    Outcome outcome = Missing;
    qint64 changed = 0;  // Compared: pixels that differ
    QRect bounds;        // around them
    QImage mask;         // the newer's size, Format_Alpha8: 255 where a pixel differs
};
PixelDifference comparePixels(const QImage &older, const QImage &newer, int tolerance);
// How far a channel of a JPEG may move and its pixel still count as unchanged.
// A server that decodes and encodes the same picture again at the same
// quality moves channels by up to about 16 at hard edges (a chart with lines
// and text, libjpeg at quality 75), and 24 leaves no pixel of that marked;
// a changed digit of anti-aliased text still moves most of its pixels by more.
// Two encodings at different qualities leave a few edge pixels above it:
// marked, as the copy did change, if only in how it was encoded.
inline constexpr int kJpegTolerance = 24;

struct CopyComparison {
    enum Kind { Text, Binary, Gone, Image };
    Kind kind = Text;
    QStringList gone;      // the paths of the copies that are not there
    QString inner[2];      // the file compared inside each ZIP copy; empty: the copy itself
    QList<DiffLine> lines; // Text
    int changes = 0;       // Text: runs of changed lines
    QChar separator;       // Text: the CSV separator; null: not CSV
    int changedCells = 0;  // Text: cells that differ between the lines that face each other
    QImage image[2];       // Image: both copies, decoded
    QByteArray format[2];  // Image: "png", "jpeg"
    PixelDifference pixels;  // Image
    qint64 size[2] = {0, 0};
    QByteArray sha256[2];         // hex
    qint64 firstDifference = -1;  // Binary, Image: the offset of the first byte that differs; -1: equal
};

// A copy's content: a ZIP archive's first file (with `password` when it is
// encrypted), else the file itself. False when it cannot be read.
bool readCopy(const QString &path, const QString &password, QByteArray *content, QString *inner);

// Text: valid UTF-8 without NUL bytes.
bool looksLikeText(const QByteArray &bytes);

// `name`: the compared file's name, which may tell CSV.
CopyComparison compareContents(const QByteArray &older, const QByteArray &newer, const QString &name = {});
CopyComparison compareCopies(const QString &older, const QString &newer, const QString &password);

}  // namespace fetchora
