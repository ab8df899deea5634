// The 43 interface texts, German and English, assigned in table order, and
// the few texts beyond the table.

#include "core/Texts.h"

#include "core/Trace.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace fetchora {

QString capSavePath, capURL, capSettings, capStart, capStop, capCancel, capQuit, capActive, capTitle, capSettingsTitle,
    capInterval, capStartNow, capCompress, capCompression, capZipPassword, capRateNone, capRateLow, capRateNormal,
    capRateHigh, capDateTime, capOverwrite, capSave, capBrowseTitle, msgFolderMissing, msgNoFolder, msgNoURL,
    msgAbortQuery, msgAborted, msgFinished, capDownload, capSecondsToNext, capTrayOpen, capTrayQuit, capOf, capBytes,
    capCheckVersion, capShowConnErrors, msgConnectError, msgConnectErrorTitle, msgFileNotFound, msgInvalidURL,
    msgCheckURL, capCompressing;

const QString *const *allTexts()
{
    static const QString *const texts[kTextCount] = {
        &capSavePath,
        &capURL,
        &capSettings,
        &capStart,
        &capStop,
        &capCancel,
        &capQuit,
        &capActive,
        &capTitle,
        &capSettingsTitle,
        &capInterval,
        &capStartNow,
        &capCompress,
        &capCompression,
        &capZipPassword,
        &capRateNone,
        &capRateLow,
        &capRateNormal,
        &capRateHigh,
        &capDateTime,
        &capOverwrite,
        &capSave,
        &capBrowseTitle,
        &msgFolderMissing,
        &msgNoFolder,
        &msgNoURL,
        &msgAbortQuery,
        &msgAborted,
        &msgFinished,
        &capDownload,
        &capSecondsToNext,
        &capTrayOpen,
        &capTrayQuit,
        &capOf,
        &capBytes,
        &capCheckVersion,
        &capShowConnErrors,
        &msgConnectError,
        &msgConnectErrorTitle,
        &msgFileNotFound,
        &msgInvalidURL,
        &msgCheckURL,
        &capCompressing,
    };
    return texts;
}

void InitGermanLabels()
{
    TraceScope t("modText", "Sub InitGermanLabels");
    t.step([] {
        capSavePath = QStringLiteral("Speicherort für heruntergeladene Dateien");
        capURL = QStringLiteral("URL (Http://)");
        capSettings = QStringLiteral("&Optionen");
        capStart = QStringLiteral("&Start");
        capStop = QStringLiteral("&Stopp");
        capCancel = QStringLiteral("&Abbrechen");
        capQuit = QStringLiteral("&Beenden");
        capActive = QStringLiteral("[Aktiv]");
        capTitle = QStringLiteral("TAQ Fetchora");
        capSettingsTitle = QStringLiteral("Einstellungen");
        capInterval = QStringLiteral("Intervall (Min.)");
        capStartNow = QStringLiteral("Starte sofort nach Klick auf Startknopf");
        capCompress = QStringLiteral("Datei komprimieren (zip)");
        capCompression = QStringLiteral("Kompression");
        capZipPassword = QStringLiteral("ZIP Passwort");
        capRateNone = QStringLiteral("Keine");
        capRateLow = QStringLiteral("Gering");
        capRateNormal = QStringLiteral("Normal");
        capRateHigh = QStringLiteral("Hoch");
        capDateTime = QStringLiteral("Datum/Uhrzeit an Dateinamen anhängen");
        capOverwrite = QStringLiteral("Datei immer überschreiben");
        capSave = QStringLiteral("&Speichern");
        capBrowseTitle = QStringLiteral("Speicherort (Ordner) suchen ...");
        msgFolderMissing = QStringLiteral("Der Ordner Speicherort für heruntergeladene Dateien existiert nicht");
        msgNoFolder = QStringLiteral("Bitte einen Speicherort für heruntergeladene Dateien eingeben");
        msgNoURL = QStringLiteral("Bitte eine gültige URL eingeben");
        msgAbortQuery = QStringLiteral("Download wirklich abbrechen?");
        msgAborted = QStringLiteral("Download abgebrochen.");
        msgFinished = QStringLiteral("Download beendet.");
        capDownload = QStringLiteral("Download");
        capSecondsToNext = QStringLiteral("Sekunden bis zum nächsten Download");
        capTrayOpen = QStringLiteral("Ö&ffnen");
        capTrayQuit = QStringLiteral("&Beenden");
        capOf = QStringLiteral("von");
        capBytes = QStringLiteral("Bytes");
        capCheckVersion = QStringLiteral("Dateiversion überprüfen");
        capShowConnErrors = QStringLiteral("Zeige Verbindungsfehler");
        msgConnectError = QStringLiteral("Fehler während des Verbindungsaufbaus");
        msgConnectErrorTitle = QStringLiteral("Verbindungsfehler");
        msgFileNotFound = QStringLiteral("Datei wurde nicht gefunden!");
        msgInvalidURL = QStringLiteral("Ungültige URL");
        msgCheckURL = QStringLiteral("Bitte überprüfen Sie die Adresse im URL-Feld");
        capCompressing = QStringLiteral("Komprimiere Datei ...");
    });
}

void InitEnglishLabels()
{
    TraceScope t("modText", "Sub InitEnglishLabels");
    t.step([] {
        capSavePath = QStringLiteral("Folder for downloaded files");
        capURL = QStringLiteral("URL");
        capSettings = QStringLiteral("&Settings");
        capStart = QStringLiteral("&Start");
        capStop = QStringLiteral("&Stop");
        capCancel = QStringLiteral("&Cancel");
        capQuit = QStringLiteral("&Quit");
        capActive = QStringLiteral("[Active]");
        capTitle = QStringLiteral("TAQ Fetchora");
        capSettingsTitle = QStringLiteral("Settings");
        capInterval = QStringLiteral("Interval (min.)");
        capStartNow = QStringLiteral("Start download after click on start button");
        capCompress = QStringLiteral("Compress files (zip)");
        capCompression = QStringLiteral("Compression");
        capZipPassword = QStringLiteral("ZIP password");
        capRateNone = QStringLiteral("None");
        capRateLow = QStringLiteral("Minimal");
        capRateNormal = QStringLiteral("Normal");
        capRateHigh = QStringLiteral("High");
        capDateTime = QStringLiteral("Add date and time to file name");
        capOverwrite = QStringLiteral("Always overwrite file");
        capSave = QStringLiteral("&Save");
        capBrowseTitle = QStringLiteral("Find folder for downloaded files ...");
        msgFolderMissing = QStringLiteral("The folder for downloaded files does not exist");
        msgNoFolder = QStringLiteral("Please enter a folder for downloaded files");
        msgNoURL = QStringLiteral("Please enter a valid URL");
        msgAbortQuery = QStringLiteral("Cancel download?");
        msgAborted = QStringLiteral("Download canceled");
        msgFinished = QStringLiteral("Download competed");
        capDownload = QStringLiteral("Download");
        capSecondsToNext = QStringLiteral("seconds until next download");
        capTrayOpen = QStringLiteral("&Open");
        capTrayQuit = QStringLiteral("&Quit");
        capOf = QStringLiteral("of");
        capBytes = QStringLiteral("Bytes");
        capCheckVersion = QStringLiteral("Check file version");
        capShowConnErrors = QStringLiteral("Show connection errors");
        msgConnectError = QStringLiteral("Error while connecting");
        msgConnectErrorTitle = QStringLiteral("Connection error");
        msgFileNotFound = QStringLiteral("File not found!");
        msgInvalidURL = QStringLiteral("Invalid URL");
        msgCheckURL = QStringLiteral("Please check the address in the URL field");
        capCompressing = QStringLiteral("Compress file ...");
    });
}

QString alreadyRunningText(const QString &language)
{
    return language == QLatin1String("English") ? QStringLiteral("Fetchora is already running for this folder:\n%1")
                                                : QStringLiteral("Fetchora läuft bereits für diesen Ordner:\n%1");
}

void applyToolkitLanguage(const QString &language)
{
    static std::unique_ptr<QTranslator> installed;
    static QString current = QStringLiteral("English");
    const QString wanted = language == QLatin1String("English") ? language : QStringLiteral("Deutsch");
    if (!QCoreApplication::instance() || wanted == current)
        return;
    current = wanted;
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    if (wanted == QLatin1String("English"))
        return;
    auto german = std::make_unique<QTranslator>();
    if (german->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(german.get());
        installed = std::move(german);
    }
}

MoreTexts moreTexts(const QString &language)
{
    if (language == QLatin1String("English"))
        return {QStringLiteral("every copy, on schedule"), QStringLiteral("&New folder"), QStringLiteral("New folder"),
                QStringLiteral("No new folder can be made in \"%1\".")};
    return {QStringLiteral("jede Kopie, pünktlich"), QStringLiteral("&Neuer Ordner"), QStringLiteral("Neuer Ordner"),
            QStringLiteral("In \"%1\" kann kein neuer Ordner angelegt werden.")};
}

}  // namespace fetchora
