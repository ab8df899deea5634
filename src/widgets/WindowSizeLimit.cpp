#include "widgets/WindowSizeLimit.h"

#include "core/Trace.h"

#include <QPointer>
#include <QWidget>

namespace fetchora {

namespace {
MinMaxLimits g_limits;
// What the window allowed before we limited it, put back by UnloadMinMax.
QPointer<QWidget> g_window;
QSize g_prevMin;
QSize g_prevMax;
}  // namespace

void SetMinMax(QWidget *frm, const int &MinWidth, const int &MinHeight, const int &MaxWidth, const int &MaxHeight)
{
    TraceScope t("modWinSize", "Sub SetMinMax");
    t.step([&] {
        if (!frm)
            raiseError(err::ObjectVariableNotSet);
        g_window = frm;
        g_prevMin = frm->minimumSize();
        g_prevMax = frm->maximumSize();
        g_limits.minWidth = MinWidth;
        g_limits.maxWidth = MaxWidth;
        g_limits.minHeight = MinHeight;
        g_limits.maxHeight = MaxHeight;
        g_limits.installed = true;
        // The window manager asks the widget's size constraints whenever the
        // user drags a border; these are Qt's answer to the size-limit query.
        frm->setMinimumSize(MinWidth, MinHeight);
        frm->setMaximumSize(MaxWidth, MaxHeight);
    });
}

void UnloadMinMax(QWidget *frm)
{
    TraceScope t("modWinSize", "Sub UnloadMinMax");
    t.step([&] {
        if (!frm)
            raiseError(err::ObjectVariableNotSet);
        if (g_window == frm) {
            frm->setMinimumSize(g_prevMin);
            frm->setMaximumSize(g_prevMax);
            g_window = nullptr;
        }
        g_limits.installed = false;
    });
}

MinMaxLimits currentMinMax()
{
    return g_limits;
}

}  // namespace fetchora
