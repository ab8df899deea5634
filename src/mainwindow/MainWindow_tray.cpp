// The main window's tray handling and its browse button.

#include "mainwindow/MainWindow.h"

#include "widgets/Controls.h"
#include "widgets/SystemTray.h"
#include "core/Profile.h"
#include "widgets/FolderDialog.h"
#include "core/Names.h"
#include "core/Texts.h"
#include "core/Trace.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>

namespace fetchora {

void MainWindow::setUpTray()
{
    tray = m_seams.tray ? m_seams.tray(this) : std::make_unique<SystemTray>(this);
    connect(tray.get(), &TrayLayer::Click, this, &MainWindow::sevTray1_Click);
    connect(tray.get(), &TrayLayer::DblClick, this, &MainWindow::sevTray1_DblClick);
    connect(tray.get(), &TrayLayer::MenuClick, this, &MainWindow::sevTray1_MenuClick);
    connect(tray.get(), &TrayLayer::HostLost, this, &MainWindow::sevTray1_HostLost);
}

void MainWindow::sevTray1_HostLost()
{
    TraceScope t("frmMain", "Sub sevTray1_HostLost");
    // Without a tray the icon was the only way back: the window comes back
    // instead. The next minimise uses a tray again once there is one.
    t.step([&] {
        if (isMinimized() || !isVisible())
            restoreFromTray();
        else
            tray->Remove();
    });
}

void MainWindow::Form_Resize()
{
    TraceScope t("frmMain", "Sub Form_Resize");
    if (!(windowState() & Qt::WindowMinimized))
        return;
    // The window itself stays minimised on the taskbar, so a desktop without
    // a tray still leaves the user a way back.
    t.step([&] { m_cycle->showView(); });
    t.step([&] {
        QIcon icon = windowIcon();
        if (icon.isNull())
            icon = QApplication::style()->standardIcon(QStyle::SP_ArrowDown);
        tray->setIcon(icon);
    });
    t.step([&] { tray->setStyleValue(0); });
    t.step([&] {
        tray->setToolTip(trayTip());
    });
    t.step([&] { tray->Show(); });
    t.step([&] { tray->setRestored(false); });
}

void MainWindow::restoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    tray->setRestored(true);
    tray->Remove();
    activateWindow();
    raise();
    (startButton->isEnabled() ? startButton : keysTarget())->setFocus();
    // A dialog that was open when the window went to the tray went with it
    // (the window manager minimises a window's dialogs along with it): it
    // comes back on top, where the user left it.
    for (auto *dialog : findChildren<QDialog *>(Qt::FindDirectChildrenOnly)) {
        if (dialog->isVisible()) {
            dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
            dialog->showNormal();
            dialog->raise();
            dialog->activateWindow();
        }
    }
}

void MainWindow::sevTray1_Click(int Button)
{
    TraceScope t("frmMain", "Sub sevTray1_Click");
    if (Button != 2)
        return;
    t.step([&] {
        tray->AddMenuItem(QStringLiteral("open"), texts().capTrayOpen);
        tray->AddMenuItem(QStringLiteral("history"), historyMenuCaption());
        tray->AddMenuItem(QStringLiteral("exit"), texts().capTrayQuit);
        tray->ShowMenu();
    });
}

void MainWindow::sevTray1_DblClick()
{
    TraceScope t("frmMain", "Sub sevTray1_DblClick");
    t.step([&] { restoreFromTray(); });
}

void MainWindow::sevTray1_MenuClick(int, const QString &Key)
{
    TraceScope t("frmMain", "Sub sevTray1_MenuClick");
    t.step([&] {
        if (Key == QLatin1String("open")) {
            restoreFromTray();
        } else if (Key == QLatin1String("history")) {
            showHistory();
        } else if (Key == QLatin1String("exit")) {
            hide();
            AppExit();
        }
    });
}

namespace {

// The folder typed, or the nearest one above it that exists: a folder yet to
// be made opens the browser where it would go, not at the top.
QString nearestFolder(const QString &typed)
{
    if (typed.isEmpty())
        return typed;
    QDir folder(QDir::cleanPath(QDir(typed).absolutePath()));
    while (!folder.exists() && !folder.isRoot())
        folder.setPath(QDir::cleanPath(folder.absoluteFilePath(QStringLiteral(".."))));
    return folder.exists() ? QDir::toNativeSeparators(folder.path()) : QString();
}

}  // namespace

void MainWindow::cmdBrowse_Click()
{
    TraceScope t("frmMain", "Sub cmdBrowse_Click");
    t.step([&] {
        FolderDialogBrowser dialogBrowser(m_seams.prompt, m_profile.languageName());
        FolderBrowser &browser = m_seams.browser ? *m_seams.browser : dialogBrowser;
        const QString typed = savePathEdit->Text();
        const QString start = QFileInfo(typed).isDir() ? typed : nearestFolder(typed);
        const QString chosen = browser.BrowseForFolder(this, texts().capBrowseTitle, start);
        if (!chosen.isEmpty())
            savePathEdit->setTextValue(chosen);
    });
}

}  // namespace fetchora
