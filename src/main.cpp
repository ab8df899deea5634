// Fetchora: fetches one file again and again and keeps every copy.

#include "Version.h"
#include "mainwindow/WindowStartup.h"
#include "core/CommandLine.h"
#include "headless/ServiceHost.h"
#include "widgets/EndRequests.h"
#include "widgets/MessageBoxPrompt.h"
#include "core/PrivateFiles.h"
#include "core/Profile.h"
#include "core/IniFile.h"
#include "core/Texts.h"
#include "trace/TraceSocket.h"
#include "trace/Tracewright.h"
#include "core/Trace.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLockFile>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    using namespace fetchora;
    installTracewright();
    provideRuntimeFolder();
    // Decided before any application object exists: the service modes must
    // not need a display, and no long option may count as "-s" or "-m".
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "fetchora: %s\n%s", qPrintable(commandLine.error), qPrintable(usageText()));
        return 2;
    }
    if (commandLine.help || commandLine.version) {
        std::fputs(commandLine.help ? qPrintable(usageText())
                                    : qPrintable(QStringLiteral("fetchora %1\n").arg(QLatin1String(kVersionText))),
                   stdout);
        return 0;
    }
    if (!commandLine.configFolder.isEmpty()) {
        const QString folder = QDir(commandLine.configFolder).absolutePath();
        if (!makePrivateFolder(folder)) {
            std::fprintf(stderr, "fetchora: --config: %s cannot be made\n",
                         qPrintable(QDir::toNativeSeparators(folder)));
            return 2;
        }
        setAppFolder(folder);
    }
    if (commandLine.mode != CommandLine::Mode::Window)
        return runService(argc, argv, commandLine);

    QApplication app(argc, argv);
    if (!commandLine.configFolder.isEmpty())
        useAppFolder(appFolder());
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
    // Without what Qt took for itself ("-style", "-platform").
    seams.arguments = parseCommandLine(QApplication::arguments().mid(1)).rest;
    showMainWindow(std::move(seams));

    if (!g_frmMain)
        return 1;
    // When its connection to the display breaks (the X server or the session
    // went away), the platform ends the process with exit() from inside the
    // event loop. Exit handlers must not tear the window down then: the
    // application object it needs is still alive on this stack, and parts of
    // Qt it touches on the way are already gone.
    std::atexit([] { (void)g_frmMain.release(); });
    QObject::connect(g_frmMain.get(), &MainWindow::unloaded, &app, &QCoreApplication::quit);
    // Ended from outside (a signal, the end of the session): as by the close box.
    EndRequests ends;
    QObject::connect(&ends, &EndRequests::endRequested, g_frmMain.get(), &MainWindow::closeByProgram);
    const int rc = app.exec();
    g_frmMain.reset();
    return rc;
}
