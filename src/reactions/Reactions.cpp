#include "reactions/Reactions.h"

#include "core/Names.h"
#include "core/Profile.h"
#include "core/IniFile.h"

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

QString option(const char *key)
{
    return readINIQuietly(QStringLiteral("Options"), QLatin1String(key), QString());
}

// A number from fcr.ini; what does not read as one gives the default.
int optionInt(const char *key, int fallback)
{
    bool ok = false;
    const int n = option(key).trimmed().toInt(&ok);
    return ok ? n : fallback;
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

AttemptReactions::AttemptReactions(const QString &historyPath, std::function<void(const QString &)> say,
                                   QObject *parent)
    : QObject(parent), m_say(std::move(say)), m_failing(lastAttemptFailed(historyPath))
{
    connect(&m_hooks, &HookRunner::said, this, [this](const QString &line) { m_say(line); });
    // A hook that goes wrong is told as failing downloads are: once, until it
    // runs well again or the downloads begin or stop failing. A restarted
    // program in an outage it already told takes OnFailed's as told too.
    m_hookFailing[QStringLiteral("OnFailed")] = m_failing;
    connect(&m_hooks, &HookRunner::ended, this, [this](const QString &key, const QString &problem) {
        const QString outcome = problem.isEmpty() ? QStringLiteral("stored") : QStringLiteral("failed");
        if (noticeFor(outcome, level(), m_hookFailing[key]) == Notice::Failing)
            m_notifier.show(says(interfaceLanguage(), "Fetchora: hook failed", "Fetchora: Hook fehlgeschlagen"),
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
    return optionInt("Notify", 1);
}

void AttemptReactions::attemptEnded(const HistoryEntry &attempt)
{
    const Language language = interfaceLanguage();
    const bool wasFailing = m_failing;
    const Notice notice = noticeFor(attempt.outcome, level(), m_failing);
    if (m_failing != wasFailing)
        m_hookFailing.clear();
    if (notice != Notice::None) {
        const auto [summary, body] = noticeText(notice, attempt, language);
        m_notifier.show(summary, body, notice == Notice::Working);
    }
    const char *key = attempt.outcome == QLatin1String("stored") ? "OnStored"
                      : isFailure(attempt.outcome)               ? "OnFailed"
                                                                 : nullptr;
    if (!key)
        return;
    const QString command = hookCommand(strINIFile, QLatin1String(key), option(key));
    if (!command.trimmed().isEmpty())
        m_hooks.run(QLatin1String(key), command, attempt, optionInt("HookTimeout", kDefaultHookTimeoutSec), language);
}

}  // namespace fetchora
