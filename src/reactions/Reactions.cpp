#include "reactions/Reactions.h"

#include "core/Names.h"
#include "core/Profile.h"

#include <QFile>

namespace fetchora {

namespace {

bool isFailure(const QString &outcome)
{
    return outcome == QLatin1String("failed") || outcome == QLatin1String("not-found");
}

bool isSuccess(const QString &outcome)
{
    return outcome == QLatin1String("stored") || outcome == QLatin1String("unchanged");
}

QString says(Language language, const char *english, const char *german)
{
    return QString::fromUtf8(language == Language::English ? english : german);
}

}  // namespace

Notice noticeFor(const QString &outcome, int level, bool &failing)
{
    if (isFailure(outcome)) {
        const bool began = !std::exchange(failing, true);
        return began && level >= 1 ? Notice::Failing : Notice::None;
    }
    if (!isSuccess(outcome))
        return Notice::None;
    if (std::exchange(failing, false) && level >= 1)
        return Notice::Working;
    return level >= 2 && outcome == QLatin1String("stored") ? Notice::Stored : Notice::None;
}

std::pair<QString, QString> noticeText(Notice notice, const HistoryEntry &a, Language l)
{
    const QString url = displayUrl(a.url);
    const QString what = a.outcome == QLatin1String("unchanged") ? says(l, "unchanged", "unverändert") : a.detail;
    switch (notice) {
    case Notice::Failing:
        return {says(l, "Fetchora: downloads are failing", "Fetchora: Downloads schlagen fehl"),
                url + u'\n' + a.detail};
    case Notice::Working:
        return {says(l, "Fetchora: downloads work again", "Fetchora: Downloads funktionieren wieder"),
                url + u'\n' + what};
    case Notice::Stored: return {says(l, "Fetchora: copy stored", "Fetchora: Kopie gespeichert"), url + u'\n' + what};
    case Notice::None: break;
    }
    return {};
}

bool lastAttemptFailed(const QString &historyPath)
{
    for (const QString &path : {historyPath, historyPath + QStringLiteral(".1")}) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
            const QString outcome = HistoryEntry::parse(QString::fromUtf8(*it)).outcome;
            if (isFailure(outcome) || isSuccess(outcome))
                return isFailure(outcome);
        }
    }
    return false;
}

QString attemptLine(const HistoryEntry &a)
{
    QString line = a.at.toOffsetFromUtc(a.at.offsetFromUtc()).toString(Qt::ISODate) + u' ' + a.outcome
                   + QStringLiteral(", %1 bytes").arg(a.bytes);
    if (!a.detail.isEmpty())
        line += QStringLiteral(", ") + a.detail;
    line += QStringLiteral(", ") + displayUrl(a.url);
    return line.replace(u'\r', u' ').replace(u'\n', u' ');
}

AttemptReactions::AttemptReactions(const Profile &profile, std::function<void(const QString &)> say, QObject *parent)
    : QObject(parent), m_profile(profile), m_say(std::move(say)), m_failing(lastAttemptFailed(profile.historyPath()))
{
    connect(&m_hooks, &HookRunner::said, this, [this](const QString &line) { m_say(line); });
    // A hook that goes wrong is told as failing downloads are: once, until it
    // runs well again or the downloads begin or stop failing. A restarted
    // program in an outage it already told takes OnFailed's as told too.
    m_hookFailing[QStringLiteral("OnFailed")] = m_failing;
    connect(&m_hooks, &HookRunner::ended, this, [this](const QString &key, const QString &problem) {
        const QString outcome = problem.isEmpty() ? QStringLiteral("stored") : QStringLiteral("failed");
        if (noticeFor(outcome, level(), m_hookFailing[key]) == Notice::Failing)
            m_notifier.show(says(m_profile.language(), "Fetchora: hook failed", "Fetchora: Hook fehlgeschlagen"),
                            problem);
    });
    const auto settle = [this] {
        if (!busy())
            emit idle();
    };
    connect(&m_hooks, &HookRunner::idle, this, settle);
    connect(&m_notifier, &DesktopNotifier::idle, this, settle);
}

int AttemptReactions::level() const
{
    return int(m_profile.settings().numberQuietly(Setting::Notify));
}

void AttemptReactions::attemptEnded(const HistoryEntry &attempt)
{
    const Language language = m_profile.language();
    const bool wasFailing = m_failing;
    const Notice notice = noticeFor(attempt.outcome, level(), m_failing);
    if (m_failing != wasFailing)
        m_hookFailing.clear();
    if (notice != Notice::None) {
        const auto [summary, body] = noticeText(notice, attempt, language);
        m_notifier.show(summary, body, notice == Notice::Working);
    }
    const std::optional<Setting> hook = attempt.outcome == QLatin1String("stored") ? std::optional(Setting::OnStored)
                                        : isFailure(attempt.outcome) ? std::optional(Setting::OnFailed)
                                                                     : std::nullopt;
    if (!hook)
        return;
    const Settings &settings = m_profile.settings();
    const QString key = QLatin1String(rowOf(*hook).name);
    const QString command = hookCommand(settings.file().path(), key, settings.textQuietly(*hook));
    if (!command.trimmed().isEmpty())
        m_hooks.run(key, command, attempt, int(settings.numberQuietly(Setting::HookTimeout)), language);
}

}  // namespace fetchora
