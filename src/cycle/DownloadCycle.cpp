#include "cycle/DownloadCycle.h"

#include "download/CurlDownload.h"
#include "cycle/CycleTexts.h"
#include "store/History.h"
#include "core/FileSystem.h"
#include "core/HandOver.h"
#include "core/Names.h"
#include "core/Profile.h"
#include "core/Texts.h"
#include "core/PromptService.h"
#include "core/Trace.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>
#include <utility>

namespace fetchora {

namespace {

using Phase = DownloadCycle::Phase;
using Event = DownloadCycle::Event;
using Kind = TransferResult::Kind;

// A transfer that brought no data for this long when the next download is
// due is given up for it; one still receiving finishes first.
constexpr qint64 kSilentMs = 10000;

// A quit that gave up waiting for the copy gives one already taking its name
// this long more: a rename and a flush, inside the end's bound.
constexpr int kPlacingWaitMs = 200;

// For the note of a move the table does not have.
constexpr const char *kPhaseNames[] = {"Idle", "Counting", "Fetching", "FirstFetch", "Cancelling", "Storing"};
constexpr const char *kEventNames[] = {"Start", "StartNow",    "FieldsWrong",   "Stop",   "Due",
                                       "Begun", "CannotBegin", "EngineRefused", "Cancel", "Report",
                                       "Body",  "Ended",       "Stored",        "Quit",   "GiveUp", "Unload"};
static_assert(std::size(kPhaseNames) == size_t(Phase::Storing) + 1);
static_assert(std::size(kEventNames) == size_t(Event::Unload) + 1);

// An event moves a phase one way only, so the table can be looked up.
constexpr bool eachMoveOnce()
{
    for (auto a = std::begin(kCycleMoves); a != std::end(kCycleMoves); ++a)
        for (auto b = a + 1; b != std::end(kCycleMoves); ++b)
            if (a->from == b->from && a->event == b->event)
                return false;
    return true;
}
static_assert(eachMoveOnce());

std::function<void(const QString &)> &illegalMoveReport()
{
    static std::function<void(const QString &)> report;
    return report;
}

}  // namespace

DownloadCycle::DownloadCycle(CycleHost &host, PromptService &prompt, CycleSetup setup, QObject *parent)
    : QObject(parent), m_host(host), m_prompt(prompt), m_setup(std::move(setup))
{
    if (!m_setup.downloads)
        m_setup.downloads = defaultDownloadFactory();
    if (!m_setup.clock)
        m_setup.clock = &systemClock();
    if (!m_setup.runJob)
        m_setup.runJob = [](const StoreRequest &r) { return runOffUiThread(storeFinishedFile, r); };
    // Queued, so the report runs as an event of its own and never inside the
    // procedure that started the job.
    connect(
        &m_job, &QFutureWatcherBase::finished, this, [this] { m_host.StoreJob_Finished(); }, Qt::QueuedConnection);
    m_quitWait.setSingleShot(true);
    connect(&m_quitWait, &QTimer::timeout, this, [this] { giveUpJob(); });
}

// A job still running here was given up at a quit: its report, handed back
// to the UI thread, finds nobody, and the process does not wait for it.
DownloadCycle::~DownloadCycle()
{
    m_job.disconnect(this);
}

CycleView DownloadCycle::viewFor(Phase phase) const
{
    const bool on = phase != Phase::Idle;
    CycleView v;
    v.windowCaption = on ? texts().capTitle + QLatin1Char(' ') + texts().capActive : texts().capTitle;
    v.startCaption = on ? texts().capStop : texts().capStart;
    v.startEnabled = phase == Phase::Idle || phase == Phase::Counting || phase == Phase::Cancelling;
    v.abortEnabled = phase == Phase::Fetching || phase == Phase::FirstFetch;
    v.fieldsEnabled = !on;
    v.timerOn = phase == Phase::Counting || phase == Phase::Fetching || phase == Phase::Cancelling;
    using Line = Said::Line;
    switch (m_said.line) {
    case Line::Nothing: break;
    case Line::Refusal: v.statusText = m_said.refusal; break;
    case Line::Countdown: v.statusText = countdownText(texts(), m_said.secondsLeft); break;
    case Line::Bytes: v.statusText = bytesText(texts(), m_said.loaded, m_said.size); break;
    case Line::Aborted: v.statusText = texts().msgAborted; break;
    case Line::Compressing: v.statusText = texts().capCompressing; break;
    case Line::Finished: v.statusText = texts().msgFinished; break;
    }
    v.statusVisible = m_said.lineShown;
    if (m_said.barValue > 0 && m_said.barMax >= 1)
        v.progress = {m_said.barValue, m_said.barMax, true};
    return v;
}

bool DownloadCycle::apply(Event event)
{
    const auto move =
        std::ranges::find_if(kCycleMoves, [&](const CycleMove &m) { return m.from == m_phase && m.event == event; });
    if (move == std::end(kCycleMoves)) {
        const QString why = QStringLiteral("move from %1 on %2 is not in the table")
                                .arg(QLatin1String(kPhaseNames[int(m_phase)]), QLatin1String(kEventNames[int(event)]));
        if (illegalMoveReport())
            illegalMoveReport()(why);
        else
            TraceNote(QStringLiteral("DownloadCycle"), QStringLiteral("apply"), why);
        return false;
    }
    m_phase = move->to;
    return true;
}

void DownloadCycle::setIllegalMoveReport(std::function<void(const QString &)> report)
{
    illegalMoveReport() = std::move(report);
}

void DownloadCycle::clearBar()
{
    m_said.barValue = m_said.barMax = 0;
}

void DownloadCycle::publish()
{
    const CycleView v = viewFor(m_phase);
    if (v == m_published)
        return;
    m_published = v;
    m_host.applyView(v);
}

void DownloadCycle::showView()
{
    m_published = viewFor(m_phase);
    m_host.applyView(m_published);
}

void DownloadCycle::beginCountdown()
{
    m_lastTickMs = m_setup.clock->elapsedMs();
}

bool DownloadCycle::transferRunning() const
{
    return m_download && (m_phase == Phase::Fetching || m_phase == Phase::FirstFetch || m_phase == Phase::Cancelling);
}

void DownloadCycle::startStop(TraceScope &t)
{
    switch (m_phase) {
    case Phase::Idle: return switchOn(t);
    case Phase::Counting:
        t.step([&] {
            apply(Event::Stop);
            m_counter = 0;
            m_waiting = {};
            m_said.lineShown = false;
            clearBar();
        });
        publish();
        return;
    default:  // a transfer or its copy is still on its way: the cycle stops after it
        apply(Event::Stop);
        m_waiting.stop = true;
        return;
    }
}

void DownloadCycle::switchOn(TraceScope &t)
{
    // A pasted address often brings a blank or a line break along.
    const QString url = m_host.urlText().trimmed();
    if (url != m_host.urlText())
        m_host.setUrlText(url);
    // What is wrong stays in the status line too, for a box that came up
    // unseen (a start from the command line into the tray).
    const auto refuse = [&](const QString &status, const QString &text, int icon, const QString &title) {
        apply(Event::FieldsWrong);
        m_said.line = Said::Line::Refusal;
        m_said.refusal = status;
        m_said.lineShown = true;
        publish();
        t.step([&] { m_prompt.notify(text, icon | mb::OKOnly, title); });
    };
    if (m_host.savePathText().isEmpty())
        return refuse(texts().msgNoFolder, texts().msgNoFolder, mb::Information, QString());
    if (url.isEmpty())
        return refuse(texts().msgNoURL, texts().msgNoURL, mb::Information, QString());
    if (!canFetch(url))
        return refuse(texts().msgInvalidURL, invalidUrlText(texts(), url), mb::Exclamation, texts().msgInvalidURL);
    const bool startNow = m_setup.profile->settings().flag(t, Setting::StartNow);
    m_counter = 0;
    m_said.lineShown = false;
    if (!startNow) {
        apply(Event::Start);
        beginCountdown();
        publish();
        return;
    }
    // The Start procedure falls back to counting when the first download
    // cannot begin.
    apply(Event::StartNow);
    publish();
    t.step([&] { m_host.Start(); });
}

void DownloadCycle::beginAttempt()
{
    m_counter = 0;
    clearBar();
    m_host.Start();
}

void DownloadCycle::start(TraceScope &t)
{
    const QString folder = m_host.savePathText();
    const QString url = m_host.urlText();
    Refusal refusal;
    t.step([&] { refusal = cannotBegin(texts(), m_setup.profile->files(), folder, url, m_setup.profile->tmpFolder()); });
    if (!refusal.box.isEmpty()) {
        recordUnbegun(err::PathNotFound, refusal.detail);
        unbegun(Event::CannotBegin);
        t.step([&] { m_prompt.notify(refusal.box, mb::Information | mb::OKOnly, QString()); });
        return;
    }

    t.step([&] {
        // A silent transfer given up for this one goes first, with its line,
        // so the sweep cannot pull a .part file from under it.
        if (transferRunning())
            recordLetGo(Kind::Replaced, replacedReason(m_setup.profile->language()));
        m_download.reset();
        m_pendingVersion.reset();
    });
    m_landing = prepareLanding(t, m_setup.profile->files(), url, m_setup.profile->folder(), m_setup.profile->tmpFolder());
    appendNotes(historyPath(), m_setup.clock->now(), url, m_landing.notes);
    bool started = false;
    t.step([&] {
        m_download = m_setup.downloads(&m_host);
        m_attempt = {};
        m_attempt.serial = ++m_attemptCount;
        m_attempt.startedMs = m_attempt.lastDataMs = m_setup.clock->elapsedMs();
        // Only a version of a stored copy can make the request conditional.
        if (!m_lastVersion.isEmpty() && lastCopyThere() && m_setup.profile->settings().flag(t, Setting::CheckVersion))
            m_download->setStoredVersion(m_lastVersion);
        m_download->setLanguage(m_setup.profile->language());
        // Read quietly: a key most profiles never set adds no lines to the session's trace.
        m_download->setCaFile(m_setup.profile->settings().textQuietly(Setting::CaFile));
        started = m_download->StartDownload(url, m_landing.tmpFile);
    });
    if (!started) {
        m_download.reset();
        recordUnbegun(0, couldNotBeginReason(m_setup.profile->language(), url));
        return unbegun(Event::EngineRefused);
    }
    apply(Event::Begun);
    publish();
}

void DownloadCycle::unbegun(Event why)
{
    // A first download that cannot begin counts down like any other, so the
    // next attempt comes one interval later instead of never.
    const bool first = m_phase == Phase::FirstFetch;
    apply(why);
    if (first)
        beginCountdown();
    publish();
}

bool DownloadCycle::cancel(TraceScope &t)
{
    // The answer counts only for the transfer it was asked about: one that
    // ends while the question is open is not cancelled, nor the next one.
    const quint64 asked = m_attempt.serial;
    int answer = mb::No;
    t.step(
        [&] { answer = m_prompt.msgBox(texts().msgAbortQuery, mb::Question | mb::YesNo | mb::DefaultButton2, texts().capDownload); });
    if (answer != mb::Yes)
        return false;
    if ((m_phase != Phase::Fetching && m_phase != Phase::FirstFetch) || m_attempt.serial != asked)
        return true;
    t.step([&] { m_download->AbortDownload(); });
    if (m_phase == Phase::FirstFetch)
        beginCountdown();
    apply(Event::Cancel);
    m_said.line = Said::Line::Aborted;
    clearBar();
    publish();
    return true;
}

void DownloadCycle::tick(TraceScope &t)
{
    if (!viewFor(m_phase).timerOn)
        return;
    t.step([&] {
        // Normally one second a tick. After a gap (the machine slept, the
        // process was stopped) the countdown takes the time that really
        // passed, so a download due meanwhile comes now; just one.
        const qint64 now = m_setup.clock->elapsedMs();
        const qint64 gapMs = now - m_lastTickMs;
        m_lastTickMs = now;
        if (m_waiting.due)
            return;
        m_counter += gapMs >= 2500 ? long(gapMs / 1000) : 1;
        // A missing, zero or negative interval still downloads once a minute,
        // and an interval shortened while counting is due at once: the
        // countdown never shows less than 1.
        const long total = std::max(1L, m_interval) * 60;
        if (m_counter < total) {
            m_said.lineShown = true;
            m_said.line = Said::Line::Countdown;
            m_said.secondsLeft = total - m_counter;
            publish();
            return;
        }
        apply(Event::Due);
        const bool silent = now - m_attempt.lastDataMs >= kSilentMs;
        if (m_phase == Phase::Counting || (m_phase == Phase::Fetching && silent)) {
            beginAttempt();
        } else {
            m_counter = 0;
            m_waiting.due = true;
        }
        publish();
    });
}

bool DownloadCycle::lastCopyThere()
{
    if (m_lastCopy.there(m_host.savePathText(), m_compress))
        return true;
    m_lastCopy = {};
    m_lastVersion.clear();
    return false;
}

void DownloadCycle::urlChanged()
{
    m_lastVersion.clear();
    m_pendingVersion.reset();
}

void DownloadCycle::downloadStarted(TraceScope &t)
{
    if (!apply(Event::Report))
        return;
    t.step([&] { m_said.lineShown = true; });
    publish();
}

void DownloadCycle::progress(TraceScope &t, qint64 loaded, qint64 size)
{
    if (!apply(Event::Report))
        return;
    t.step([&] {
        m_said.line = Said::Line::Bytes;
        m_said.loaded = m_said.barValue = loaded;
        m_said.size = m_said.barMax = size;
        if (loaded > m_attempt.bytes)
            m_attempt.lastDataMs = m_setup.clock->elapsedMs();
        m_attempt.bytes = loaded;
    });
    publish();
}

void DownloadCycle::showVersion(TraceScope &t, const QString &s)
{
    if (!apply(Event::Report))
        return;
    if (!m_setup.profile->settings().flag(t, Setting::CheckVersion))
        return;
    t.step([&] {
        bool same = s == m_lastVersion && lastCopyThere();
        if (m_download)
            m_download->SameVersion(same);
    });
    // Remembered only once a copy of it is stored (or it was already the
    // stored one), so a transfer or store that fails tries again next time.
    m_pendingVersion = s;
}

void DownloadCycle::ended(TraceScope &t)
{
    if (!transferRunning())
        return;
    endTransfer(t, m_download->result());
}

void DownloadCycle::endTransfer(TraceScope &t, const TransferResult &result)
{
    const bool first = m_phase == Phase::FirstFetch;
    m_attempt.result = result;
    // The component stays alive until its event call has returned; its
    // destructor guarantees that nothing more of it arrives.
    t.step([&] { m_download.reset(); });
    if (first)
        beginCountdown();
    switch (result.kind) {
    case Kind::Body: return storeBody(t);
    case Kind::NotModified: record(QStringLiteral("unchanged"), result, QString()); break;
    case Kind::Cancelled:
    case Kind::Replaced: record(QStringLiteral("cancelled"), result, result.text); break;
    case Kind::NotFound: record(QStringLiteral("not-found"), result, result.numberText()); break;
    default: record(QStringLiteral("failed"), result, result.numberText() + u' ' + result.text); break;
    }
    apply(Event::Ended);
    publish();
    if (result.kind == Kind::NotFound) {
        // The cycle ends; the user has to look at the address.
        m_waiting = {};
        t.step([&] { m_host.cmdStart_Click(); });
        t.step([&] { m_prompt.notify(notFoundText(texts()), mb::Exclamation | mb::OKOnly, texts().msgInvalidURL); });
        return;
    }
    if (result.kind == Kind::HttpError || result.kind == Kind::ConnectionError || result.kind == Kind::LocalError) {
        const long number =
            result.errorNumber ? result.errorNumber : (result.curlCode ? result.curlCode : long(result.httpStatus));
        if (m_setup.profile->settings().flag(t, Setting::ShowErrors))
            t.step([&] {
                m_prompt.notify(connectErrorText(texts(), number, result.text), mb::Critical | mb::OKOnly, connectErrorTitle(texts()));
            });
    }
    drain();
}

void DownloadCycle::storeBody(TraceScope &t)
{
    FinishedDownload d;
    d.settings = &m_setup.profile->settings();
    // Absolute and clean: a hook, history.log and the manifest name the copy
    // the same way whatever folder the program was started in.
    d.folder = QDir::cleanPath(QDir(m_host.savePathText()).absolutePath());
    d.baseName = m_landing.baseName;
    d.ext = m_landing.ext;
    d.tmpFile = m_landing.tmpFile;
    d.url = m_host.urlText();
    d.appFolder = m_setup.profile->folder();
    d.compress = m_compress;
    d.now = m_setup.clock->now();
    d.language = m_setup.profile->language();
    StoreRequest request = prepareStore(t, d);
    request.sha256 = m_attempt.result.sha256;
    // The whole body came, even when a Cancel was confirmed as it completed.
    m_said.line = m_compress ? Said::Line::Compressing : Said::Line::Bytes;
    m_said.loaded = m_said.size = m_attempt.result.bytes;
    // A body equal to the stored copy's is not stored again, whatever
    // version the server gives it, as long as that copy is still there.
    const QByteArray &sha = m_attempt.result.sha256;
    if (m_lastCopy.path.isEmpty() && !m_compress)
        m_lastCopy = lastCopyIn(manifestIn(m_setup.profile->folder()), m_host.savePathText(), displayUrl(m_host.urlText()));
    const bool sameBody = !sha.isEmpty() && sha == m_lastCopy.bodySha256 && lastCopyThere();
    request.unchanged = sameBody && m_setup.profile->settings().flag(t, Setting::CheckVersion);
    request.unchangedCopy = m_lastCopy.path;
    apply(Event::Body);
    publish();
    request.decision = m_jobDecision = std::make_shared<PlaceOrGiveUp>();
    m_placingWaited = false;
    m_job.setFuture(m_setup.runJob(request));
}

void DownloadCycle::stored(TraceScope &t)
{
    if (m_phase != Phase::Storing)
        return;
    m_quitWait.stop();
    const StoreResult result = m_job.result();
    TransferResult attempt = m_attempt.result;
    if (result.ok() && m_pendingVersion)
        m_lastVersion = *m_pendingVersion;
    if (result.unchanged) {
        record(QStringLiteral("unchanged"), attempt, QString());
    } else if (result.ok()) {
        attempt.sha256 = result.sha256.toLatin1();
        record(QStringLiteral("stored"), attempt, result.storedPath);
        m_lastCopy = {result.storedPath, m_host.savePathText(), QFileInfo(result.storedPath).size(),
                      m_attempt.result.sha256, m_compress};
    } else {
        attempt.errorNumber = result.number;
        record(QStringLiteral("failed"), attempt,
               QStringLiteral("err %1 %2").arg(result.number).arg(result.description));
    }
    appendNotes(historyPath(), m_setup.clock->now(), m_host.urlText(), result.notes);
    // The storing phase ends before anything is reported: a box must never
    // hold the countdown.
    apply(Event::Stored);
    m_said.line = Said::Line::Finished;
    clearBar();
    publish();
    if (!result.ok()) {
        // Reported as the handler that started the job, as the user has
        // always seen it; the download stays in tmp/ until the next attempt.
        TraceErrorNotice(QLatin1String(m_setup.module), QStringLiteral("Sub FileDownload_Finished"),
                         RuntimeError(result.number, result.description));
    }
    drain();
}

void DownloadCycle::drain()
{
    const Waiting waiting = std::exchange(m_waiting, {});
    if (waiting.quit) {
        QMetaObject::invokeMethod(
            this, [this] { m_host.closeNow(); }, Qt::QueuedConnection);
        return;
    }
    if (m_phase != Phase::Counting)
        return;
    if (waiting.stop)
        m_host.cmdStart_Click();
    else if (waiting.due)
        beginAttempt();
}

void DownloadCycle::unload()
{
    if (transferRunning())
        recordLetGo(Kind::Cancelled, programEndedReason(m_setup.profile->language()));
    m_download.reset();
    apply(Event::Unload);
    publish();
}

void DownloadCycle::record(const QString &outcome, const TransferResult &result, const QString &detail,
                           std::optional<qint64> startedMs)
{
    HistoryEntry e;
    e.at = m_setup.clock->now();
    e.outcome = outcome;
    e.httpStatus = result.httpStatus;
    e.bytes = result.bytes;
    e.seconds = double(m_setup.clock->elapsedMs() - startedMs.value_or(m_attempt.startedMs)) / 1000.0;
    e.sha256 = outcome == QLatin1String("stored") ? QString::fromLatin1(result.sha256) : QString();
    e.detail = detail;
    e.url = m_host.urlText();
    appendHistory(historyPath(), e);
    if (m_setup.attemptEnded)
        m_setup.attemptEnded(e);
}

void DownloadCycle::recordLetGo(Kind kind, const QString &reason)
{
    TransferResult gone = m_download->result();
    gone.kind = kind;
    gone.bytes = m_attempt.bytes;
    record(QStringLiteral("cancelled"), gone, reason);
}

void DownloadCycle::recordUnbegun(long number, const QString &text)
{
    TransferResult none;
    none.kind = Kind::LocalError;
    none.errorNumber = number;
    record(QStringLiteral("failed"), none, number ? none.numberText() + u' ' + text : text, m_setup.clock->elapsedMs());
}

bool DownloadCycle::holdQuit()
{
    if (m_phase != Phase::Storing)
        return false;
    apply(Event::Quit);
    m_waiting.quit = true;
    if (!m_quitWait.isActive())
        m_quitWait.start(m_setup.quitWaitsForJobMs);
    return true;
}

void DownloadCycle::giveUpJob()
{
    if (m_phase != Phase::Storing || !m_waiting.quit)
        return;
    // A copy already taking its name is there in a moment, and its own line
    // must say so; only a disk that stops answering right then is given up.
    if (m_jobDecision && !m_jobDecision->giveUp() && !std::exchange(m_placingWaited, true)) {
        m_quitWait.start(kPlacingWaitMs);
        return;
    }
    m_jobAbandoned = true;
    m_job.disconnect(this);
    record(QStringLiteral("failed"), m_attempt.result, storeNotFinishedReason(m_setup.profile->language()));
    apply(Event::GiveUp);
    drain();
}

const Texts &DownloadCycle::texts() const
{
    return m_setup.profile->texts();
}

QString DownloadCycle::historyPath() const
{
    return m_setup.profile->historyPath();
}

}  // namespace fetchora
