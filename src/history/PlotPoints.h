#pragma once
// What the history plot draws: a year of attempts at one a minute is half a
// million, far more than a plot is wide. The attempts of a range are put into
// as many time buckets as the plot has pixels, and each bucket keeps only the
// attempts worth seeing there: the largest copy, the longest attempt and the
// latest failure.

#include <QList>
#include <QString>
#include <QtGlobal>

#include <vector>

namespace fetchora {

struct PlotSample {
    enum Kind : quint8 {
        Copy,    // a stored copy: its bytes are the copy's size
        Other,   // unchanged or cancelled: a duration, no copy
        Failed,  // failed or not-found
        Note,    // a skipped line: no attempt at all
    };
    qint64 at = 0;  // ms since the epoch
    qint64 bytes = 0;
    double seconds = 0;
    Kind kind = Other;
};

PlotSample::Kind plotKind(const QString &outcome);

// One bucket with any attempt in it; each field is an index into the samples, -1: none.
struct PlotPoint {
    int largest = -1;  // the copy with the most bytes
    int longest = -1;  // the attempt that took the most seconds
    int failed = -1;   // the latest failure
    int failures = 0;
};

// The buckets of [from, to] (ms since the epoch, both ends included) that hold
// an attempt, oldest first. The samples may be in any order.
QList<PlotPoint> plotPoints(const std::vector<PlotSample> &samples, qint64 from, qint64 to, int buckets);

}  // namespace fetchora
