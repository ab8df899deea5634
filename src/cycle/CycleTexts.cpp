#include "cycle/CycleTexts.h"

#include "core/Names.h"
#include "core/Texts.h"

namespace fetchora {

namespace {

QString own(Language language, const char *english, const char *german)
{
    return QString::fromUtf8(language == Language::English ? english : german);
}

}  // namespace

QString bytesText(const Texts &t, qint64 loaded, qint64 size)
{
    return QString::number(loaded) + QLatin1Char(' ') + t.capOf + QLatin1Char(' ') + QString::number(size)
           + QLatin1Char(' ') + t.capBytes;
}

QString countdownText(const Texts &t, long seconds)
{
    return QString::number(seconds) + QLatin1Char(' ') + t.capSecondsToNext;
}

QString notFoundText(const Texts &t)
{
    return t.msgFileNotFound + QStringLiteral("\r\nHTTP Code 404\r\n\r\n") + t.msgCheckURL;
}

QString connectErrorText(const Texts &t, long number, const QString &descr)
{
    return t.msgConnectError + QStringLiteral("!\r\nError: ") + QString::number(number) + QStringLiteral("\r\n") + descr;
}

QString connectErrorTitle(const Texts &t)
{
    return t.capTitle + QStringLiteral(" - ") + t.msgConnectErrorTitle;
}

QString invalidUrlText(const Texts &t, const QString &url)
{
    return displayUrl(url) + QStringLiteral("\r\n\r\n") + t.msgCheckURL;
}

QString replacedReason(Language language)
{
    return own(language, "replaced by the next download", "vom nächsten Download abgelöst");
}

QString programEndedReason(Language language)
{
    return own(language, "the program ended", "das Programm wurde beendet");
}

QString storeNotFinishedReason(Language language)
{
    return own(language, "the program ended before the copy was stored",
               "das Programm wurde beendet, bevor die Kopie gespeichert war");
}

QString couldNotBeginReason(Language language, const QString &url)
{
    return own(language, "the download could not begin: ", "der Download konnte nicht beginnen: ") + displayUrl(url);
}

}  // namespace fetchora
