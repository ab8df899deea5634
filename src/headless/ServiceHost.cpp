#include "headless/ServiceHost.h"

#include "Version.h"
#include "download/CurlDownload.h"
#include "core/EndSignals.h"
#include "core/FileSystem.h"
#include "core/Names.h"
#include "core/Profile.h"
#include "core/Texts.h"
#include "core/Trace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <systemd/sd-daemon.h>

namespace fetchora {

namespace {

const char *const kModule = "modService";
constexpr auto kUnattended = TraceScope::Report::Notice;

QString says(Language language, const char *english, const char *german)
{
    return QString::fromUtf8(language == Language::English ? english : german);
}

}  // namespace

int StderrPrompt::msgBox(const QString &text, int style, const QString &title)
{
    m_console.say(mb::iconOf(style) == mb::Critical ? Severity::Error : Severity::Warning,
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

QString unusableSettings(const Profile &profile)
{
    const Language l = profile.language();
    const QString ini = QDir::toNativeSeparators(profile.settings().file().path());
    QFile file(profile.settings().file().path());
    if (file.exists() && !file.open(QIODevice::ReadOnly))
        return says(l, "fcr.ini: %1 cannot be read", "fcr.ini: %1 kann nicht gelesen werden").arg(ini);
    const QString url = profile.settings().text(Setting::Url);
    const QString folder = profile.settings().text(Setting::SavePath);
    if (url.isEmpty())
        return says(l, "URL: no address to fetch; set URL= in [Options] of %1",
                    "URL: keine Adresse zum Laden; URL= in [Options] von %1 eintragen")
            .arg(ini);
    if (!canFetch(url))
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

ServiceHost::ServiceHost(Profile &profile, bool once, PromptService &prompt, ServiceSeams seams, QObject *parent)
    : QObject(parent), CycleProcedures(kModule), m_profile(profile), m_once(once), m_seams(std::move(seams)),
      m_console(m_seams.out, m_seams.err, m_seams.quiet),
      m_reactions(profile, [this](const QString &line) {
          m_console.say(Severity::Warning, QStringLiteral("fetchora: ") + line);
      })
{
    CycleSetup setup{.profile = &m_profile, .module = kModule, .downloads = m_seams.downloads,
                     .clock = &m_profile.clock(), .runJob = m_seams.storeJobs, .quitWaitsForJobMs = m_seams.quitWaitsForJobMs,
                     .attemptEnded = [this](const HistoryEntry &e) { attemptEnded(e); }};
    m_cycle = std::make_unique<DownloadCycle>(*this, prompt, std::move(setup));
    forwardTo(m_cycle.get());
    m_tick.setInterval(m_seams.tickMs);
    connect(&m_tick, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { cmdStart_Click(); });
    connect(&m_reactions, &AttemptReactions::idle, this, [this] {
        if (m_exitCode >= 0)
            sendFinished();
    });
}

ServiceHost::~ServiceHost() = default;

void ServiceHost::begin()
{
    TraceScope t(kModule, "Sub Service_Load", kUnattended);
    const Settings &settings = m_profile.settings();
    t.step([&] {
        m_savePath = settings.text(Setting::SavePath);
        m_url = settings.text(Setting::Url);
    });
    m_cycle->setCompress(settings.flag(t, Setting::Compress));
    m_cycle->setInterval(settings.number(t, Setting::Interval));
    if (m_once) {
        Start();
        if (m_cycle->phase() != DownloadCycle::Phase::Fetching && m_exitCode < 0) {
            m_console.say(Severity::Error, QStringLiteral("fetchora: ")
                                               + says(m_profile.language(), "the download could not begin",
                                                      "der Download konnte nicht beginnen"));
            finish(1);
        }
        return;
    }
    m_console.say(Severity::Info,
                  says(m_profile.language(), "Fetchora %1: %2 into %3 every %4 min (settings: %5)",
                       "Fetchora %1: %2 nach %3 alle %4 min (Einstellungen: %5)")
                      .arg(QLatin1String(kVersionText), displayUrl(m_url), QDir::toNativeSeparators(m_savePath))
                      .arg(m_cycle->interval())
                      .arg(QDir::toNativeSeparators(m_profile.settings().file().path())));
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
        const bool startNow = m_profile.settings().flagQuietly(Setting::StartNow);
        m_retry.start(startNow ? int(std::min<qint64>(qint64(m_cycle->interval()) * 60 * m_seams.tickMs, INT_MAX))
                               : 0);
    }
}

void ServiceHost::attemptEnded(const HistoryEntry &attempt)
{
    m_console.say(severityOf(attempt.outcome), attemptLine(attempt));
    if (!m_once)
        sd_notifyf(0, "STATUS=%s", attemptLine(attempt).toUtf8().constData());
    m_reactions.attemptEnded(attempt);
    if (m_once) {
        const bool good = attempt.outcome == QLatin1String("stored") || attempt.outcome == QLatin1String("unchanged");
        finish(good ? 0 : 1);
    }
}

void ServiceHost::end()
{
    if (m_endBy.isForever())
        m_endBy.setRemainingTime(kEndsWithinMs);
    if (!m_once)
        sd_notify(0, "STOPPING=1");
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
    // A signal ends the program within its bound, whatever a hook is doing:
    // the hook and all it started are ended, with a note.
    m_reactions.endHooks(std::min(QDeadlineTimer(kHooksEndMs), m_endBy));
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
        QMetaObject::invokeMethod(this, &ServiceHost::sendFinished, Qt::QueuedConnection);
    else if (!m_endBy.isForever())
        QTimer::singleShot(std::max<qint64>(m_endBy.remainingTime(), 0), this, &ServiceHost::sendFinished);
}

void ServiceHost::sendFinished()
{
    if (!std::exchange(m_finishedSent, true))
        emit finished(m_exitCode);
}

int runService(Profile &profile, PromptService &prompt, bool once, const Console &console)
{
    {
        TraceScope t(kModule, "Sub Main");
        openProfile(t, profile);
        t.step([&] { SetLanguage(profile); });
    }
    if (const QString problem = unusableSettings(profile); !problem.isEmpty()) {
        console.say(Severity::Error, QStringLiteral("fetchora: ") + problem);
        return 2;
    }
    ServiceSeams seams;
    seams.quiet = console.quiet();
    ServiceHost host(profile, once, prompt, seams);
    EndSignals ends;
    QObject::connect(&ends, &EndSignals::endRequested, &host, &ServiceHost::end);
    QObject::connect(&host, &ServiceHost::finished, qApp, &QCoreApplication::exit);
    host.begin();
    // The beat comes from the thread that runs the cycle: when an attempt
    // hangs it, the beats stop and systemd restarts the service.
    QTimer watchdog;
    uint64_t usec = 0;
    if (!once && sd_watchdog_enabled(0, &usec) > 0) {
        QObject::connect(&watchdog, &QTimer::timeout, [] { sd_notify(0, "WATCHDOG=1"); });
        watchdog.start(std::chrono::milliseconds(std::max<uint64_t>(usec / 2000, 1)));
    }
    if (!once)
        sd_notify(0, "READY=1");
    return QCoreApplication::exec();
}

}  // namespace fetchora
