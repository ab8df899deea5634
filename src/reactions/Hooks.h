#pragma once
// Hooks: a program the user names in fcr.ini (OnStored=, OnFailed=), started
// after an attempt with what it came to in its environment. The command is
// split into words as a shell would split it, quotes included, but no shell
// runs it: nothing in a URL or a file name can become a command.
//
// A hook never holds the cycle up: it runs beside it, one at a time (one due
// while another runs is skipped, with a line), and one still running after
// its time is ended with everything it started. A hook that cannot start,
// fails or runs out of time is reported once; the attempt stays as it was.

#include "store/History.h"
#include "core/RuntimeError.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <optional>

class QProcess;
class QTimer;

namespace fetchora {

// Words as sh splits them: blanks separate; '…' keeps everything; "…" keeps
// everything but \" \\ \$ \`; a backslash outside quotes keeps the next
// character. No expansion of any kind. None when a quote is left open.
std::optional<QStringList> splitShellWords(const QString &command);

// FETCHORA_OUTCOME, _FILE (the stored copy), _URL (password masked), _STATUS,
// _BYTES, _SHA256 and _ERROR of an attempt.
QList<std::pair<QString, QString>> hookVariables(const HistoryEntry &attempt);

inline constexpr int kDefaultHookTimeoutSec = 60;

class HookRunner : public QObject {
    Q_OBJECT
public:
    explicit HookRunner(QObject *parent = nullptr);
    // A hook still running ends with the program.
    ~HookRunner() override;

    // Starts `command` (named after its key, "OnStored") for the attempt.
    void run(const QString &key, const QString &command, const HistoryEntry &attempt, int timeoutSec,
             Language language);
    bool busy() const { return m_process != nullptr; }

signals:
    // A line for the output: a hook skipped, or one that went wrong.
    void said(const QString &line);
    // Once for every hook that went wrong.
    void failed(const QString &text);
    // No hook runs any more.
    void idle();

private:
    void done(const QString &problem);
    void endGroup();

    QProcess *m_process = nullptr;
    QTimer *m_timer = nullptr;
    QString m_key;
    QString m_shown;  // the command as the reports name it
    int m_timeoutSec = kDefaultHookTimeoutSec;
    bool m_timedOut = false;
    Language m_language = Language::German;
};

}  // namespace fetchora
