// The way from the main window to the history window: Ctrl+H, a small
// button between Settings and Start, and the tray menu's entry.

#include "mainwindow/MainWindow.h"

#include "core/Profile.h"
#include "history/HistoryWindow.h"
#include "widgets/Controls.h"

#include <QGroupBox>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

namespace fetchora {

namespace {

QString historyCaption(Language language)
{
    return language == Language::German ? QStringLiteral("Verlauf") : QStringLiteral("History");
}

}  // namespace

QString MainWindow::historyMenuCaption() const
{
    return historyCaption(m_profile.language()) + QStringLiteral("…");
}

void MainWindow::setUpHistory()
{
    // The one control outside the window's old layout: the gap between
    // Settings and Start holds it, so nothing else moves.
    historyButton = new QToolButton(buttonFrame);
    historyButton->setObjectName(QStringLiteral("historyButton"));
    historyButton->setGeometry(94, 16, 43, 23);
    historyButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    historyButton->setAutoRaise(false);
    QWidget::setTabOrder(quitButton, historyButton);
    connect(historyButton, &QToolButton::clicked, this, &MainWindow::showHistory);
    auto *key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(key, &QShortcut::activated, this, &MainWindow::showHistory);
    labelHistory();
}

void MainWindow::labelHistory()
{
    const QString caption = historyCaption(m_profile.language());
    historyButton->setAccessibleName(caption);
    historyButton->setToolTip(caption + QStringLiteral(" (Ctrl+H)"));
    // An open history window follows the language: it opens again in the
    // new one, where it was and showing what it showed.
    auto *open = qobject_cast<HistoryWindow *>(historyWindow.data());
    if (!open || open->language() == m_profile.language())
        return;
    const HistoryView view = open->view();
    const QRect where = open->geometry();
    const bool minimized = open->isMinimized();
    open->close();
    auto *again = openHistoryWindow(m_profile);
    again->setGeometry(where);
    again->setView(view);
    if (minimized)
        again->showMinimized();
    historyWindow = again;
}

void MainWindow::showHistory()
{
    if (historyWindow) {
        historyWindow->showNormal();
        historyWindow->raise();
        historyWindow->activateWindow();
        return;
    }
    historyWindow = openHistoryWindow(m_profile);
}

}  // namespace fetchora
