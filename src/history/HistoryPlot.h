#pragma once
// The history window's picture over time: each copy's size and each attempt's
// duration, failures marked, over a day, week, month, year or all of it.

#include "core/RuntimeError.h"
#include "history/PlotPoints.h"

#include <QTimer>
#include <QWidget>

#include <vector>

class QComboBox;
class QPointF;

namespace fetchora {

class HistoryModel;

class HistoryPlot : public QWidget {
    Q_OBJECT
public:
    enum Range { Day, Week, Month, Year, All };
    enum Series { Sizes, Durations, Failures };

    HistoryPlot(HistoryModel *model, Language language, QWidget *parent = nullptr);
    ~HistoryPlot() override;

    void setRange(Range range);
    // A click on a series at `point` (x: ms since the epoch): the attempt drawn
    // nearest to it in time, as a row of the model.
    void choose(Series series, const QPointF &point);
    // The attempt chosen in the table, as a row of the model (-1: none), is ringed.
    void setChosen(int row);
    int pointCount(Series series) const { return int(m_drawn[series].size()); }

signals:
    void attemptChosen(int row);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    class View;
    QString text(const char *german, const char *english) const;
    void reload();
    void rowsAdded(int first, int last);
    void changed();
    void redraw();
    void drawChosen();

    HistoryModel *m_model;
    Language m_language;
    std::vector<PlotSample> m_samples;  // oldest first: sample i is row size()-1-i
    std::vector<int> m_drawn[3];        // each series' points as samples
    bool m_dirty = true;
    int m_chosen = -1;     // a sample
    bool m_unread = true;  // the samples are read when the plot is first shown
    QTimer m_redraw;       // one redraw for a burst of new rows or a resize
    QComboBox *m_range;
    View *m_view;
    struct Chart;
    Chart *m_chart;
};

}  // namespace fetchora
