#pragma once
// Hooks: a program the user names in fcr.ini (OnStored=, OnFailed=), started
// after an attempt with what it came to in its environment. The command is
// split into words as a shell would split it, quotes included, but no shell
// runs it: nothing in a URL or a file name can become a command.
//
// A hook never holds the cycle up: it runs beside it, one at a time (one due
// while another runs is skipped, with a line). It leads a process group of
// its own, and the group ends with it: what it left running when it ended,
// and all of it when it runs out of time or the program ends (SIGTERM, then
// SIGKILL after kGraceMs). A hook that cannot start, fails or is ended is
// reported once; the attempt stays as it was.

#include "store/History.h"
#include "core/RuntimeError.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <optional>
#include <sys/types.h>

class QProcess;
class QTimer;

namespace fetchora {

// Words as sh splits them: blanks separate; '…' keeps everything; "…" keeps
// everything but \" \\ \$ \`; a backslash outside quotes keeps the next
// character. No expansion of any kind. None when a quote is left open.
std::optional<QStringList> splitShellWords(const QString &command);

// The command line of hook `key` as the settings file at `iniPath` holds it,
// given `read`, the value its reader gave. That reader drops one pair of
// enclosing quotes, which in a command line belong to its words
// ("/x/on stored.sh" is one word, so is each in "/x/a b" "c d"): when the
// line in [Options] is `read` inside one pair of quotes, that line counts.
QString hookCommand(const QString &iniPath, const QString &key, const QString &read);

// FETCHORA_OUTCOME, _FILE (the stored copy), _URL (password masked), _STATUS,
// _BYTES, _SHA256 and _ERROR of an attempt.
QList<std::pair<QString, QString>> hookVariables(const HistoryEntry &attempt);

inline constexpr int kDefaultHookTimeoutSec = 60;
// From SIGTERM to SIGKILL for a group being ended, and again from SIGKILL
// to giving up on one that still does not go.
inline constexpr int kGraceMs = 2000;

class HookRunner : public QObject {
    Q_OBJECT
public:
    explicit HookRunner(QObject *parent = nullptr);
    // A hook still running ends with the program (endAll, without reports).
    ~HookRunner() override;

    // Starts `command` (named after its key, "OnStored") for the attempt.
    void run(const QString &key, const QString &command, const HistoryEntry &attempt, int timeoutSec,
             Language language);
    // A hook runs, or what one started is still being ended.
    bool busy() const { return m_process != nullptr || !m_ending.isEmpty(); }
    // Ends every hook and all it started before `deadline`: SIGTERM, SIGKILL
    // for what is left halfway there. A hook ended so is reported as failed.
    // Waits (for the deadline at most); for the owner that is about to end.
    void endAll(QDeadlineTimer deadline);

signals:
    // A line for the output: a hook skipped, or one that went wrong.
    void said(const QString &line);
    // Once for every hook when it has ended: `problem` is empty when it ran
    // well, else the line that says what went wrong.
    void ended(const QString &key, const QString &problem);
    // No hook runs any more.
    void idle();

private:
    void done(const QString &problem);
    // SIGTERM to the group, SIGKILL at `killAt` if it still runs then.
    void endGroup(pid_t group, QDeadlineTimer killAt);
    // Follows the groups being ended; true when none is left.
    bool followEnding();
    void endGroups(QDeadlineTimer deadline);

    struct Ending {
        pid_t group;
        QDeadlineTimer killAt;
        bool killed = false;
    };

    QProcess *m_process = nullptr;
    pid_t m_group = 0;       // the running hook's
    QList<Ending> m_ending;  // groups sent SIGTERM, followed until they are gone
    QTimer *m_timer = nullptr;
    QTimer *m_follow = nullptr;
    QString m_key;
    QString m_shown;  // the command as the reports name it
    int m_timeoutSec = kDefaultHookTimeoutSec;
    bool m_timedOut = false;
    Language m_language = Language::German;
};

}  // namespace fetchora
