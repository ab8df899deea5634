#pragma once
// What follows an attempt besides its history line, in the window and in the
// service alike: a desktop notice when downloads begin to fail and when they
// work again (never one per failed attempt; with Notify=2 also one per
// stored copy), and the hook the user named for it.

#include "store/History.h"
#include "reactions/Hooks.h"
#include "reactions/Notifier.h"

#include <QHash>
#include <functional>

namespace fetchora {

class Profile;

// How long the end of the program gives the hooks still running: they are
// asked to end, killed halfway, and the program must be gone within 2 s of a
// signal whatever they do.
inline constexpr int kHooksEndMs = 1000;
// All the service waits for after a signal (the copy being stored, hooks,
// notices on their way) ends by then, leaving the rest of the 2 s to exit.
inline constexpr int kEndsWithinMs = 1800;

enum class Notice { None, Failing, Working, Stored };

// The notice an attempt calls for at notification level `level` (0 none, 1
// failures and recovery, 2 also every stored copy). `failing` says whether
// the attempts before it were failing, and follows this one. A cancelled
// attempt changes nothing.
Notice noticeFor(const QString &outcome, int level, bool &failing);

// Summary and body of a notice, password masked.
std::pair<QString, QString> noticeText(Notice notice, const HistoryEntry &attempt, Language language);

// Whether the last attempt history.log records (a cancelled one aside)
// failed, so a restarted program neither repeats nor misses a notice.
bool lastAttemptFailed(const QString &historyPath);

// One line of output for an attempt: the time, the outcome, the size, the
// copy or the error, and the URL with any password masked.
QString attemptLine(const HistoryEntry &attempt);

class AttemptReactions : public QObject {
    Q_OBJECT
public:
    // `say` gets the lines of the hooks (skipped, went wrong). The profile
    // must outlive this.
    AttemptReactions(const Profile &profile, std::function<void(const QString &)> say, QObject *parent = nullptr);

    // Reads Notify, OnStored, OnFailed and HookTimeout from the settings now.
    void attemptEnded(const HistoryEntry &attempt);
    // A hook runs or a notice is on its way.
    bool busy() const { return m_hooks.busy() || m_notifier.busy(); }
    // For the owner about to end: every hook ends, with all it started,
    // before `deadline` (HookRunner::endAll).
    void endHooks(QDeadlineTimer deadline) { m_hooks.endAll(deadline); }

signals:
    void idle();

private:
    int level() const;

    const Profile &m_profile;
    std::function<void(const QString &)> m_say;
    DesktopNotifier m_notifier;
    HookRunner m_hooks;
    bool m_failing = false;
    QHash<QString, bool> m_hookFailing;  // by key, as m_failing
};

}  // namespace fetchora
