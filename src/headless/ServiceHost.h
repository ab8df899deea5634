#pragma once
// The download cycle with no window: --headless runs it until a signal ends
// the program, --once makes one attempt and ends. Settings, copies,
// history.log, retention and the lock are the window's. Every attempt is one
// line: a result on standard output, a failure on standard error; what the
// window would show in a box is a line on standard error, and nothing waits
// for an answer.

#include "cycle/CycleProcedures.h"
#include "reactions/Console.h"
#include "reactions/Reactions.h"
#include "core/PromptService.h"

#include <QDeadlineTimer>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

namespace fetchora {

class Profile;

// Boxes as lines on standard error. A question gets its safe answer (No,
// Ignore, Cancel) at once.
class StderrPrompt final : public PromptService {
public:
    explicit StderrPrompt(const Console &console) : m_console(console) {}
    int msgBox(const QString &text, int style, const QString &title) override;
    bool plainErrorReports() const override { return true; }

private:
    const Console &m_console;
};

// What makes the settings unusable for a run with no window, as one line
// naming the key; empty when they will do. The address is checked by the
// engine's own test, the one every attempt meets.
QString unusableSettings(const Profile &profile);

// What the service is given from outside. Tests pass fakes.
struct ServiceSeams {
    DownloadFactory downloads;     // empty: the real engine
    // One "second" of the countdown; a test that keeps the time itself makes
    // it long and fires the timers itself (countdownTimer, retryTimer).
    int tickMs = 1000;
    // Runs the job that stores a finished download; empty: on a thread of its own.
    std::function<QFuture<StoreResult>(const StoreRequest &)> storeJobs;
    int quitWaitsForJobMs = 1500;  // how long a quit waits for that job
    FILE *out = stdout;  // the results
    FILE *err = stderr;  // failures, warnings, and what the window would show in a box
    bool quiet = false;  // no results
};

class ServiceHost : public QObject, public CycleProcedures {
    Q_OBJECT
public:
    ServiceHost(Profile &profile, bool once, PromptService &prompt, ServiceSeams seams = {},
                QObject *parent = nullptr);
    ~ServiceHost() override;

    // Reads the settings and switches the cycle on, or makes the one attempt.
    void begin();
    // A signal asked the program to end: a copy being stored is finished first.
    void end();

    const DownloadCycle &cycle() const { return *m_cycle; }
    QTimer &countdownTimer() { return m_tick; }
    // Brings the next attempt after a missing file stopped the cycle.
    QTimer &retryTimer() { return m_retry; }

signals:
    // The program may end with this status.
    void finished(int exitCode);

private:
    QString savePathText() const override { return m_savePath; }
    QString urlText() const override { return m_url; }
    void setUrlText(const QString &url) override { m_url = url; }
    void applyView(const CycleView &view) override;
    void closeNow() override;
    void attemptEnded(const HistoryEntry &attempt);
    // Ends with `exitCode` once the hooks and notices are done; the first
    // status given counts.
    void finish(int exitCode);
    void sendFinished();

    Profile &m_profile;
    const bool m_once;
    const ServiceSeams m_seams;
    QString m_savePath, m_url;
    QTimer m_tick;   // the cycle's one-second countdown
    QTimer m_retry;  // a cycle a missing file stopped goes on one interval later
    bool m_ending = false;
    int m_exitCode = -1;  // -1: running
    bool m_finishedSent = false;
    // After a signal, everything left (a copy, hooks, notices on a bus that
    // stopped answering) shares one bound; otherwise each has its own.
    QDeadlineTimer m_endBy{QDeadlineTimer::Forever};
    const Console m_console;
    AttemptReactions m_reactions;
    std::unique_ptr<DownloadCycle> m_cycle;
};

// The whole run of --headless and --once, from a locked profile on. Under
// systemd (Type=notify) --headless says when it is ready and, while the
// cycle's own thread comes round, that it is alive: a hung cycle is restarted.
int runService(Profile &profile, PromptService &prompt, bool once, const Console &console);

}  // namespace fetchora
