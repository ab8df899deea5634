// The 43 interface texts, German and English, assigned in table order, and
// the few texts beyond the table.

#include "core/Texts.h"

#include "core/Trace.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace fetchora {


const TextMember *allTexts()
{
    static const TextMember texts[kTextCount] = {
        &Texts::capSavePath,
        &Texts::capURL,
        &Texts::capSettings,
        &Texts::capStart,
        &Texts::capStop,
        &Texts::capCancel,
        &Texts::capQuit,
        &Texts::capActive,
        &Texts::capTitle,
        &Texts::capSettingsTitle,
        &Texts::capInterval,
        &Texts::capStartNow,
        &Texts::capCompress,
        &Texts::capCompression,
        &Texts::capZipPassword,
        &Texts::capRateNone,
        &Texts::capRateLow,
        &Texts::capRateNormal,
        &Texts::capRateHigh,
        &Texts::capDateTime,
        &Texts::capOverwrite,
        &Texts::capSave,
        &Texts::capBrowseTitle,
        &Texts::msgFolderMissing,
        &Texts::msgNoFolder,
        &Texts::msgNoURL,
        &Texts::msgAbortQuery,
        &Texts::msgAborted,
        &Texts::msgFinished,
        &Texts::capDownload,
        &Texts::capSecondsToNext,
        &Texts::capTrayOpen,
        &Texts::capTrayQuit,
        &Texts::capOf,
        &Texts::capBytes,
        &Texts::capCheckVersion,
        &Texts::capShowConnErrors,
        &Texts::msgConnectError,
        &Texts::msgConnectErrorTitle,
        &Texts::msgFileNotFound,
        &Texts::msgInvalidURL,
        &Texts::msgCheckURL,
        &Texts::capCompressing,
    };
    return texts;
}

void InitGermanLabels(Texts &texts)
{
    TraceScope t("modText", "Sub InitGermanLabels");
    t.step([&] {
        texts.capSavePath = QStringLiteral("Speicherort für heruntergeladene Dateien");
        texts.capURL = QStringLiteral("URL (Http://)");
        texts.capSettings = QStringLiteral("&Optionen");
        texts.capStart = QStringLiteral("&Start");
        texts.capStop = QStringLiteral("&Stopp");
        texts.capCancel = QStringLiteral("&Abbrechen");
        texts.capQuit = QStringLiteral("&Beenden");
        texts.capActive = QStringLiteral("[Aktiv]");
        texts.capTitle = QStringLiteral("TAQ Fetchora");
        texts.capSettingsTitle = QStringLiteral("Einstellungen");
        texts.capInterval = QStringLiteral("Intervall (Min.)");
        texts.capStartNow = QStringLiteral("Starte sofort nach Klick auf Startknopf");
        texts.capCompress = QStringLiteral("Datei komprimieren (zip)");
        texts.capCompression = QStringLiteral("Kompression");
        texts.capZipPassword = QStringLiteral("ZIP Passwort");
        texts.capRateNone = QStringLiteral("Keine");
        texts.capRateLow = QStringLiteral("Gering");
        texts.capRateNormal = QStringLiteral("Normal");
        texts.capRateHigh = QStringLiteral("Hoch");
        texts.capDateTime = QStringLiteral("Datum/Uhrzeit an Dateinamen anhängen");
        texts.capOverwrite = QStringLiteral("Datei immer überschreiben");
        texts.capSave = QStringLiteral("&Speichern");
        texts.capBrowseTitle = QStringLiteral("Speicherort (Ordner) suchen ...");
        texts.msgFolderMissing = QStringLiteral("Der Ordner Speicherort für heruntergeladene Dateien existiert nicht");
        texts.msgNoFolder = QStringLiteral("Bitte einen Speicherort für heruntergeladene Dateien eingeben");
        texts.msgNoURL = QStringLiteral("Bitte eine gültige URL eingeben");
        texts.msgAbortQuery = QStringLiteral("Download wirklich abbrechen?");
        texts.msgAborted = QStringLiteral("Download abgebrochen.");
        texts.msgFinished = QStringLiteral("Download beendet.");
        texts.capDownload = QStringLiteral("Download");
        texts.capSecondsToNext = QStringLiteral("Sekunden bis zum nächsten Download");
        texts.capTrayOpen = QStringLiteral("Ö&ffnen");
        texts.capTrayQuit = QStringLiteral("&Beenden");
        texts.capOf = QStringLiteral("von");
        texts.capBytes = QStringLiteral("Bytes");
        texts.capCheckVersion = QStringLiteral("Dateiversion überprüfen");
        texts.capShowConnErrors = QStringLiteral("Zeige Verbindungsfehler");
        texts.msgConnectError = QStringLiteral("Fehler während des Verbindungsaufbaus");
        texts.msgConnectErrorTitle = QStringLiteral("Verbindungsfehler");
        texts.msgFileNotFound = QStringLiteral("Datei wurde nicht gefunden!");
        texts.msgInvalidURL = QStringLiteral("Ungültige URL");
        texts.msgCheckURL = QStringLiteral("Bitte überprüfen Sie die Adresse im URL-Feld");
        texts.capCompressing = QStringLiteral("Komprimiere Datei ...");
    });
}

void InitEnglishLabels(Texts &texts)
{
    TraceScope t("modText", "Sub InitEnglishLabels");
    t.step([&] {
        texts.capSavePath = QStringLiteral("Folder for downloaded files");
        texts.capURL = QStringLiteral("URL");
        texts.capSettings = QStringLiteral("&Settings");
        texts.capStart = QStringLiteral("&Start");
        texts.capStop = QStringLiteral("&Stop");
        texts.capCancel = QStringLiteral("&Cancel");
        texts.capQuit = QStringLiteral("&Quit");
        texts.capActive = QStringLiteral("[Active]");
        texts.capTitle = QStringLiteral("TAQ Fetchora");
        texts.capSettingsTitle = QStringLiteral("Settings");
        texts.capInterval = QStringLiteral("Interval (min.)");
        texts.capStartNow = QStringLiteral("Start download after click on start button");
        texts.capCompress = QStringLiteral("Compress files (zip)");
        texts.capCompression = QStringLiteral("Compression");
        texts.capZipPassword = QStringLiteral("ZIP password");
        texts.capRateNone = QStringLiteral("None");
        texts.capRateLow = QStringLiteral("Minimal");
        texts.capRateNormal = QStringLiteral("Normal");
        texts.capRateHigh = QStringLiteral("High");
        texts.capDateTime = QStringLiteral("Add date and time to file name");
        texts.capOverwrite = QStringLiteral("Always overwrite file");
        texts.capSave = QStringLiteral("&Save");
        texts.capBrowseTitle = QStringLiteral("Find folder for downloaded files ...");
        texts.msgFolderMissing = QStringLiteral("The folder for downloaded files does not exist");
        texts.msgNoFolder = QStringLiteral("Please enter a folder for downloaded files");
        texts.msgNoURL = QStringLiteral("Please enter a valid URL");
        texts.msgAbortQuery = QStringLiteral("Cancel download?");
        texts.msgAborted = QStringLiteral("Download canceled");
        texts.msgFinished = QStringLiteral("Download competed");
        texts.capDownload = QStringLiteral("Download");
        texts.capSecondsToNext = QStringLiteral("seconds until next download");
        texts.capTrayOpen = QStringLiteral("&Open");
        texts.capTrayQuit = QStringLiteral("&Quit");
        texts.capOf = QStringLiteral("of");
        texts.capBytes = QStringLiteral("Bytes");
        texts.capCheckVersion = QStringLiteral("Check file version");
        texts.capShowConnErrors = QStringLiteral("Show connection errors");
        texts.msgConnectError = QStringLiteral("Error while connecting");
        texts.msgConnectErrorTitle = QStringLiteral("Connection error");
        texts.msgFileNotFound = QStringLiteral("File not found!");
        texts.msgInvalidURL = QStringLiteral("Invalid URL");
        texts.msgCheckURL = QStringLiteral("Please check the address in the URL field");
        texts.capCompressing = QStringLiteral("Compress file ...");
    });
}

void nameSettingsKeys(Texts &texts, Language language, const QString &iniPath)
{
    const bool en = language == Language::English;
    texts.msgFolderMissing = (en ? QStringLiteral("SavePath: the folder in [Options] of %1 does not exist")
                                 : QStringLiteral("SavePath: den Ordner aus [Options] von %1 gibt es nicht"))
                                 .arg(iniPath);
    texts.msgNoFolder = (en ? QStringLiteral("SavePath: no folder for the copies; set SavePath= in [Options] of %1")
                            : QStringLiteral("SavePath: kein Ordner für die Kopien; SavePath= in [Options] von %1 eintragen"))
                            .arg(iniPath);
    texts.msgNoURL = (en ? QStringLiteral("URL: no address to fetch; set URL= in [Options] of %1")
                         : QStringLiteral("URL: keine Adresse zum Laden; URL= in [Options] von %1 eintragen"))
                         .arg(iniPath);
    texts.msgCheckURL = (en ? QStringLiteral("Please check URL= in [Options] of %1")
                            : QStringLiteral("Bitte URL= in [Options] von %1 überprüfen"))
                            .arg(iniPath);
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
