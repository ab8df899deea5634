#include "cycle/DownloadCycle.h"

#include "components/download/classFileDownload.h"
#include "components/zip/modZIP32vb.h"
#include "cycle/History.h"
#include "cycle/StoredFileName.h"
#include "startup/Conversions.h"
#include "startup/FileSystem.h"
#include "startup/Names.h"
#include "startup/modGlobal.h"
#include "startup/modINIHandler.h"
#include "startup/modText.h"
#include "trace/PromptService.h"
#include "trace/modTraceLITE.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

namespace fetchora {

namespace {

QString activeCaption()
{
    return capTitle + QLatin1Char(' ') + capActive;
}

// Copies stored into tmp/ would be swept away as leftovers by the next Start.
bool isTmpFolder(const QString &folder, const QString &tmpFolder)
{
    return QFileInfo(folder).canonicalFilePath() == QFileInfo(tmpFolder).canonicalFilePath();
}

// Options are read where they are used, so a saved change applies at once.
QString option(const char *key, const char *fallback)
{
    return GetINIString(QStringLiteral("Options"), QLatin1String(key), QLatin1String(fallback), 256);
}

bool optionOn(const char *key, const char *fallback)
{
    return CBool(option(key, fallback));
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
        m_setup.runJob = [](const StoreRequest &r) { return QtConcurrent::run(storeFinishedFile, r); };
    // Queued, so the report runs as an event of its own and never inside the
    // procedure that started the job.
    connect(
        &m_job, &QFutureWatcherBase::finished, this, [this] { m_host.StoreJob_Finished(); }, Qt::QueuedConnection);
}

DownloadCycle::~DownloadCycle()
{
    m_job.disconnect(this);
    m_job.waitForFinished();
}

DownloadCycle::State DownloadCycle::state() const
{
    if (!m_active)
        return State::Idle;
    if (m_running)
        return m_view.timerOn ? State::Fetching : State::FirstFetch;
    return m_view.timerOn ? State::Counting : State::Stalled;
}

void DownloadCycle::publish()
{
    CycleView shown = m_view;
    // The file being stored is out of reach of Start, Stop and Cancel.
    if (m_storing)
        shown.startEnabled = shown.abortEnabled = false;
    if (shown == m_published)
        return;
    // Time before the countdown (re)starts is not time it counted.
    if (shown.timerOn && !m_published.timerOn)
        m_lastTickMs = m_setup.clock->elapsedMs();
    m_published = shown;
    m_host.applyView(shown);
}

void DownloadCycle::lockFields(bool locked)
{
    m_view.fieldsEnabled = !locked;
    m_view.windowCaption = locked ? activeCaption() : capTitle;
}

void DownloadCycle::setWindowCaption(const QString &caption)
{
    m_view.windowCaption = caption;
    publish();
}

void DownloadCycle::startStop(TraceScope &t)
{
    if (m_storing) {
        m_clickHeld = true;
        return;
    }
    if (m_active) {
        t.step([&] {
            m_active = false;
            m_view.timerOn = false;
            m_counter = 0;
            // A first download still running finishes into a stopped cycle:
            // it must not switch the countdown on again.
            m_startedNow = false;
        });
        t.step([&] {
            m_view.startCaption = capStart;
            m_view.statusVisible = false;
            m_view.abortEnabled = false;
        });
        t.step([&] { m_view.fieldsEnabled = true; });
        t.step([&] { m_host.ShowProgress(0, 0, 100, false); });
        t.step([&] { m_view.windowCaption = capTitle; });
        publish();
        return;
    }

    if (m_host.savePathText().isEmpty()) {
        t.step([&] { m_prompt.notify(msgNoFolder, mb::Information | mb::OKOnly, QString()); });
        return;
    }
    if (m_host.urlText().isEmpty()) {
        t.step([&] { m_prompt.notify(msgNoURL, mb::Information | mb::OKOnly, QString()); });
        return;
    }
    bool startNow = false;
    t.step([&] { m_active = true; });
    t.step([&] { startNow = optionOn("Start", "0"); });
    t.step([&] {
        lockFields(true);
        m_view.startCaption = capStop;
    });
    publish();
    t.step([&] {
        if (startNow)
            m_host.Start();
        // A first download that could not even begin counts down like any
        // other, so the next attempt comes one interval later.
        m_startedNow = startNow && m_running;
        m_view.timerOn = !m_startedNow;
    });
    publish();
}

void DownloadCycle::start(TraceScope &t)
{
    t.step([&] { m_view.startEnabled = false; });
    QString message;
    t.step([&] {
        if (m_host.savePathText().isEmpty())
            message = msgNoFolder;
        else if (!objFSO->FolderExists(m_host.savePathText()) || isTmpFolder(m_host.savePathText(), m_setup.tmpFolder))
            message = msgFolderMissing;
        else if (m_host.urlText().isEmpty())
            message = msgNoURL;
    });
    if (!message.isEmpty()) {
        // A rejected start gives the Start/Stop button back, so the user is
        // never left without a way to stop or retry.
        m_view.startEnabled = true;
        publish();
        t.step([&] { m_prompt.notify(message, mb::Information | mb::OKOnly, QString()); });
        return;
    }

    const QString url = m_host.urlText();
    t.step([&] {
        const UrlFileName name = fileNameFromUrl(url);
        m_fileName = name.fileName;
        m_fileExt = name.ext;
        m_baseName = name.baseName;
    });
    t.step([&] {
        if (!objFSO->FolderExists(m_setup.tmpFolder))
            objFSO->CreateFolder(m_setup.tmpFolder);
    });
    t.step([&] {
        // The transfer being replaced goes first, so the sweep cannot pull
        // a .part file from under it.
        m_download.reset();
        m_running = false;
        m_pendingVersion.reset();
        appendNotes(historyPath(), m_setup.clock->now(), m_host.urlText(),
                    removeLeftovers(m_setup.appFolder, m_setup.tmpFolder));
    });
    t.step([&] {
        m_tmpFile = m_setup.tmpFolder + m_fileName;
        if (objFSO->FileExists(m_tmpFile))
            objFSO->DeleteFile(m_tmpFile, false);
    });
    bool started = false;
    m_attempt = {};
    m_attempt.startedMs = m_setup.clock->elapsedMs();
    t.step([&] {
        m_download = m_setup.downloads(&m_host);
        // Only a version of a stored copy can make the request conditional.
        if (!m_lastVersion.isEmpty() && optionOn("CheckVersion", "False"))
            m_download->setStoredVersion(m_lastVersion);
        m_download->setLanguage(interfaceLanguage());
        started = m_download->StartDownload(url, m_tmpFile);
    });
    t.step([&] {
        m_running = started;
        if (started) {
            m_view.abortEnabled = true;
        } else {
            m_download.reset();
            m_view.startEnabled = true;
        }
    });
    publish();
}

void DownloadCycle::cancel(TraceScope &t)
{
    int answer = mb::No;
    t.step(
        [&] { answer = m_prompt.msgBox(msgAbortQuery, mb::Question | mb::YesNo | mb::DefaultButton2, capDownload); });
    if (answer != mb::Yes)
        return;
    t.step([&] {
        if (m_download)
            m_download->AbortDownload();
    });
    t.step([&] {
        m_view.statusText = msgAborted;
        m_view.abortEnabled = false;
        m_view.startEnabled = true;
    });
    t.step([&] { m_host.ShowProgress(0, 0, 100, true); });
    publish();
}

void DownloadCycle::tick(TraceScope &t)
{
    if (m_storing) {
        m_tickHeld = true;
        return;
    }
    t.step([&] {
        // Normally one second a tick. After a gap (the machine slept, the
        // process was stopped) the countdown takes the time that really
        // passed, so a download due meanwhile comes now; just one.
        const qint64 now = m_setup.clock->elapsedMs();
        const qint64 gapMs = now - m_lastTickMs;
        m_lastTickMs = now;
        m_counter += gapMs >= 2500 ? long(gapMs / 1000) : 1;
        // A missing, zero or negative interval still downloads once a minute,
        // and an interval shortened while counting is due at once: the
        // countdown never shows less than 1.
        const long total = std::max(1L, m_interval) * 60;
        if (m_counter < total) {
            m_view.statusVisible = true;
            m_view.statusText = QString::number(total - m_counter) + QLatin1Char(' ') + capSecondsToNext;
            m_view.windowCaption = activeCaption();
            publish();
        } else {
            m_host.Start();
            m_counter = 0;
            m_host.ShowProgress(0, 0, 100, false);
        }
    });
}

void DownloadCycle::urlChanged()
{
    m_lastVersion.clear();
    m_pendingVersion.reset();
}

void DownloadCycle::downloadStarted(TraceScope &t)
{
    t.step([&] { m_view.statusVisible = true; });
    publish();
}

void DownloadCycle::progress(TraceScope &t, qint64 loaded, qint64 size)
{
    t.step([&] {
        m_view.statusText = QString::number(loaded) + QLatin1Char(' ') + capOf + QLatin1Char(' ')
                            + QString::number(size) + QLatin1Char(' ') + capBytes;
    });
    publish();
    t.step([&] { m_host.ShowProgress(loaded, 0, size, true); });
}

void DownloadCycle::aborted(TraceScope &t)
{
    m_running = false;
    record(m_attempt.answeredSame ? QStringLiteral("unchanged") : QStringLiteral("cancelled"), QString());
    t.step([&] {
        if (m_active) {
            m_view.timerOn = true;
            m_view.abortEnabled = false;
            m_view.startCaption = capStop;
        } else {
            m_view.startCaption = capStart;
        }
        // An unchanged remote file also ends this way, without a Cancel that
        // would have given the button back.
        m_view.startEnabled = true;
    });
    publish();
}

void DownloadCycle::notFound(TraceScope &t)
{
    m_running = false;
    record(QStringLiteral("not-found"), QStringLiteral("404"));
    t.step([&] {
        if (m_active)
            m_host.cmdStart_Click();
    });
    // Back in Idle the user must be able to start again.
    t.step([&] { m_view.startEnabled = true; });
    publish();
    t.step([&] {
        m_prompt.notify(msgFileNotFound + QStringLiteral("\r\nHTTP Code 404\r\n\r\n") + msgCheckURL,
                        mb::Exclamation | mb::OKOnly, msgInvalidURL);
    });
}

void DownloadCycle::connectionError(TraceScope &t, long number, const QString &descr)
{
    m_running = false;
    record(QStringLiteral("failed"), QString::number(number) + u' ' + descr);
    // Without the button a failed transfer would leave no working Start/Stop.
    m_view.startEnabled = true;
    // A failed first download starts the countdown: the next attempt comes
    // one interval later instead of never.
    if (std::exchange(m_startedNow, false))
        m_view.timerOn = m_active;
    publish();
    t.step([&] {
        if (optionOn("ShowErrors", "0"))
            m_prompt.notify(msgConnectError + QStringLiteral("!\r\nError: ") + QString::number(number)
                                + QStringLiteral("\r\n") + descr,
                            mb::Critical | mb::OKOnly, capTitle + QStringLiteral(" - ") + msgConnectErrorTitle);
    });
}

void DownloadCycle::downloadError(TraceScope &t, long number, const QString &descr)
{
    connectionError(t, number, descr);
}

void DownloadCycle::showVersion(TraceScope &t, const QString &s)
{
    bool check = false;
    t.step([&] { check = optionOn("CheckVersion", "False"); });
    if (!check)
        return;
    t.step([&] {
        bool same = (s == m_lastVersion);
        m_attempt.answeredSame = same;
        if (m_download)
            m_download->SameVersion(same);
    });
    // Remembered only once a copy of it is stored (or it was already the
    // stored one), so a transfer or store that fails tries again next time.
    t.step([&] { m_pendingVersion = s; });
}

void DownloadCycle::finished(TraceScope &t)
{
    m_running = false;
    // The component stays alive until its event call has returned; its
    // destructor guarantees that nothing more of it arrives.
    if (m_download)
        m_attempt.outcome = m_download->outcome();
    t.step([&] { m_download.reset(); });
    t.step([&] {
        if (m_active)
            m_view.abortEnabled = false;
    });
    m_storing = true;
    t.step([&] { zip::SetLanguage(1); });
    StoreRequest request;
    t.step([&] {
        request.rate = CLng(option("CompRate", "6"));
        zip::SetCompressionRate(request.rate);
    });
    QString date, time;
    t.step([&] {
        const QLocale locale = fileStampLocale();
        const QDateTime now = m_setup.clock->now();
        date = stampText(shortDateText(now.date(), locale));
        time = stampText(longTimeText(now.time(), locale));
    });
    request.tmpFile = m_tmpFile;
    request.sha256 = m_attempt.outcome.sha256;
    request.compress = m_compress;
    t.step([&] {
        const bool mode1 = optionOn("Mode1", "1");
        const StoredPaths paths = storedPaths(m_host.savePathText(), m_baseName, m_fileExt, mode1, date, time);
        request.archivePath = paths.archivePath;
        request.targetPath = paths.targetPath;
        request.keepOthers = mode1;
    });
    t.step([&] { zip::SaveFolderLocation(m_setup.appFolder); });
    if (m_compress) {
        t.step([&] { m_view.statusText = capCompressing; });
        t.step([&] { request.password = option("Pwd", ""); });
    }
    t.step([&] { request.keepCopies = CLng(option("KeepCopies", "0")); });
    t.step([&] { request.keepDays = CLng(option("KeepDays", "0")); });
    request.appFolder = m_setup.appFolder;
    request.url = m_host.urlText();
    request.folder = m_host.savePathText();
    request.now = m_setup.clock->now();
    request.language = interfaceLanguage();
    // A server that names no version: a body equal to the stored copy's is
    // not stored again.
    const bool sameBody =
        !m_pendingVersion && !m_attempt.outcome.sha256.isEmpty() && m_attempt.outcome.sha256 == m_lastBodyHash;
    t.step([&] { request.unchanged = sameBody && optionOn("CheckVersion", "False"); });
    publish();
    m_job.setFuture(m_setup.runJob(request));
}

void DownloadCycle::stored(TraceScope &t)
{
    const StoreResult result = m_job.result();
    appendNotes(historyPath(), m_setup.clock->now(), m_host.urlText(), result.notes);
    if (!result.ok()) {
        // Reported as the handler that started the job, as the user has
        // always seen it; the download stays in tmp/.
        t.step([&] {
            TraceError(QStringLiteral("frmMain"), QStringLiteral("Sub FileDownload_Finished"),
                       RuntimeError(result.number, result.description));
        });
    }
    if (result.ok() && m_pendingVersion)
        m_lastVersion = *m_pendingVersion;
    if (result.unchanged)
        record(QStringLiteral("unchanged"), QString());
    else if (result.ok())
        record(QStringLiteral("stored"), result.storedPath, result.sha256);
    else
        record(QStringLiteral("failed"), QString::number(result.number) + u' ' + result.description);
    if (result.ok() && !result.unchanged)
        m_lastBodyHash = m_attempt.outcome.sha256;
    t.step([&] { m_view.statusText = msgFinished; });
    t.step([&] {
        if (m_startedNow) {
            m_startedNow = false;
            m_view.timerOn = true;
            lockFields(true);
            m_view.startCaption = capStop;
        }
    });
    m_storing = false;
    t.step([&] { m_view.startEnabled = true; });
    publish();
    t.step([&] { m_host.ShowProgress(0, 0, 100, false); });
    runHeld();
}

void DownloadCycle::unload()
{
    m_view.timerOn = false;
    m_download.reset();
    m_running = false;
    publish();
}

QString DownloadCycle::historyPath() const
{
    return m_setup.appFolder + QStringLiteral("/history.log");
}

void DownloadCycle::record(const QString &outcome, const QString &detail, const QString &sha256)
{
    if (m_download)
        m_attempt.outcome = m_download->outcome();
    HistoryEntry e;
    e.at = m_setup.clock->now();
    e.outcome = outcome;
    e.httpStatus = m_attempt.outcome.httpStatus;
    e.bytes = m_attempt.outcome.bytes;
    e.seconds = double(m_setup.clock->elapsedMs() - m_attempt.startedMs) / 1000.0;
    e.sha256 = sha256;
    e.detail = detail;
    e.url = m_host.urlText();
    appendHistory(historyPath(), e);
}

bool DownloadCycle::holdQuit()
{
    if (m_storing)
        m_quitHeld = true;
    return m_storing;
}

void DownloadCycle::runHeld()
{
    // Each held input counts once, whatever number of them arrived, and runs
    // as an event of its own after this report.
    const bool quit = std::exchange(m_quitHeld, false);
    const bool click = std::exchange(m_clickHeld, false);
    const bool tick = std::exchange(m_tickHeld, false);
    if (quit) {
        QMetaObject::invokeMethod(
            this, [this] { m_host.closeNow(); }, Qt::QueuedConnection);
        return;
    }
    if (click)
        QMetaObject::invokeMethod(
            this, [this] { m_host.cmdStart_Click(); }, Qt::QueuedConnection);
    else if (tick)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_view.timerOn && !m_storing)
                    m_host.Timer1_Timer();
            },
            Qt::QueuedConnection);
}

}  // namespace fetchora
