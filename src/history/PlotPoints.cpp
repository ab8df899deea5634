#include "history/PlotPoints.h"

namespace fetchora {

PlotSample::Kind plotKind(const QString &outcome)
{
    if (outcome == QLatin1String("stored"))
        return PlotSample::Copy;
    if (outcome == QLatin1String("failed") || outcome == QLatin1String("not-found"))
        return PlotSample::Failed;
    if (outcome == QLatin1String("skipped"))
        return PlotSample::Note;
    return PlotSample::Other;
}

QList<PlotPoint> plotPoints(const std::vector<PlotSample> &samples, qint64 from, qint64 to, int buckets)
{
    if (buckets < 1 || to < from)
        return {};
    // The span counts both ends, so `to` falls into the last bucket and a
    // range of one instant is one bucket, not a division by zero.
    const qint64 span = to - from + 1;
    std::vector<PlotPoint> bucket(static_cast<size_t>(buckets));
    for (size_t i = 0; i < samples.size(); ++i) {
        const PlotSample &s = samples[i];
        if (s.kind == PlotSample::Note || s.at < from || s.at > to)
            continue;
        PlotPoint &p = bucket[size_t((s.at - from) * buckets / span)];
        const int index = int(i);
        if (s.kind == PlotSample::Copy && (p.largest < 0 || s.bytes > samples[size_t(p.largest)].bytes))
            p.largest = index;
        if (p.longest < 0 || s.seconds > samples[size_t(p.longest)].seconds)
            p.longest = index;
        if (s.kind == PlotSample::Failed) {
            ++p.failures;
            if (p.failed < 0 || s.at >= samples[size_t(p.failed)].at)
                p.failed = index;
        }
    }
    QList<PlotPoint> points;
    for (const PlotPoint &p : bucket)
        if (p.longest >= 0)
            points.append(p);
    return points;
}

}  // namespace fetchora
