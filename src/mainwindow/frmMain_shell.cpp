// The main window's tray handling and its browse button.

#include "mainwindow/frmMain.h"

#include "shell/Controls.h"
#include "shell/SystemTray.h"
#include "shell/modBrowseFolders.h"
#include "startup/Names.h"
#include "startup/modText.h"
#include "trace/modTraceLITE.h"

#include <QApplication>
#include <QDialog>

namespace fetchora {

void frmMain::setUpTray()
{
    sevTray1 = m_seams.tray ? m_seams.tray(this) : std::make_unique<SystemTray>(this);
    connect(sevTray1.get(), &TrayLayer::Click, this, &frmMain::sevTray1_Click);
    connect(sevTray1.get(), &TrayLayer::DblClick, this, &frmMain::sevTray1_DblClick);
    connect(sevTray1.get(), &TrayLayer::MenuClick, this, &frmMain::sevTray1_MenuClick);
    connect(sevTray1.get(), &TrayLayer::HostLost, this, &frmMain::sevTray1_HostLost);
}

void frmMain::sevTray1_HostLost()
{
    TraceScope t("frmMain", "Sub sevTray1_HostLost");
    // Without a tray the icon was the only way back: the window comes back
    // instead. The next minimise uses a tray again once there is one.
    t.step([&] {
        if (isMinimized() || !isVisible())
            restoreFromTray();
        else
            sevTray1->Remove();
    });
}

void frmMain::Form_Resize()
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
        sevTray1->setIcon(icon);
    });
    t.step([&] { sevTray1->setStyleValue(0); });
    t.step([&] {
        sevTray1->setToolTip(windowTitle() + QStringLiteral(" [") + displayUrl(txtURL->Text()) + QLatin1Char(']'));
    });
    t.step([&] { sevTray1->Show(); });
    t.step([&] { sevTray1->setRestored(false); });
}

void frmMain::restoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    sevTray1->setRestored(true);
    sevTray1->Remove();
    activateWindow();
    raise();
    cmdStart->setFocus();
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

void frmMain::sevTray1_Click(int Button)
{
    TraceScope t("frmMain", "Sub sevTray1_Click");
    if (Button != 2)
        return;
    t.step([&] {
        sevTray1->AddMenuItem(QStringLiteral("open"), capTrayOpen);
        sevTray1->AddMenuItem(QStringLiteral("exit"), capTrayQuit);
        sevTray1->ShowMenu();
    });
}

void frmMain::sevTray1_DblClick()
{
    TraceScope t("frmMain", "Sub sevTray1_DblClick");
    t.step([&] { restoreFromTray(); });
}

void frmMain::sevTray1_MenuClick(int, const QString &Key)
{
    TraceScope t("frmMain", "Sub sevTray1_MenuClick");
    t.step([&] {
        if (Key == QLatin1String("open")) {
            restoreFromTray();
        } else if (Key == QLatin1String("exit")) {
            hide();
            AppExit();
        }
    });
}

void frmMain::cmdBrowse_Click()
{
    TraceScope t("frmMain", "Sub cmdBrowse_Click");
    t.step([&] {
        FolderDialogBrowser dialogBrowser(m_seams.prompt);
        FolderBrowser &browser = m_seams.browser ? *m_seams.browser : dialogBrowser;
        const QString chosen = browser.BrowseForFolder(this, capBrowseTitle, txtSPlace->Text());
        if (!chosen.isEmpty())
            txtSPlace->setTextValue(chosen);
    });
}

}  // namespace fetchora
