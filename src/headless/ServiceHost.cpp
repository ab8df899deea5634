#include "headless/ServiceHost.h"

#include "Version.h"
#include "core/Options.h"
#include "core/CommandLine.h"
#include "core/Conversions.h"
#include "core/EndSignals.h"
#include "core/FileSystem.h"
#include "core/Names.h"
#include "core/Profile.h"
#include "core/IniFile.h"
#include "core/Texts.h"
#include "core/Trace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace fetchora {

namespace {

const char *const kModule = "modService";
constexpr auto kUnattended = TraceScope::Report::Notice;

QString says(Language language, const char *english, const char *german)
{
    return QString::fromUtf8(language == Language::English ? english : german);
}

// One line, whole, as journald and a person read it.
void printLine(FILE *stream, QString line)
{
    line.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(u'\n', u' ').replace(u'\r', u' ');
    std::fputs((line + u'\n').toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

bool fetchable(const QString &url)
{
    QString u = url.trimmed();
    if (!u.contains(QLatin1String("://")))
        u.prepend(QLatin1String("http://"));
    const QUrl parsed(u);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && !parsed.host().isEmpty()
           && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

}  // namespace

int StderrPrompt::msgBox(const QString &text, int style, const QString &title)
{
    printLine(stderr,
              QStringLiteral("fetchora: ") + (title.isEmpty() ? QString() : title + QStringLiteral(": ")) + text);
    switch (mb::buttonsOf(style)) {
    case mb::YesNo:
    case mb::YesNoCancel: return mb::No;
    case mb::AbortRetryIgnore: return mb::Ignore;
    case mb::OKCancel:
    case mb::RetryCancel: return mb::Cancel;
    default: return mb::OK;
    }
}

QString unusableSettings(Language l)
{
    const QString ini = QDir::toNativeSeparators(strINIFile);
    QFile file(strINIFile);
    if (file.exists() && !file.open(QIODevice::ReadOnly))
        return says(l, "fcr.ini: %1 cannot be read", "fcr.ini: %1 kann nicht gelesen werden").arg(ini);
    const QString url = GetINIString("Options", "URL", "", 256);
    const QString folder = GetINIString("Options", "SavePath", "", 256);
    if (url.isEmpty())
        return says(l, "URL: no address to fetch; set URL= in [Options] of %1",
                    "URL: keine Adresse zum Laden; URL= in [Options] von %1 eintragen")
            .arg(ini);
    if (!fetchable(url))
        return says(l, "URL: %1 is not an http or https address", "URL: %1 ist keine http- oder https-Adresse")
            .arg(displayUrl(url));
    if (folder.isEmpty())
        return says(l, "SavePath: no folder for the copies; set SavePath= in [Options] of %1",
                    "SavePath: kein Ordner für die Kopien; SavePath= in [Options] von %1 eintragen")
            .arg(ini);
    if (!QFileInfo(folder).isDir())
        return says(l, "SavePath: the folder %1 does not exist", "SavePath: den Ordner %1 gibt es nicht")
            .arg(QDir::toNativeSeparators(folder));
    return {};
}

ServiceHost::ServiceHost(bool once, PromptService &prompt, QObject *parent)
    : QObject(parent), m_once(once), m_reactions(appFolder() + QStringLiteral("/history.log"), [](const QString &line) {
          printLine(stdout, QStringLiteral("fetchora: ") + line);
      })
{
    CycleSetup setup;
    setup.tmpFolder = appFolder() + QStringLiteral("/tmp/");
    setup.appFolder = appFolder();
    setup.attemptEnded = [this](const HistoryEntry &e) { attemptEnded(e); };
    m_cycle = std::make_unique<DownloadCycle>(*this, prompt, std::move(setup));
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &ServiceHost::Timer1_Timer);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &ServiceHost::cmdStart_Click);
    connect(&m_reactions, &AttemptReactions::idle, this, [this] {
        if (m_exitCode >= 0)
            emit finished(m_exitCode);
    });
}

ServiceHost::~ServiceHost() = default;

void ServiceHost::begin()
{
    TraceScope t(kModule, "Sub Service_Load", kUnattended);
    t.step([&] {
        m_savePath = GetINIString("Options", "SavePath", "", 256);
        m_url = GetINIString("Options", "URL", "", 256);
    });
    t.step([&] { m_cycle->setCompress(CBool(GetINIString("Options", "Compress", "False", 256))); });
    t.step([&] { m_cycle->setInterval(CLng(GetINIString("Options", "Intervall", "1", 256))); });
    t.step([&] { m_cycle->setInterval(std::max(1L, m_cycle->interval())); });
    if (m_once) {
        Start();
        if (m_cycle->phase() != DownloadCycle::Phase::Fetching && m_exitCode < 0) {
            printLine(stderr, QStringLiteral("fetchora: ")
                                  + says(interfaceLanguage(), "the download could not begin",
                                         "der Download konnte nicht beginnen"));
            finish(1);
        }
        return;
    }
    printLine(stdout, says(interfaceLanguage(), "Fetchora %1: %2 into %3 every %4 min (settings: %5)",
                           "Fetchora %1: %2 nach %3 alle %4 min (Einstellungen: %5)")
                          .arg(QLatin1String(kVersionText), displayUrl(m_url), QDir::toNativeSeparators(m_savePath))
                          .arg(m_cycle->interval())
                          .arg(QDir::toNativeSeparators(strINIFile)));
    cmdStart_Click();
}

void ServiceHost::applyView(const CycleView &view)
{
    if (m_once || m_ending)
        return;
    if (view.timerOn != m_tick.isActive())
        view.timerOn ? m_tick.start() : m_tick.stop();
    // A missing file stops the cycle in the window, where the user looks at
    // the address. Nobody looks here: the cycle goes on, and the next attempt
    // comes an interval on (with "Start" on, switching on would bring it at once).
    if (m_cycle && m_cycle->phase() == DownloadCycle::Phase::Idle && !m_retry.isActive()) {
        bool startNow = false;
        try {
            startNow = CBool(optionText("Start", "0"));
        } catch (const RuntimeError &) {
        }
        m_retry.start(startNow ? int(std::min<qint64>(qint64(m_cycle->interval()) * 60000, INT_MAX)) : 0);
    }
}

void ServiceHost::attemptEnded(const HistoryEntry &attempt)
{
    printLine(stdout, attemptLine(attempt));
    m_reactions.attemptEnded(attempt);
    if (m_once) {
        const bool good = attempt.outcome == QLatin1String("stored") || attempt.outcome == QLatin1String("unchanged");
        finish(good ? 0 : 1);
    }
}

void ServiceHost::end()
{
    if (m_cycle->holdQuit())
        return;  // closeNow() follows once the copy is in place
    closeNow();
}

void ServiceHost::closeNow()
{
    m_ending = true;
    m_tick.stop();
    m_retry.stop();
    m_cycle->unload();
    finish(m_once ? 1 : 0);
}

void ServiceHost::finish(int exitCode)
{
    if (m_exitCode >= 0)
        return;
    m_exitCode = exitCode;
    m_ending = true;
    m_tick.stop();
    m_retry.stop();
    if (!m_reactions.busy())
        QMetaObject::invokeMethod(
            this, [this] { emit finished(m_exitCode); }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// The cycle's procedures, as the window has them.

void ServiceHost::cmdStart_Click()
{
    TraceScope t(kModule, "Sub cmdStart_Click", kUnattended);
    m_cycle->startStop(t);
}

void ServiceHost::Start()
{
    TraceScope t(kModule, "Sub Start", kUnattended);
    m_cycle->start(t);
}

void ServiceHost::Timer1_Timer()
{
    TraceScope t(kModule, "Sub Timer1_Timer", kUnattended);
    m_cycle->tick(t);
}

void ServiceHost::StoreJob_Finished()
{
    TraceScope t(kModule, "Sub StoreJob_Finished", kUnattended);
    m_cycle->stored(t);
}

void ServiceHost::FileDownload_Start()
{
    TraceScope t(kModule, "Sub FileDownload_Start", kUnattended);
    m_cycle->downloadStarted(t);
}

void ServiceHost::FileDownload_Progress(qint64 BytesLoaded, qint64 FileSize)
{
    TraceScope t(kModule, "Sub FileDownload_Progress", kUnattended);
    m_cycle->progress(t, BytesLoaded, FileSize);
}

void ServiceHost::FileDownload_ShowVersion(const QString &s)
{
    TraceScope t(kModule, "Sub FileDownload_ShowVersion", kUnattended);
    m_cycle->showVersion(t, s);
}

void ServiceHost::FileDownload_Abort()
{
    TraceScope t(kModule, "Sub FileDownload_Abort", kUnattended);
    m_cycle->ended(t);
}

void ServiceHost::FileDownload_NotFound()
{
    TraceScope t(kModule, "Sub FileDownload_NotFound", kUnattended);
    m_cycle->ended(t);
}

void ServiceHost::FileDownload_ConnectionError(long Number, const QString &Descr)
{
    TraceScope t(kModule, "Sub FileDownload_ConnectionError", kUnattended);
    m_cycle->ended(t);
}

void ServiceHost::FileDownload_DownloadError(long Number, const QString &Descr)
{
    TraceScope t(kModule, "Sub FileDownload_DownloadError", kUnattended);
    m_cycle->ended(t);
}

void ServiceHost::FileDownload_Finished()
{
    TraceScope t(kModule, "Sub FileDownload_Finished", kUnattended);
    m_cycle->ended(t);
}

// ---------------------------------------------------------------------------

int runService(int &argc, char **argv, const CommandLine &commandLine)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Fetchora"));
    if (!commandLine.configFolder.isEmpty())
        useAppFolder(appFolder());  // made absolute and private by main()
    StderrPrompt prompt;
    setTracePrompt(&prompt);

    QDir().mkpath(appFolder());
    strINIFile = appFolder() + QStringLiteral("/fcr.ini");
    QLockFile lock(appFolder() + QStringLiteral("/fcr.lock"));
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host, program;
        lock.getLockInfo(&pid, &host, &program);
        const QString language = GetINIString("Global", "Language", "Deutsch", 256);
        printLine(stderr, QStringLiteral("fetchora: ")
                              + alreadyRunningText(language).arg(QDir::toNativeSeparators(appFolder()))
                              + says(languageNamed(language), " (process %1, %2 on %3)", " (Prozess %1, %2 auf %3)")
                                    .arg(pid)
                                    .arg(program, host));
        return 1;
    }
    {
        TraceScope t(kModule, "Sub Main");
        t.step([&] { makeAppFilesPrivate(t.module(), t.procedure()); });
        t.step([] { strLanguage = GetINIString("Global", "Language", "Deutsch", 256); });
        t.step([] { objFSO = std::make_unique<FileSystem>(interfaceLanguage()); });
        t.step([] { SetLanguage(); });
    }
    if (const QString problem = unusableSettings(interfaceLanguage()); !problem.isEmpty()) {
        printLine(stderr, QStringLiteral("fetchora: ") + problem);
        return 2;
    }
    ServiceHost host(commandLine.mode == CommandLine::Mode::Once, prompt);
    EndSignals ends;
    QObject::connect(&ends, &EndSignals::endRequested, &host, &ServiceHost::end);
    QObject::connect(&host, &ServiceHost::finished, &app, &QCoreApplication::exit);
    host.begin();
    const int rc = QCoreApplication::exec();
    setTracePrompt(nullptr);
    return rc;
}

}  // namespace fetchora
