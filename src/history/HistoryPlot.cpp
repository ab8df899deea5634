#include "history/HistoryPlot.h"

#include "history/HistoryModel.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace fetchora {

namespace {

// More buckets than this are more than any screen shows.
constexpr int kMostBuckets = 4000;
// Below this many points each one gets a marker; above, the line is the picture.
constexpr int kMarkedPoints = 80;

}  // namespace

struct HistoryPlot::Chart {
    QChart *chart = new QChart;
    QLineSeries *sizes = new QLineSeries;
    QLineSeries *durations = new QLineSeries;
    QScatterSeries *failures = new QScatterSeries;
    QScatterSeries *chosen = new QScatterSeries;  // the attempt chosen in the table
    QDateTimeAxis *time = new QDateTimeAxis;
    QValueAxis *bytes = new QValueAxis;
    QValueAxis *seconds = new QValueAxis;
};

// A click that no series took (the lines are thin) still picks the attempt
// nearest in time.
class HistoryPlot::View : public QChartView {
public:
    View(QChart *chart, std::function<void(QPointF)> missed) : QChartView(chart), m_missed(std::move(missed)) {}
    int taken = 0;  // clicks a series took, counted by choose()

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        const int before = taken;
        QChartView::mousePressEvent(event);
        if (taken == before && event->button() == Qt::LeftButton && chart()->plotArea().contains(event->position()))
            m_missed(event->position());
    }

private:
    std::function<void(QPointF)> m_missed;  // where, in the view
};

QString HistoryPlot::text(const char *german, const char *english) const
{
    return QString::fromUtf8(m_language == Language::German ? german : english);
}

HistoryPlot::HistoryPlot(HistoryModel *model, Language language, QWidget *parent)
    : QWidget(parent), m_model(model), m_language(language), m_chart(new Chart)
{
    setObjectName(QStringLiteral("historyPlot"));
    setAccessibleName(text("Verlauf als Bild", "Graph over time"));

    m_range = new QComboBox;
    m_range->setObjectName(QStringLiteral("rangeBox"));
    m_range->addItems({text("Tag", "Day"), text("Woche", "Week"), text("Monat", "Month"), text("Jahr", "Year"),
                       text("Alles", "All")});
    m_range->setCurrentIndex(Week);
    auto *rangeLabel = new QLabel(text("&Zeitraum:", "&Range:"));
    rangeLabel->setBuddy(m_range);
    m_range->setAccessibleName(text("Zeitraum", "Range"));
    setFocusProxy(m_range);
    auto *rangeRow = new QHBoxLayout;
    rangeRow->addWidget(rangeLabel);
    rangeRow->addWidget(m_range);
    rangeRow->addStretch(1);

    Chart &c = *m_chart;
    c.sizes->setName(text("Größe", "Size"));
    c.sizes->setObjectName(QStringLiteral("sizeSeries"));
    c.sizes->setPen(QPen(QColor(0x1f, 0x5f, 0xbf), 2));
    c.durations->setName(text("Dauer", "Duration"));
    c.durations->setObjectName(QStringLiteral("durationSeries"));
    c.durations->setPen(QPen(QColor(0x2e, 0x8b, 0x57), 1.5));
    c.failures->setName(text("Fehlgeschlagen", "Failed"));
    c.failures->setObjectName(QStringLiteral("failureSeries"));
    c.failures->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    c.failures->setColor(QColor(0xd0, 0x20, 0x20));
    c.failures->setBorderColor(QColor(0x80, 0, 0));
    c.chart->legend()->setAlignment(Qt::AlignBottom);
    c.chart->setLocale(QLocale(language == Language::German ? QLocale::German : QLocale::English));
    c.chart->setLocalizeNumbers(true);
    c.chart->setMargins(QMargins(4, 4, 4, 4));
    c.time->setTickCount(6);
    c.bytes->setLabelFormat(QStringLiteral("%.0f"));
    c.seconds->setLabelFormat(QStringLiteral("%.3g"));
    c.seconds->setTitleText(text("Sekunden", "Seconds"));
    c.chart->addAxis(c.time, Qt::AlignBottom);
    c.chart->addAxis(c.bytes, Qt::AlignLeft);
    c.chart->addAxis(c.seconds, Qt::AlignRight);
    c.chosen->setObjectName(QStringLiteral("chosenSeries"));
    c.chosen->setMarkerSize(16);
    c.chosen->setColor(Qt::transparent);
    c.chosen->setBorderColor(Qt::black);
    for (QXYSeries *s : std::initializer_list<QXYSeries *>{c.sizes, c.durations, c.failures, c.chosen}) {
        c.chart->addSeries(s);
        s->attachAxis(c.time);
        s->attachAxis(s == c.sizes ? c.bytes : c.seconds);
    }
    c.chart->legend()->markers(c.chosen).value(0)->setVisible(false);
    connect(c.sizes, &QXYSeries::clicked, this, [this](const QPointF &p) { choose(Sizes, p); });
    connect(c.durations, &QXYSeries::clicked, this, [this](const QPointF &p) { choose(Durations, p); });
    connect(c.failures, &QXYSeries::clicked, this, [this](const QPointF &p) { choose(Failures, p); });

    m_view = new View(c.chart,
                      [this](QPointF at) { choose(Durations, m_chart->chart->mapToValue(at, m_chart->durations)); });
    m_view->setObjectName(QStringLiteral("plotView"));
    m_view->setAccessibleName(text("Größe und Dauer der Versuche", "Size and duration of the attempts"));
    m_view->setAccessibleDescription(
        text("Ein Klick wählt den Versuch in der Tabelle.", "A click chooses the attempt in the table."));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setFocusPolicy(Qt::NoFocus);  // nothing in it to do by keys: the table has every attempt
    m_view->setMinimumSize(240, 160);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(rangeRow);
    layout->addWidget(m_view, 1);

    m_redraw.setSingleShot(true);
    connect(&m_redraw, &QTimer::timeout, this, &HistoryPlot::redraw);
    connect(m_range, &QComboBox::currentIndexChanged, this, [this] {
        m_dirty = true;
        if (isVisible())
            redraw();
    });
    // Any change but new rows on top leaves the samples and the chosen one behind.
    const auto again = [this] {
        m_chosen = -1;
        reload();
    };
    connect(model, &QAbstractItemModel::modelReset, this, again);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { rowsAdded(first, last); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, again);
    connect(model, &QAbstractItemModel::layoutChanged, this, again);
    reload();
}

HistoryPlot::~HistoryPlot()
{
    delete m_chart;  // the chart itself belongs to the view
}

void HistoryPlot::setRange(Range range)
{
    m_range->setCurrentIndex(range);
}

namespace {

PlotSample sampleOf(const HistoryModel *model, int row)
{
    const QModelIndex i = model->index(row, 0);
    PlotSample s;
    s.at = i.data(HistoryModel::TimeRole).toLongLong();
    s.bytes = i.data(HistoryModel::BytesRole).toLongLong();
    s.seconds = i.data(HistoryModel::SecondsRole).toDouble();
    s.kind = plotKind(i.data(HistoryModel::OutcomeRole).toString());
    return s;
}

}  // namespace

void HistoryPlot::reload()
{
    // A year of rows takes a while to go through: not before the plot is seen.
    m_samples.clear();
    m_unread = !isVisible();
    if (m_unread) {
        m_dirty = true;
        return;
    }
    const int rows = m_model->rowCount();
    m_samples.reserve(size_t(rows));
    for (int row = rows - 1; row >= 0; --row)
        m_samples.push_back(sampleOf(m_model, row));
    changed();
}

void HistoryPlot::rowsAdded(int first, int last)
{
    if (m_unread)
        return;
    // New attempts come in as the newest rows, on top; anything else is read again.
    if (first != 0 || size_t(m_model->rowCount()) != m_samples.size() + size_t(last - first + 1)) {
        m_chosen = -1;
        reload();
        return;
    }
    for (int row = last; row >= first; --row)
        m_samples.push_back(sampleOf(m_model, row));
    changed();
}

void HistoryPlot::changed()
{
    m_dirty = true;
    if (isVisible())
        m_redraw.start(0);
}

void HistoryPlot::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_unread)
        reload();
    if (m_dirty)
        redraw();
}

void HistoryPlot::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    changed();
}

void HistoryPlot::redraw()
{
    m_redraw.stop();
    m_dirty = false;
    Chart &c = *m_chart;
    qint64 first = std::numeric_limits<qint64>::max(), last = std::numeric_limits<qint64>::min();
    for (const PlotSample &s : m_samples) {
        if (s.kind != PlotSample::Note) {
            first = std::min(first, s.at);
            last = std::max(last, s.at);
        }
    }
    if (last < first)  // nothing attempted yet
        first = last = QDateTime::currentMSecsSinceEpoch();
    // The range ends at the newest attempt, so a profile that stopped a while
    // ago still shows its last day.
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(last);
    QDateTime start;
    switch (Range(m_range->currentIndex())) {
    case Day: start = end.addDays(-1); break;
    case Week: start = end.addDays(-7); break;
    case Month: start = end.addMonths(-1); break;
    case Year: start = end.addYears(-1); break;
    case All: start = QDateTime::fromMSecsSinceEpoch(first); break;
    }
    const qint64 from = std::max(first, start.toMSecsSinceEpoch());
    const int buckets = std::clamp(m_view->viewport()->width(), 1, kMostBuckets);
    const QList<PlotPoint> points = plotPoints(m_samples, from, last, buckets);

    qint64 largest = 0;
    double longest = 0;
    for (const PlotPoint &p : points) {
        if (p.largest >= 0)
            largest = std::max(largest, m_samples[size_t(p.largest)].bytes);
        longest = std::max(longest, m_samples[size_t(p.longest)].seconds);
    }
    const qint64 unit = largest >= 10 << 20 ? 1 << 20 : largest >= 10 << 10 ? 1 << 10 : 1;
    QList<QPointF> xy[3];
    for (auto &drawn : m_drawn)
        drawn.clear();
    const auto add = [&](Series series, int sample, double y) {
        xy[series].append(QPointF(double(m_samples[size_t(sample)].at), y));
        m_drawn[series].push_back(sample);
    };
    for (const PlotPoint &p : points) {
        if (p.largest >= 0)
            add(Sizes, p.largest, double(m_samples[size_t(p.largest)].bytes) / double(unit));
        add(Durations, p.longest, m_samples[size_t(p.longest)].seconds);
        if (p.failed >= 0)
            add(Failures, p.failed, m_samples[size_t(p.failed)].seconds);
    }
    c.sizes->replace(xy[Sizes]);
    c.durations->replace(xy[Durations]);
    c.failures->replace(xy[Failures]);
    c.sizes->setPointsVisible(xy[Sizes].size() <= kMarkedPoints);
    c.durations->setPointsVisible(xy[Durations].size() <= kMarkedPoints);

    c.chart->setTitle(points.isEmpty() ? text("Keine Versuche in diesem Zeitraum.", "No attempts in this range.")
                                       : QString());
    c.bytes->setTitleText(unit == 1 << 20   ? text("Größe (MiB)", "Size (MiB)")
                          : unit == 1 << 10 ? text("Größe (KiB)", "Size (KiB)")
                                            : text("Größe (Bytes)", "Size (bytes)"));
    c.bytes->setRange(0, largest > 0 ? double(largest) / double(unit) * 1.05 : 1);
    c.seconds->setRange(0, longest > 0 ? longest * 1.05 : 1);
    c.bytes->applyNiceNumbers();
    c.seconds->applyNiceNumbers();
    // Failures on most buckets (a year of a flaky server) would hide the lines.
    c.failures->setMarkerSize(xy[Failures].size() > kMarkedPoints ? 6 : 9);
    // A range of one instant still needs a width to draw it in.
    const qint64 pad = last > from ? 0 : 60 * 1000;
    c.time->setRange(QDateTime::fromMSecsSinceEpoch(from - pad), QDateTime::fromMSecsSinceEpoch(last + pad));
    const qint64 span = last - from;
    c.time->setFormat(span <= 2LL * 24 * 3600 * 1000    ? QStringLiteral("HH:mm")
                      : span <= 14LL * 24 * 3600 * 1000 ? QStringLiteral("MM-dd HH:mm")
                                                        : QStringLiteral("yyyy-MM-dd"));
    drawChosen();
}

void HistoryPlot::setChosen(int row)
{
    m_chosen = row < 0 ? -1 : int(m_model->rowCount()) - 1 - row;  // rows move down as attempts come in, samples stay
    if (!m_dirty)
        drawChosen();
}

void HistoryPlot::drawChosen()
{
    const QDateTime from = m_chart->time->min(), to = m_chart->time->max();
    QList<QPointF> at;
    if (m_chosen >= 0 && size_t(m_chosen) < m_samples.size()) {
        const PlotSample &s = m_samples[size_t(m_chosen)];
        if (s.kind != PlotSample::Note && s.at >= from.toMSecsSinceEpoch() && s.at <= to.toMSecsSinceEpoch())
            at.append(QPointF(double(s.at), s.seconds));
    }
    m_chart->chosen->replace(at);
}

void HistoryPlot::choose(Series series, const QPointF &point)
{
    ++m_view->taken;
    const std::vector<int> &drawn = m_drawn[series];
    int nearest = -1;
    double distance = 0;
    for (const int sample : drawn) {
        const double d = std::abs(double(m_samples[size_t(sample)].at) - point.x());
        if (nearest < 0 || d < distance) {
            nearest = sample;
            distance = d;
        }
    }
    if (nearest >= 0)
        emit attemptChosen(int(m_samples.size()) - 1 - nearest);
}

}  // namespace fetchora
