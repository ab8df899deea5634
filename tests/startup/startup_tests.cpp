#include "startup/Conversions.h"
#include "startup/FileSystem.h"
#include "startup/RegistryStore.h"
#include "startup/modGlobal.h"
#include "startup/modINIHandler.h"
#include "startup/modText.h"
#include "support/AppSandbox.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

// The runtime error a call raises, 0 for none.
long errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const RuntimeError &e) {
        return e.number();
    }
    return 0;
}

struct ReadCase {
    QByteArray ini;  // null: no file
    const char *section, *key;
    QString expected;
};

TEST(IniFile, ReadsAValueOrTheDefaultAndLeavesTheFileAlone)
{
    const ReadCase cases[] = {
        {{}, "Options", "URL", "DEF"},
        {"[options]\r\nurl=http://a/b\r\n", "Options", "URL", "http://a/b"},
        {"[Options]\r\nPwd=\r\n", "Options", "Pwd", ""},
        {"[Options]\nURL =  \"a b\"  \n", "Options", "URL", "a b"},
        {"[Global]\r\nURL=x\r\n[Options]\r\nPwd=1\r\n", "Options", "URL", "DEF"},
        {"[Options]\r\nURL=x\r\n", "Global", "Language", "DEF"},
        {"[Options]\r\nURL=" + QByteArray(300, 'x') + "\r\n", "Options", "URL", QString(255, 'x')},
    };
    for (const ReadCase &c : cases) {
        AppSandbox box;
        if (!c.ini.isNull())
            box.writeIni(c.ini);
        EXPECT_EQ(GetINIString(c.section, c.key, "DEF", 256), c.expected) << c.ini.constData();
        EXPECT_EQ(box.readIni(), c.ini);
        EXPECT_EQ(QFile::exists(strINIFile), !c.ini.isNull());
    }
}

TEST(IniFile, AWriteChangesOneKeyAndKeepsEveryOtherLine)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {{}, "[Options]\r\nURL=new\r\n"},
        {"[Global]\r\nLanguage=English\r\n[options]\r\nurl=old\r\nPwd=p\r\n; note\r\n",
         "[Global]\r\nLanguage=English\r\n[options]\r\nurl=new\r\nPwd=p\r\n; note\r\n"},
        {"[Options]\r\nPwd=p\r\n\r\n[Global]\r\nLanguage=English\r\n",
         "[Options]\r\nPwd=p\r\nURL=new\r\n\r\n[Global]\r\nLanguage=English\r\n"},
        {"[Global]\nLanguage=English", "[Global]\nLanguage=English\n[Options]\nURL=new\n"},
    };
    for (const auto &[before, after] : cases) {
        AppSandbox box;
        if (!before.isNull())
            box.writeIni(before);
        WriteINIString("Options", "URL", "new");
        EXPECT_EQ(box.readIni(), after);
    }
    AppSandbox box;
    WriteINIString("Options", "SavePath", "/home/jürgen/Büro");
    EXPECT_EQ(GetINIString("options", "savepath", "", 256), "/home/jürgen/Büro");
}

TEST(Conversions, BooleansAndNumbersAsTheSettingsFileMeansThem)
{
    // -13: type mismatch, -6: overflow
    const std::pair<const char *, int> booleans[] = {{"0", 0}, {"False", 0}, {"false", 0}, {" 0 ", 0}, {"True", 1},
        {"TRUE", 1}, {"1", 1}, {"-1", 1}, {"6", 1}, {"0.5", 1}, {"yes", -13}, {"", -13}};
    for (const auto &[text, value] : booleans) {
        bool got = false;
        const long error = errorOf([&] { got = CBool(text); });
        EXPECT_EQ(error ? -error : int(got), value) << text;
    }
    const std::pair<const char *, int> numbers[] = {{"6", 6}, {" 9 ", 9}, {"-3", -3}, {"2.5", 2}, {"3.5", 4},
        {"abc", -13}, {"", -13}, {"6x", -13}, {"99999999999", -6}};
    for (const auto &[text, value] : numbers) {
        int got = 0;
        const long error = errorOf([&] { got = CLng(text); });
        EXPECT_EQ(error ? -error : got, value) << text;
    }
}

struct TextRow {
    const QString *text;
    const char *de, *en;
};

// clang-format off
const TextRow kTexts[kTextCount] = {
    {&capSavePath, "Speicherort für heruntergeladene Dateien", "Folder for downloaded files"},
    {&capURL, "URL (Http://)", "URL"}, {&capSettings, "&Optionen", "&Settings"}, {&capStart, "&Start", "&Start"},
    {&capStop, "&Stopp", "&Stop"}, {&capCancel, "&Abbrechen", "&Cancel"}, {&capQuit, "&Beenden", "&Quit"},
    {&capActive, "[Aktiv]", "[Active]"}, {&capTitle, "TAQ Fetchora", "TAQ Fetchora"},
    {&capSettingsTitle, "Einstellungen", "Settings"}, {&capInterval, "Intervall (Min.)", "Interval (min.)"},
    {&capStartNow, "Starte sofort nach Klick auf Startknopf", "Start download after click on start button"},
    {&capCompress, "Datei komprimieren (zip)", "Compress files (zip)"}, {&capCompression, "Kompression", "Compression"},
    {&capZipPassword, "ZIP Passwort", "ZIP password"}, {&capRateNone, "Keine", "None"},
    {&capRateLow, "Gering", "Minimal"}, {&capRateNormal, "Normal", "Normal"}, {&capRateHigh, "Hoch", "High"},
    {&capDateTime, "Datum/Uhrzeit an Dateinamen anhängen", "Add date and time to file name"},
    {&capOverwrite, "Datei immer überschreiben", "Always overwrite file"}, {&capSave, "&Speichern", "&Save"},
    {&capBrowseTitle, "Speicherort (Ordner) suchen ...", "Find folder for downloaded files ..."},
    {&msgFolderMissing, "Der Ordner Speicherort für heruntergeladene Dateien existiert nicht", "The folder for downloaded files does not exist"},
    {&msgNoFolder, "Bitte einen Speicherort für heruntergeladene Dateien eingeben", "Please enter a folder for downloaded files"},
    {&msgNoURL, "Bitte eine gültige URL eingeben", "Please enter a valid URL"},
    {&msgAbortQuery, "Download wirklich abbrechen?", "Cancel download?"},
    {&msgAborted, "Download abgebrochen.", "Download canceled"},
    {&msgFinished, "Download beendet.", "Download competed"}, {&capDownload, "Download", "Download"},
    {&capSecondsToNext, "Sekunden bis zum nächsten Download", "seconds until next download"},
    {&capTrayOpen, "Ö&ffnen", "&Open"}, {&capTrayQuit, "&Beenden", "&Quit"}, {&capOf, "von", "of"},
    {&capBytes, "Bytes", "Bytes"}, {&capCheckVersion, "Dateiversion überprüfen", "Check file version"},
    {&capShowConnErrors, "Zeige Verbindungsfehler", "Show connection errors"},
    {&msgConnectError, "Fehler während des Verbindungsaufbaus", "Error while connecting"},
    {&msgConnectErrorTitle, "Verbindungsfehler", "Connection error"},
    {&msgFileNotFound, "Datei wurde nicht gefunden!", "File not found!"},
    {&msgInvalidURL, "Ungültige URL", "Invalid URL"},
    {&msgCheckURL, "Bitte überprüfen Sie die Adresse im URL-Feld", "Please check the address in the URL field"},
    {&capCompressing, "Komprimiere Datei ...", "Compress file ..."},
};
// clang-format on

TEST(Texts, OnlyExactlyEnglishGivesTheEnglishColumn)
{
    for (const auto &[language, english] : {std::pair{"English", true}, {"Deutsch", false}, {"english", false},
                                            {"ENGLISH", false}, {"", false}, {"English ", false}}) {
        strLanguage = language;
        SetLanguage();
        for (const TextRow &row : kTexts)
            EXPECT_EQ(*row.text, QString::fromUtf8(english ? row.en : row.de)) << language;
    }
}

TEST(Registry, ValuesGoUnderTheApplicationAndSection)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    NativeRegistryStore store;
    store.SaveSetting("Fetchora", "Options", "BGColor", "old");
    store.SaveSetting("Fetchora", "Options", "BGColor", "&H8000000F");
    store.SaveSetting("Fetchora", "Options", "Language", "English");
    QSettings written(dir.filePath("Fetchora/Fetchora.conf"), QSettings::IniFormat);
    EXPECT_EQ(written.value("Options/BGColor").toString(), "&H8000000F");
    EXPECT_EQ(written.value("Options/Language").toString(), "English");
}

TEST(AppFolder, TheProgramsFolderUnlessItIsNotOursToWrite)
{
    const struct {
        const char *exe;
        bool writable, installed;
        const char *perUser, *expected;
    } cases[] = {
        {"/opt/f", true, false, "/home/u/f", "/opt/f"},   {"/opt/f", false, false, "/home/u/f", "/home/u/f"},
        {"/usr/bin", true, true, "/home/u/f", "/home/u/f"}, {"/opt/f/", true, false, "", "/opt/f"},
        {"/", true, false, "", "/"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(chooseAppFolder(c.exe, c.writable, c.installed, c.perUser), c.expected) << c.exe;
}

class Fs : public ::testing::Test {
protected:
    QString at(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    FileSystem fso;
};

TEST_F(Fs, AMoveNeverReplacesAndAFailedOneChangesNothing)
{
    ASSERT_TRUE(writeFile(at("a"), "new") && writeFile(at("b"), "old"));
    const std::tuple<QString, QString, long> failing[] = {
        {at("a"), at("b"), 58}, {at("missing"), at("c"), 53}, {at("a"), at("gone/c"), 76}};
    for (const auto &[from, to, number] : failing) {
        EXPECT_EQ(errorOf([&] { fso.MoveFile(from, to); }), number) << qPrintable(to);
        EXPECT_EQ(readAll(at("a")) + readAll(at("b")), "newold");
    }
    // Within one file system and across two (a rename cannot do that).
    QTemporaryDir other("/dev/shm/fetchora-XXXXXX");
    for (const QString &source : {at("a"), other.filePath("a")}) {
        ASSERT_TRUE(writeFile(source, "moved"));
        EXPECT_EQ(errorOf([&] { fso.MoveFile(source, at("c")); }), 0);
        EXPECT_FALSE(QFile::exists(source));
        EXPECT_EQ(readAll(at("c")), "moved");
        EXPECT_EQ(entries(dir.path()), QStringList({"b", "c"}));
        QFile::remove(at("c"));
    }
}

TEST_F(Fs, DeleteTakesAReadOnlyFileOnlyWithForce)
{
    ASSERT_TRUE(writeFile(at("f"), "x"));
    ASSERT_EQ(::chmod(qPrintable(at("f")), 0444), 0);
    EXPECT_EQ(errorOf([&] { fso.DeleteFile(at("f"), false); }), 70);
    EXPECT_TRUE(fso.FileExists(at("f")));
    EXPECT_EQ(errorOf([&] { fso.DeleteFile(at("f"), true); }), 0);
    EXPECT_FALSE(QFile::exists(at("f")));
    EXPECT_EQ(errorOf([&] { fso.DeleteFile(at("f"), true); }), 53);
}

TEST_F(Fs, FilesAndFoldersAreToldApart)
{
    ASSERT_TRUE(writeFile(at("f"), "x"));
    EXPECT_EQ(errorOf([&] { fso.CreateFolder(at("tmp")); }), 0);
    EXPECT_EQ(errorOf([&] { fso.CreateFolder(at("tmp")); }), 58);
    EXPECT_EQ(errorOf([&] { fso.CreateFolder(at("gone/tmp")); }), 76);
    EXPECT_TRUE(fso.FileExists(at("f")) && fso.FolderExists(at("tmp")));
    EXPECT_FALSE(fso.FileExists(at("tmp")) || fso.FolderExists(at("f")) || fso.FileExists(at("gone")));
}

}  // namespace

FETCHORA_QT_TEST_MAIN("fetchora-startup-tests-no-viewer")
