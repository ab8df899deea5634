#pragma once
// Two stored copies compared: text line by line (dtl, Debian's diff
// template library), a ZIP copy by the file inside it, anything else by size,
// SHA-256 and the first byte that differs.

#include "store/Manifest.h"

#include <QByteArray>
#include <QList>
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

struct DiffLine {
    enum Kind { Same, Removed, Added };
    Kind kind = Same;
    int left = 0;  // line number in the older copy; 0: none
    int right = 0; // in the newer
    QString text;
};

struct CopyComparison {
    enum Kind { Text, Binary, Gone };
    Kind kind = Text;
    QStringList gone;      // the paths of the copies that are not there
    QString inner[2];      // the file compared inside each ZIP copy; empty: the copy itself
    QList<DiffLine> lines; // Text
    int changes = 0;       // Text: runs of changed lines
    qint64 size[2] = {0, 0};
    QByteArray sha256[2];         // hex
    qint64 firstDifference = -1;  // Binary: the offset of the first byte that differs; -1: equal
};

// A copy's content: a ZIP archive's first file (with `password` when it is
// encrypted), else the file itself. False when it cannot be read.
bool readCopy(const QString &path, const QString &password, QByteArray *content, QString *inner);

// Text: valid UTF-8 without NUL bytes.
bool looksLikeText(const QByteArray &bytes);

CopyComparison compareContents(const QByteArray &older, const QByteArray &newer);
CopyComparison compareCopies(const QString &older, const QString &newer, const QString &password);

}  // namespace fetchora
