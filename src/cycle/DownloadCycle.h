#pragma once
// The download cycle without a window: one state machine that decides what
// happens and what the main window shows. It holds one phase; the Start/Stop
// and Cancel buttons, the field locks, the timer and the caption all follow
// from it in viewFor(), and nothing else sets them. The status line and the
// bar are worded there too, from what the cycle last said (Said).
//
//   phase       Start/Stop        Cancel  fields  countdown  caption
//   Idle        "Start", usable   -       open    stopped    title
//   Counting    "Stop", usable    -       locked  runs       title [Active]
//   Fetching    "Stop"            usable  locked  runs       title [Active]
//   FirstFetch  "Stop"            usable  locked  stopped    title [Active]
//   Cancelling  "Stop", usable    -       locked  runs       title [Active]
//   Storing     "Stop"            -       locked  paused     title [Active]
//
// The phase moves only as a row of kCycleMoves below says: each event is
// looked up there for the phase the cycle is in. An event without a row is a
// fault of the cycle; it keeps its phase, fails a test and leaves a note in
// the trace.
//
// Every attempt leaves one line in history.log, whatever ends it. A failure
// is reported in a box nobody has to answer: the cycle never waits for one.
//
// Threading: everything runs on the UI thread except the storing job, which
// works on copied values (StoreRequest) and reports back through a watcher.

#include "download/FileDownload.h"
#include "core/Clock.h"
#include "store/History.h"
#include "store/Landing.h"
#include "store/Manifest.h"
#include "store/StoreJob.h"

#include <QFutureWatcher>
#include <QTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace fetchora {

struct Texts;

class PromptService;
class Profile;
class TraceScope;

enum class CyclePhase { Idle, Counting, Fetching, FirstFetch, Cancelling, Storing };

// What happens to the cycle. A transfer's reports and ends come from the
// engine; the rest from the user, the countdown and the storing job.
enum class CycleEvent {
    Start,          // Start pressed, the "Start" option off
    StartNow,       // Start pressed, the "Start" option on
    FieldsWrong,    // Start pressed with a field empty or a URL the engine will not fetch
    Stop,           // Start/Stop pressed while the cycle is on
    Due,            // the countdown ran out
    Begun,          // a transfer began
    CannotBegin,    // the due download cannot begin (its folder); nothing was given up for it
    EngineRefused,  // the engine would not begin it, after a silent transfer was given up for it
    Cancel,         // Yes to "Cancel download?", for the transfer still running
    Report,         // the running transfer began, made progress or named its version
    Body,           // the transfer brought the complete body
    Ended,          // the transfer ended any other way
    Stored,         // the storing job reported (stored, the same, failed)
    Quit,           // a quit asked for while a copy is being stored
    GiveUp,         // the storing job did not report within the bound a quit waits for it
    Unload,         // the window unloads
};

struct CycleMove {
    CyclePhase from;
    CycleEvent event;
    CyclePhase to;
};

namespace cyclemoves {
using enum CyclePhase;
using enum CycleEvent;
// Every move the cycle makes, and the only ones. What waits for a transfer or
// its copy (a Stop, a due download, a quit) keeps the phase and is applied
// once when the transfer or the job is done.
// clang-format off
inline constexpr CycleMove kCycleMoves[] = {
    // from      event          to
    {Idle,       Start,         Counting},
    {Idle,       StartNow,      FirstFetch},  // the Start procedure follows
    {Idle,       FieldsWrong,   Idle},        // its box, and what is wrong in the status line
    {Idle,       Begun,         Fetching},    // without a window, once
    {Idle,       CannotBegin,   Idle},
    {Idle,       EngineRefused, Idle},
    {Idle,       Unload,        Idle},
    {Counting,   Stop,          Idle},
    {Counting,   Due,           Counting},    // the Start procedure follows
    {Counting,   Begun,         Fetching},
    {Counting,   CannotBegin,   Counting},    // with its failed line
    {Counting,   EngineRefused, Counting},
    {Counting,   Unload,        Idle},
    {Fetching,   Stop,          Fetching},    // waits
    {Fetching,   Due,           Fetching},    // a silent transfer is given up for it, one receiving is not: it waits
    {Fetching,   Begun,         Fetching},
    {Fetching,   CannotBegin,   Fetching},    // the running transfer goes on
    {Fetching,   EngineRefused, Counting},    // the silent one is gone already
    {Fetching,   Cancel,        Cancelling},
    {Fetching,   Report,        Fetching},
    {Fetching,   Body,          Storing},
    {Fetching,   Ended,         Counting},    // not found: a Stop follows
    {Fetching,   Unload,        Idle},
    {FirstFetch, Stop,          FirstFetch},  // waits
    {FirstFetch, Begun,         FirstFetch},
    {FirstFetch, CannotBegin,   Counting},    // counts down like any other
    {FirstFetch, EngineRefused, Counting},
    {FirstFetch, Cancel,        Cancelling},
    {FirstFetch, Report,        FirstFetch},
    {FirstFetch, Body,          Storing},
    {FirstFetch, Ended,         Counting},    // not found: a Stop follows
    {FirstFetch, Unload,        Idle},
    {Cancelling, Stop,          Cancelling},  // waits
    {Cancelling, Due,           Cancelling},  // waits
    {Cancelling, Report,        Cancelling},
    {Cancelling, Body,          Storing},     // it completed as the Cancel came
    {Cancelling, Ended,         Counting},
    {Cancelling, Unload,        Idle},
    {Storing,    Stop,          Storing},     // waits
    {Storing,    Quit,          Storing},     // waits
    {Storing,    GiveUp,        Idle},        // the quit goes ahead; the attempt's line says the copy was not stored
    {Storing,    Stored,        Counting},
    {Storing,    Unload,        Idle},
};
// clang-format on
}  // namespace cyclemoves
using cyclemoves::kCycleMoves;

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
    struct Progress {
        qint64 value = 0, maximum = 100;
        bool withText = false;
        bool operator==(const Progress &) const = default;
    } progress;
    bool operator==(const CycleView &) const = default;
};

// The window the cycle runs in. Its procedures are the traced ones: the
// cycle calls them where one procedure calls another, so the trace nests as
// it always has. The window is also the component's event sink.
class CycleHost : public DownloadEvents {
public:
    virtual QString savePathText() const = 0;
    virtual QString urlText() const = 0;
    // The address as the cycle tidied it (blanks and line breaks at its ends gone).
    virtual void setUrlText(const QString &url) = 0;
    virtual void applyView(const CycleView &view) = 0;
    virtual void Start() = 0;
    virtual void cmdStart_Click() = 0;
    virtual void Timer1_Timer() = 0;
    // The storing job has reported back.
    virtual void StoreJob_Finished() = 0;
    // A quit that waited for the storing job may go ahead.
    virtual void closeNow() = 0;
};

struct CycleSetup {
    const Profile *profile = nullptr;  // required: the settings and the language; must outlive the cycle
    // The module the cycle's own reports name (the front end's, as in its trace).
    const char *module = "frmMain";
    DownloadFactory downloads;     // empty: the real engine
    const Clock *clock = nullptr;  // null: the system clock
    // Runs the storing job; empty: on a thread of its own.
    std::function<QFuture<StoreResult>(const StoreRequest &)> runJob;
    // How long a quit waits for the storing job. A disk that stops answering
    // (a network share gone, a dying drive) must not keep the program from
    // ending: the copy then stays in tmp/ and is swept at the next start.
    int quitWaitsForJobMs = 1500;
    // Told of every attempt as its line goes to history.log (for output,
    // notifications and hooks); may be empty.
    std::function<void(const HistoryEntry &)> attemptEnded;
};

class DownloadCycle : public QObject {
    Q_OBJECT
public:
    using Phase = CyclePhase;
    using Event = CycleEvent;

    DownloadCycle(CycleHost &host, PromptService &prompt, CycleSetup setup, QObject *parent = nullptr);
    // Waits for a storing job: its files must not be left half-written.
    ~DownloadCycle() override;

    // Bodies of the window's procedures; `t` is the procedure's trace scope.
    void startStop(TraceScope &t);  // cmdStart_Click
    void start(TraceScope &t);      // Start
    bool cancel(TraceScope &t);     // cmdAbort_Click; true when the user said Yes
    void tick(TraceScope &t);       // Timer1_Timer
    void urlChanged();              // txtURL_Change
    void downloadStarted(TraceScope &t);
    void progress(TraceScope &t, qint64 loaded, qint64 size);
    void showVersion(TraceScope &t, const QString &s);
    // The last event of the transfer, whichever it is: what follows depends on
    // how the transfer ended, which its result tells.
    void ended(TraceScope &t);
    void stored(TraceScope &t);  // StoreJob_Finished

    // A quit asked for now: true when it must wait for the storing job (the
    // cycle then calls closeNow() once the job has reported back, or once
    // quitWaitsForJobMs have passed without a report).
    bool holdQuit();
    // A storing job was given up at a quit and may still be running.
    bool jobAbandoned() const { return m_jobAbandoned; }
    // The window unloads: the countdown ends, and a transfer still running
    // ends with it (and gets its line).
    void unload();

    long interval() const { return m_interval; }
    void setInterval(long minutes) { m_interval = minutes; }
    bool compress() const { return m_compress; }
    void setCompress(bool on) { m_compress = on; }

    Phase phase() const { return m_phase; }
    long counter() const { return m_counter; }
    const CycleView &view() const { return m_published; }
    // What the window shows in a phase: the one place it is decided.
    CycleView viewFor(Phase phase) const;
    // Shows the view whole, as when the window (re)appears.
    void showView();

    // Told of an event that has no row in kCycleMoves for the phase it came
    // in. Empty (as in the program): a note in the trace. Tests fail on it.
    static void setIllegalMoveReport(std::function<void(const QString &why)> report);

private:
    // The interface texts of the profile's language.
    const Texts &texts() const;
    // The one writer of the phase: moves it as kCycleMoves says for `event`.
    // False, and the phase kept, when the table has no such move.
    bool apply(Event event);
    // Start pressed while the cycle is off.
    void switchOn(TraceScope &t);
    // The download due could not begin, for `why` (CannotBegin or EngineRefused).
    void unbegun(Event why);
    void clearBar();
    void publish();
    void beginCountdown();
    bool transferRunning() const;
    // The `cancelled` line of the running transfer, given up for `reason`.
    void recordLetGo(TransferResult::Kind kind, const QString &reason);
    // The download that fell due (or waited): through the Start procedure.
    void beginAttempt();
    QString historyPath() const;
    // One line of history.log for the attempt that just ended.
    void record(const QString &outcome, const TransferResult &result, const QString &detail,
                std::optional<qint64> startedMs = {});
    // The line of an attempt that fell due and could not begin.
    void recordUnbegun(long number, const QString &text);
    void endTransfer(TraceScope &t, const TransferResult &result);
    void storeBody(TraceScope &t);
    // Applies, once each, what waited for the transfer or the job.
    void drain();
    // The quit stops waiting for a storing job that has not reported.
    void giveUpJob();

    CycleHost &m_host;
    PromptService &m_prompt;
    CycleSetup m_setup;
    Phase m_phase = Phase::Idle;
    CycleView m_published;

    // What the status line and the bar last said, as viewFor() words it.
    struct Said {
        enum class Line { Nothing, Refusal, Countdown, Bytes, Aborted, Compressing, Finished };
        Line line = Line::Nothing;
        bool lineShown = false;
        QString refusal;                  // Refusal: what is wrong, as its box says it
        long secondsLeft = 0;             // Countdown
        qint64 loaded = 0, size = 0;      // Bytes: "loaded of size Bytes"
        qint64 barValue = 0, barMax = 0;  // the bar is drawn only with both above 0
    } m_said;

    long m_interval = 0;  // iC
    bool m_compress = false;
    long m_counter = 0;  // lCounter
    qint64 m_lastTickMs = 0;
    QString m_lastVersion;                    // sLastVersion: of the copy last stored
    std::optional<QString> m_pendingVersion;  // named by the transfer under way
    LastCopy m_lastCopy;
    // Whether the copy last stored is still there; forgets it when not.
    bool lastCopyThere();
    Landing m_landing;  // sFileName, sFileExt, sBaseName, sTmpFile
    std::unique_ptr<FileDownloadComponent> m_download;

    // The transfer under way, for its line and for a Cancel that must hit
    // only the transfer it was asked about.
    quint64 m_attemptCount = 0;
    struct Attempt {
        quint64 serial = 0;
        qint64 startedMs = 0;
        qint64 lastDataMs = 0;
        qint64 bytes = 0;
        TransferResult result;
    } m_attempt;

    // Inputs that wait until the transfer has ended or the copy is stored;
    // each counts once, however often it came.
    struct Waiting {
        bool stop = false;
        bool due = false;
        bool quit = false;
    } m_waiting;

    QFutureWatcher<StoreResult> m_job;
    QTimer m_quitWait;  // real time: a hung disk does not follow the cycle's clock
    std::shared_ptr<PlaceOrGiveUp> m_jobDecision;  // the running job's: its copy takes its name, or is given up
    bool m_placingWaited = false;  // a quit waited a moment more for a copy taking its name
    bool m_jobAbandoned = false;
};

}  // namespace fetchora
