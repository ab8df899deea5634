// Fetchora: fetches one file again and again and keeps every copy.

#include "mainwindow/SubMain.h"
#include "shell/EndRequests.h"
#include "shell/MessageBoxPrompt.h"
#include "startup/modGlobal.h"
#include "startup/modINIHandler.h"
#include "startup/modText.h"
#include "trace/TraceSocket.h"
#include "trace/modTraceLITE.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLockFile>
#include <cstdlib>

int main(int argc, char *argv[])
{
    using namespace fetchora;
    provideRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fetchora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/fetchora.png")));
    // The program ends when the main window has unloaded, even when it was
    // hidden in the tray at that moment.
    QApplication::setQuitOnLastWindowClosed(false);

    MessageBoxPrompt prompt;
    setTracePrompt(&prompt);

    // Two programs on one application folder would sweep each other's
    // downloads out of tmp/ and race for fcr.ini: the second one says so and
    // ends before it touches anything. A lock left by a killed program is
    // taken over.
    QDir().mkpath(appFolder());
    QLockFile lock(appFolder() + QStringLiteral("/fcr.lock"));
    if (!lock.tryLock(0)) {
        strINIFile = appFolder() + QStringLiteral("/fcr.ini");
        const QString language =
            GetINIString(QStringLiteral("Global"), QStringLiteral("Language"), QStringLiteral("Deutsch"), 256);
        applyToolkitLanguage(language);
        prompt.msgBox(alreadyRunningText(language).arg(QDir::toNativeSeparators(appFolder())),
                      mb::Information | mb::OKOnly, QString());
        return 2;
    }

    MainWindowSeams seams;
    seams.prompt = &prompt;
    seams.arguments = QApplication::arguments().mid(1);
    SubMain(std::move(seams));

    if (!g_frmMain)
        return 1;
    // When its connection to the display breaks (the X server or the session
    // went away), the platform ends the process with exit() from inside the
    // event loop. Exit handlers must not tear the window down then: the
    // application object it needs is still alive on this stack, and parts of
    // Qt it touches on the way are already gone.
    std::atexit([] { (void)g_frmMain.release(); });
    QObject::connect(g_frmMain.get(), &frmMain::unloaded, &app, &QCoreApplication::quit);
    // Ended from outside (a signal, the end of the session): as by the close box.
    EndRequests ends;
    QObject::connect(&ends, &EndRequests::endRequested, g_frmMain.get(), &frmMain::closeByProgram);
    const int rc = app.exec();
    g_frmMain.reset();
    return rc;
}
