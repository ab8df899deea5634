#include "mainwindow/WindowStartup.h"

#include "core/FileSystem.h"
#include "core/RegistryStore.h"
#include "core/Profile.h"
#include "core/CommandLine.h"
#include "core/Trace.h"
#include "widgets/EndRequests.h"

#include <QApplication>
#include <QIcon>

namespace fetchora {

std::unique_ptr<MainWindow> showMainWindow(MainWindowSeams seams)
{
    std::unique_ptr<MainWindow> window;
    if (!seams.profile)
        seams.profile = std::make_shared<Profile>(defaultAppFolder());
    TraceScope t("modGlobal", "Sub Main");
    // Qt's widgets need no common-controls initialisation; the QApplication
    // that main() creates before this call plays that part.
    t.step([] { registry().SaveSetting("Fetchora", "Options", "BGColor", "&H8000000F"); });
    openProfile(t, *seams.profile);
    t.step([&] {
        window = std::make_unique<MainWindow>(std::move(seams));
        window->Show();
    });
    return window;
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
    // Held on this stack, not in a static: when the connection to the display
    // breaks, the platform ends the process with exit() from inside the event
    // loop, and the window must not be torn down by exit handlers then (the
    // application object it needs is still alive, parts of Qt are not).
    std::unique_ptr<MainWindow> window = showMainWindow(std::move(seams));
    if (!window)
        return 1;
    QObject::connect(window.get(), &MainWindow::unloaded, qApp, &QCoreApplication::quit);
    // Ended from outside (a signal, the end of the session): as by the close box.
    EndRequests ends;
    QObject::connect(&ends, &EndRequests::endRequested, window.get(), &MainWindow::closeByProgram);
    return QApplication::exec();
}

}  // namespace fetchora
