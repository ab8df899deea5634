#pragma once
// The download cycle without a window: Start/Stop, the countdown, Cancel, the
// component's events and the storing of a finished file. It decides; the
// main window shows what it decides (CycleView) and keeps the procedure names
// the trace knows, each a short forwarder into the matching body here.
//
// Threading: everything runs on the UI thread except the storing job, which
// works on copied values (StoreRequest) and reports back through a watcher.
// While a file is being stored nothing may touch its files: a tick, a
// Start/Stop or a quit that arrives meanwhile is held and takes effect once,
// after the job has reported back.

#include "components/download/FileDownload.h"
#include "mainwindow/cycle/Clock.h"
#include "mainwindow/cycle/StoreJob.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace fetchora {

class PromptService;
class TraceScope;

// Everything of the main window that the cycle decides.
struct CycleView {
    QString windowCaption;
    QString startCaption;
    QString statusText;
    bool statusVisible = false;
    bool startEnabled = true;
    bool abortEnabled = false;
    bool fieldsEnabled = true;  // save folder, URL, Settings and Browse
    bool timerOn = false;       // the one-second countdown timer runs
    bool operator==(const CycleView &) const = default;
};

// The window the cycle runs in. The procedures are the window's traced
// ones: the cycle calls them where one procedure calls another, so the trace
// nests as it always has. The window is also the component's event sink.
class CycleHost : public DownloadEvents {
public:
    virtual QString savePathText() const = 0;
    virtual QString urlText() const = 0;
    virtual void applyView(const CycleView &view) = 0;
    virtual void Start() = 0;
    virtual void cmdStart_Click() = 0;
    virtual void Timer1_Timer() = 0;
    virtual void ShowProgress(qint64 value, qint64 minimum, qint64 maximum, bool withText) = 0;
    // The storing job has reported back.
    virtual void StoreJob_Finished() = 0;
    // A quit that waited for the storing job may go ahead.
    virtual void closeNow() = 0;
};

struct CycleSetup {
    DownloadFactory downloads;     // empty: the real engine
    const Clock *clock = nullptr;  // null: the system clock
    QString tmpFolder;             // where downloads land first, ending in "/"
    QString appFolder;             // handed to the ZIP layer
    // Runs the storing job; empty: on the thread pool.
    std::function<QFuture<StoreResult>(const StoreRequest &)> runJob;
};

class DownloadCycle : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Counting, Fetching, FirstFetch, Stalled };

    DownloadCycle(CycleHost &host, PromptService &prompt, CycleSetup setup, QObject *parent = nullptr);
    // Waits for a storing job: its files must not be left half-written.
    ~DownloadCycle() override;

    // Bodies of the window's procedures. `t` is the procedure's trace scope:
    // each step runs under its error trap and a failure skips only that step.
    void startStop(TraceScope &t);  // cmdStart_Click
    void start(TraceScope &t);      // Start
    bool cancel(TraceScope &t);     // cmdAbort_Click; true when the user said Yes
    void tick(TraceScope &t);       // Timer1_Timer
    void urlChanged();              // txtURL_Change
    void downloadStarted(TraceScope &t);
    void progress(TraceScope &t, qint64 loaded, qint64 size);
    void aborted(TraceScope &t);
    void notFound(TraceScope &t);
    void connectionError(TraceScope &t, long number, const QString &descr);
    void downloadError(TraceScope &t, long number, const QString &descr);
    void showVersion(TraceScope &t, const QString &s);
    void finished(TraceScope &t);
    void stored(TraceScope &t);  // StoreJob_Finished

    // A quit asked for now: true when it must wait for the storing job (the
    // cycle then calls closeNow() once the job has reported back).
    bool holdQuit();
    // The window unloads: the transfer and the countdown end with it.
    void unload();
    // The window's caption outside the cycle's own changes (load, minimise).
    void setWindowCaption(const QString &caption);

    long interval() const { return m_interval; }
    void setInterval(long minutes) { m_interval = minutes; }
    bool compress() const { return m_compress; }
    void setCompress(bool on) { m_compress = on; }

    State state() const;
    bool storing() const { return m_storing; }
    long counter() const { return m_counter; }
    const CycleView &view() const { return m_published; }

private:
    void publish();
    void lockFields(bool locked);
    QString historyPath() const;
    // One line of history.log for the attempt that just ended.
    void record(const QString &outcome, const QString &detail, const QString &sha256 = {});
    void runHeld();

    CycleHost &m_host;
    PromptService &m_prompt;
    CycleSetup m_setup;
    CycleView m_view;
    CycleView m_published;

    long m_interval = 0;                      // iC
    bool m_active = false;                    // bActive
    bool m_startedNow = false;                // bStartedNow
    bool m_compress = false;                  // bCompress
    long m_counter = 0;                       // lCounter
    QString m_lastVersion;                    // sLastVersion: of the copy last stored
    std::optional<QString> m_pendingVersion;  // named by the transfer under way
    QString m_fileName, m_fileExt, m_baseName, m_tmpFile;
    std::unique_ptr<FileDownloadComponent> m_download;
    // Between an accepted StartDownload and the event that ends it. The
    // instance itself may stay held after an error, until the next Start.
    bool m_running = false;

    // The attempt under way, for its line in history.log.
    struct Attempt {
        qint64 startedMs = 0;
        bool answeredSame = false;
        TransferOutcome outcome;
    } m_attempt;
    QByteArray m_lastBodyHash;  // of the copy last stored
    qint64 m_lastTickMs = 0;

    bool m_storing = false;
    StoreResult m_storeResult;
    QFutureWatcher<StoreResult> m_job;
    bool m_tickHeld = false;
    bool m_clickHeld = false;
    bool m_quitHeld = false;
};

}  // namespace fetchora
