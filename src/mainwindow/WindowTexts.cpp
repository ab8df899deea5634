#include "mainwindow/WindowTexts.h"

#include "history/HistoryModel.h"
#include "store/History.h"

#include <utility>

namespace fetchora {

namespace {

bool english(Language language)
{
    return language == Language::English;
}

}  // namespace

QString createFolderQuestion(Language language, const QString &folder)
{
    return (english(language) ? QStringLiteral("The folder \"%1\" does not exist.\r\n\r\nCreate it now?")
                              : QStringLiteral("Der Ordner \"%1\" existiert nicht.\r\n\r\nJetzt anlegen?"))
        .arg(folder);
}

QString folderNotMadeText(Language language, const QString &folder, const QString &why)
{
    return (english(language) ? QStringLiteral("The folder \"%1\" could not be created:\r\n%2")
                              : QStringLiteral("Der Ordner \"%1\" konnte nicht angelegt werden:\r\n%2"))
        .arg(folder, why);
}

QString lastAttemptLine(Language language, const HistoryEntry &attempt, const QDateTime &now)
{
    const QDateTime at = attempt.at.toLocalTime();
    const bool today = at.date() == now.toLocalTime().date();
    const QString when = today ? at.toString(QStringLiteral("HH:mm"))
                               : at.toString(english(language) ? QStringLiteral("yyyy-MM-dd HH:mm")
                                                               : QStringLiteral("dd.MM.yyyy HH:mm"));
    return (english(language) ? QStringLiteral("Last: %1, %2") : QStringLiteral("Zuletzt: %1, %2"))
        .arg(outcomeWord(attempt.outcome, language), when);
}

QString lastAttemptTip(Language language, const HistoryEntry &attempt)
{
    const QDateTime at = attempt.at.toLocalTime();
    QString tip = english(language)
                      ? QStringLiteral("Last attempt: %1 at %2").arg(outcomeWord(attempt.outcome, language),
                                                                       at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                      : QStringLiteral("Letzter Versuch: %1 am %2").arg(outcomeWord(attempt.outcome, language),
                                                                          at.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    if (!attempt.detail.isEmpty())
        tip += u'\n' + attempt.detail;
    return tip;
}

}  // namespace fetchora
