#include "mainwindow/WindowStartup.h"

#include "core/FileSystem.h"
#include "core/RegistryStore.h"
#include "core/Profile.h"
#include "core/CommandLine.h"
#include "core/Trace.h"
#include "widgets/EndRequests.h"

#include <QApplication>
#include <QIcon>
#include <cstdlib>

namespace fetchora {

std::unique_ptr<MainWindow> g_frmMain;

void showMainWindow(MainWindowSeams seams)
{
    if (!seams.profile)
        seams.profile = std::make_shared<Profile>(appFolder());
    TraceScope t("modGlobal", "Sub Main");
    // Qt's widgets need no common-controls initialisation; the QApplication
    // that main() creates before this call plays that part.
    t.step([] { registry().SaveSetting("Fetchora", "Options", "BGColor", "&H8000000F"); });
    openProfile(t, *seams.profile);
    t.step([&] {
        g_frmMain = std::make_unique<MainWindow>(std::move(seams));
        g_frmMain->Show();
    });
}

int runWindow(std::shared_ptr<Profile> profile, PromptService &prompt)
{
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/fetchora.png")));
    // The program ends when the main window has unloaded, even when it was
    // hidden in the tray at that moment.
    QApplication::setQuitOnLastWindowClosed(false);

    MainWindowSeams seams;
    seams.prompt = &prompt;
    seams.profile = std::move(profile);
    // Without what Qt took for itself ("-style", "-platform").
    seams.arguments = parseCommandLine(QApplication::arguments().mid(1)).rest;
    showMainWindow(std::move(seams));

    if (!g_frmMain)
        return 1;
    // When its connection to the display breaks (the X server or the session
    // went away), the platform ends the process with exit() from inside the
    // event loop. Exit handlers must not tear the window down then: the
    // application object it needs is still alive on the caller's stack, and
    // parts of Qt it touches on the way are already gone.
    std::atexit([] { (void)g_frmMain.release(); });
    QObject::connect(g_frmMain.get(), &MainWindow::unloaded, qApp, &QCoreApplication::quit);
    // Ended from outside (a signal, the end of the session): as by the close box.
    EndRequests ends;
    QObject::connect(&ends, &EndRequests::endRequested, g_frmMain.get(), &MainWindow::closeByProgram);
    const int rc = QApplication::exec();
    g_frmMain.reset();
    return rc;
}

}  // namespace fetchora
