// Fetchora: fetches one file again and again and keeps every copy.
//
// One start-up for every way the program runs: the command line is read, the
// application object made, the profile opened and locked, and only then does
// the front end take over: the window, or the service with none.

#include "Version.h"
#include "core/CommandLine.h"
#include "core/HandOver.h"
#include "core/EndSignals.h"
#include "core/PrivateFiles.h"
#include "core/Profile.h"
#include "core/ProfileLock.h"
#include "core/Texts.h"
#include "core/Trace.h"
#include "headless/ServiceHost.h"
#include "history/HistoryWindow.h"
#include "reactions/Console.h"
#include "reactions/Notifier.h"
#include "mainwindow/WindowStartup.h"
#include "trace/TraceSocket.h"
#include "trace/Tracewright.h"
#include "widgets/MessageBoxPrompt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

int main(int argc, char *argv[])
{
    using namespace fetchora;
    // A reader of the output that goes away (`fetchora --headless | head -1`)
    // must cost the next line, not the program.
    std::signal(SIGPIPE, SIG_IGN);
    installTracewright();
    provideRuntimeFolder();
    // Decided before any application object exists: the service modes must
    // not need a display, and no long option may count as "-s" or "-m".
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (!commandLine.error.isEmpty()) {
        printLines(stderr, Severity::Error, QStringLiteral("fetchora: %1\n%2").arg(commandLine.error, usageText()));
        return 2;
    }
    if (commandLine.help || commandLine.version) {
        std::fputs(commandLine.help ? qPrintable(usageText())
                                    : qPrintable(QStringLiteral("fetchora %1\n").arg(QLatin1String(kVersionText))),
                   stdout);
        return 0;
    }
    const Console console(stdout, stderr, commandLine.quiet);
    const bool window = commandLine.mode == CommandLine::Mode::Window;
    // Qt would abort with a message about its platform plugins.
    if (window && !commandLine.rest.contains(QLatin1String("-platform"))
        && !hasDisplay(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"))) {
        console.say(Severity::Error, QStringLiteral("fetchora: no display to show the window on; without one, "
                                                    "run the cycle with --headless (or --once)"));
        return 2;
    }
    const QString configFolder =
        commandLine.configFolder.isEmpty() ? QString() : QDir(commandLine.configFolder).absolutePath();
    if (!configFolder.isEmpty() && !makePrivateFolder(configFolder)) {
        console.say(Severity::Error, QStringLiteral("fetchora: --config: %1 cannot be made")
                                         .arg(QDir::toNativeSeparators(configFolder)));
        return 2;
    }

    if (!window)
        // Qt's own lines (a plugin's warning) reach the journal with their priority too.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
            const Severity severity = type == QtWarningMsg ? Severity::Warning
                                      : type == QtCriticalMsg || type == QtFatalMsg ? Severity::Error
                                                                                     : Severity::Info;
            printLines(stderr, severity, text + u'\n');
        });
    constexpr int kBusAnswersMs = 1000;
    // Qt's accessibility bridge and tray ask the session bus synchronously
    // as the window starts: a bus that stopped answering would hold the
    // window for good. The window then runs without it.
    if (window) {
        const QString bus = DesktopNotifier::sessionBusAddress();
        if (!bus.isEmpty() && !DesktopNotifier::answers(bus, kBusAnswersMs)) {
            console.say(Severity::Warning, QStringLiteral("fetchora: the session bus at %1 does not answer: the window "
                                                          "runs without it (no notices, no screen reader)")
                                               .arg(bus));
            qputenv("DBUS_SESSION_BUS_ADDRESS", "");
        }
    }
    std::unique_ptr<QCoreApplication> app;
    if (window)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Fetchora"));
    if (!configFolder.isEmpty())
        provideBanner(configFolder);

    auto profile = std::make_shared<Profile>(configFolder.isEmpty() ? defaultAppFolder() : configFolder);
    profile->setService(!window);
    std::unique_ptr<PromptService> prompt;
    if (window)
        prompt = std::make_unique<MessageBoxPrompt>();
    else
        prompt = std::make_unique<StderrPrompt>(console);
    setTracePrompt(prompt.get());

    // The history window only reads the profile: it takes no lock, so it
    // opens beside the window or service that holds it.
    if (commandLine.history) {
        profile->readLanguage();
        EndSignals ends;
        QObject::connect(&ends, &EndSignals::endRequested, [] { QCoreApplication::exit(); });
        openHistoryWindow(*profile);
        const int rc = app->exec();
        setTracePrompt(nullptr);
        return rc;
    }

    // Nothing is touched before the lock is ours.
    const QString language = languageSetting(profile->settings(), !window);
    ProfileLock lock = lockProfile(*profile, languageNamed(language));
    if (!lock.taken()) {
        // A signal ends the window's box as OK would.
        std::optional<EndSignals> ends;
        if (window)
            QObject::connect(&ends.emplace(), &EndSignals::endRequested, [] { QCoreApplication::exit(); });
        // The window says it on standard error too, for whoever started it
        // from a terminal or a desktop session's log.
        console.say(Severity::Error, QStringLiteral("fetchora: ") + lock.problem);
        if (window) {
            applyToolkitLanguage(language);
            prompt->msgBox(lock.problem, mb::Information | mb::OKOnly, QString());
        }
        setTracePrompt(nullptr);
        return lock.exitCode;
    }

    const int rc = window ? runWindow(profile, *prompt)
                          : runService(*profile, *prompt, commandLine.mode == CommandLine::Mode::Once, console);
    setTracePrompt(nullptr);
    lock = {};
    // Everything of ours is done and written; what is left would wait for a
    // session bus that never answered, or for a disk that did not.
    if (DesktopNotifier::connectionHangs() || jobsStillRunning()) {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(rc);
    }
    return rc;
}
