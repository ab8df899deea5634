// The start of the program and the language of its texts.

#include "mainwindow/frmMain.h"
#include "shell/Controls.h"
#include "startup/FileSystem.h"
#include "mainwindow/SubMain.h"
#include "startup/modGlobal.h"
#include "startup/modText.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/FakeTray.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

MainWindowSeams fakeSeams(AppSandbox &sandbox)
{
    MainWindowSeams seams;
    seams.prompt = &sandbox.prompt;
    seams.downloads = fakeDownloadFactory(std::make_shared<FakeDownloadLog>());
    seams.tray = [](QObject *parent) { return std::make_unique<FakeTray>(parent); };
    return seams;
}

TEST(SubMain, WithoutSettingsFileTheProgramComesUpInGerman)
{
    AppSandbox sandbox("unset");
    sandbox.registry.values["Fetchora/Options/BGColor"] = "old";
    SubMain(fakeSeams(sandbox));
    ASSERT_TRUE(g_frmMain);
    EXPECT_EQ(strINIFile, sandbox.folder() + "/fcr.ini");
    EXPECT_EQ(strLanguage, "Deutsch");
    EXPECT_EQ(g_frmMain->cmdSettings->Caption(), "&Optionen");
    EXPECT_TRUE(g_frmMain->isVisible());
    EXPECT_EQ(sandbox.registry.value("BGColor"), "&H8000000F") << "rewritten at every start";
    EXPECT_FALSE(QFile::exists(strINIFile)) << "reading settings creates no file";
    g_frmMain->close();
    EXPECT_FALSE(objFSO) << "the file-system object goes with the main window";
    g_frmMain.reset();
}

TEST(SubMain, TheStoredLanguageIsTakenAsRead)
{
    AppSandbox sandbox("unset");
    sandbox.writeIni("[Global]\r\nLanguage=English\r\n");
    SubMain(fakeSeams(sandbox));
    EXPECT_EQ(strLanguage, "English");
    EXPECT_EQ(g_frmMain->cmdSettings->Caption(), "&Settings");
    g_frmMain->close();
    g_frmMain.reset();
}

TEST(Texts, EveryTextIsFilledInBothLanguagesAndTheTitleIsShared)
{
    for (auto fill : {&InitGermanLabels, &InitEnglishLabels}) {
        fill();
        QSet<QString> seen;
        for (int i = 0; i < kTextCount; ++i) {
            EXPECT_FALSE(allTexts()[i]->isEmpty()) << i;
            seen.insert(*allTexts()[i]);
        }
        EXPECT_GT(seen.size(), 35) << "texts are not copies of each other";
        EXPECT_EQ(capTitle, "TAQ Fetchora");
    }
}

TEST(Texts, OnlyTheExactNameEnglishSwitchesToEnglish)
{
    struct Row {
        const char *language;
        const char *cancel;
    };
    for (const Row &row : {Row{"English", "&Cancel"}, Row{"english", "&Abbrechen"}, Row{"ENGLISH", "&Abbrechen"},
                           Row{"", "&Abbrechen"}, Row{"Deutsch", "&Abbrechen"}, Row{"Français", "&Abbrechen"}}) {
        strLanguage = QString::fromUtf8(row.language);
        SetLanguage();
        SetLanguage();
        EXPECT_EQ(capCancel, row.cancel) << row.language;
    }
}

TEST(Texts, TheEnglishAndGermanTablesKeepTheirExactWording)
{
    strLanguage = "English";
    SetLanguage();
    EXPECT_EQ(msgFinished, "Download competed");
    EXPECT_EQ(capSecondsToNext, "seconds until next download");
    EXPECT_EQ(msgFolderMissing, "The folder for downloaded files does not exist");
    strLanguage = "Deutsch";
    SetLanguage();
    EXPECT_EQ(capTrayOpen, QString::fromUtf8("Ö&ffnen"));
    EXPECT_EQ(capDateTime, QString::fromUtf8("Datum/Uhrzeit an Dateinamen anhängen"));
    EXPECT_EQ(capURL, "URL (Http://)");
}

}  // namespace
