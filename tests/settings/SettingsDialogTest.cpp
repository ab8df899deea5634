// The settings dialog driven headless over a sandboxed fcr.ini, with a host
// that records what the dialog asked of its owner window.

#include "settings/SettingsHost.h"
#include "settings/frmSettings.h"
#include "shell/Controls.h"
#include "startup/modGlobal.h"
#include "startup/modText.h"
#include "support/AppSandbox.h"
#include "settings/WhenModalIsUp.h"

#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

class FakeHost : public SettingsHost {
public:
    void SetLabels() override { labelsSeen.push_back(capSettings); }
    bool saveAllowed() const override { return bSave; }
    void setInterval(long minutes) override { iC = minutes; }

    // capSettings as it was at each SetLabels call: shows which language
    // the host was switched to, and when.
    QStringList labelsSeen;
    bool bSave = true;
    long iC = -1;
};

// The file as "Section/Key=Value" lines in file order.
QStringList iniEntries(const QByteArray &content)
{
    QStringList out;
    QString section;
    for (QString line : QString::fromLatin1(content).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('[')))
            section = line.mid(1, line.size() - 2);
        else
            out << section + QLatin1Char('/') + line;
    }
    return out;
}

QStringList itemsOf(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

class SettingsDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<frmSettings> open()
    {
        auto dlg = std::make_unique<frmSettings>(host, &owner);
        dlg->Form_Load();
        return dlg;
    }

    int errorCount() const { return sandbox.errorPrompt.count(); }
    QString errorText(int i = 0) const { return sandbox.errorPrompt.shown().value(i).text; }

    AppSandbox sandbox{QStringLiteral("Deutsch")};
    FakeHost host;
    QWidget owner;
};

// ---------------------------------------------------------------------------

TEST_F(SettingsDialogTest, WithoutASettingsFileTheDefaultsShowAndNothingIsCreated)
{
    auto dlg = open();
    EXPECT_EQ(errorCount(), 0) << errorText().toStdString();
    EXPECT_EQ(dlg->dxLanguage->Text(), "Deutsch");
    EXPECT_EQ(dlg->Combo1->Text(), "1");
    EXPECT_EQ(dlg->Combo2->Text(), "Normal");
    EXPECT_EQ(dlg->txtPassword->Text(), "");
    EXPECT_FALSE(dlg->Check1->Value());
    EXPECT_TRUE(dlg->Option1[0]->Value());
    EXPECT_FALSE(dlg->Option1[1]->Value());
    EXPECT_FALSE(dlg->Check2->Value());
    EXPECT_FALSE(dlg->Check3->Value());
    EXPECT_FALSE(dlg->Check4->Value());
    // Compression off: its controls are greyed and the fields look like buttons.
    EXPECT_FALSE(dlg->Combo2->isEnabled());
    EXPECT_FALSE(dlg->txtPassword->isEnabled());
    EXPECT_FALSE(dlg->lblCompression->isEnabled());
    EXPECT_FALSE(dlg->lblPassword->isEnabled());
    EXPECT_EQ(dlg->Combo2->BackColor(), kButtonFaceColor);
    EXPECT_EQ(dlg->txtPassword->BackColor(), kButtonFaceColor);
    EXPECT_FALSE(dlg->bLoading);
    EXPECT_EQ(dlg->sLanguageAtOpen, "Deutsch");
    EXPECT_EQ(host.labelsSeen, QStringList{"&Optionen"}) << "loading applies the stored language to the host once";
    EXPECT_FALSE(QFile::exists(strINIFile));
}

TEST_F(SettingsDialogTest, ListsHoldTheirItemsInOrderAndCaptionsComeFromTheTexts)
{
    auto dlg = open();
    QStringList minutes;
    for (int i = 1; i <= 60; ++i)
        minutes << QString::number(i);
    minutes << "120" << "240" << "480" << "720" << "960" << "1200" << "1440";
    EXPECT_EQ(itemsOf(dlg->Combo1), minutes);
    EXPECT_EQ(dlg->Combo1->count(), 67);
    EXPECT_EQ(itemsOf(dlg->dxLanguage), (QStringList{"Deutsch", "English"}));
    EXPECT_EQ(itemsOf(dlg->Combo2), (QStringList{"Keine", "Gering", "Normal", "Hoch"}));

    EXPECT_EQ(dlg->windowTitle(), "Einstellungen");
    EXPECT_EQ(dlg->Label1->text(), "Sprache");
    EXPECT_EQ(dlg->lblInterval->text(), "Intervall (Min.)");
    EXPECT_EQ(dlg->Check2->Caption(), "Starte sofort nach Klick auf Startknopf");
    EXPECT_EQ(dlg->Check1->Caption(), "Datei komprimieren (zip)");
    EXPECT_EQ(dlg->lblCompression->text(), "Kompression");
    EXPECT_EQ(dlg->lblPassword->text(), "ZIP Passwort");
    EXPECT_EQ(dlg->Option1[0]->Caption(), "Datum/Uhrzeit an Dateinamen anhängen");
    EXPECT_EQ(dlg->Option1[1]->Caption(), "Datei immer überschreiben");
    EXPECT_EQ(dlg->Check3->Caption(), "Dateiversion überprüfen");
    EXPECT_EQ(dlg->Check4->Caption(), "Zeige Verbindungsfehler");
    EXPECT_EQ(dlg->cmdCancel->Caption(), "&Abbrechen");
    EXPECT_EQ(dlg->cmdSave->Caption(), "&Speichern");
    EXPECT_EQ(dlg->sNewRate, (std::array<QString, 4>{"Keine", "Gering", "Normal", "Hoch"}));
    EXPECT_EQ(dlg->sOldRate, dlg->sNewRate);
}

TEST_F(SettingsDialogTest, LayoutIsTheTwipGridInPixels)
{
    auto dlg = open();
    EXPECT_TRUE(dlg->isModal());
    EXPECT_EQ(dlg->parentWidget(), &owner);
    EXPECT_EQ(dlg->size(), QSize(263, 299));
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
    EXPECT_EQ(dlg->fraSettings->geometry(), QRect(2, -2, 259, 251));
    EXPECT_EQ(dlg->Frame1->geometry(), QRect(2, 248, 259, 49));

    struct Row {
        QWidget *control;
        QWidget *frame;
        QRect pixels;
    };
    const Row rows[] = {
        {dlg->Label1, dlg->fraSettings, {8, 10, 117, 13}},
        {dlg->dxLanguage, dlg->fraSettings, {8, 24, 119, 21}},
        {dlg->lblInterval, dlg->fraSettings, {132, 10, 91, 13}},
        {dlg->Combo1, dlg->fraSettings, {132, 24, 119, 21}},
        {dlg->Check2, dlg->fraSettings, {4, 60, 249, 21}},
        {dlg->Check1, dlg->fraSettings, {4, 90, 243, 21}},
        {dlg->lblCompression, dlg->fraSettings, {8, 112, 107, 13}},
        {dlg->Combo2, dlg->fraSettings, {8, 126, 119, 21}},
        {dlg->lblPassword, dlg->fraSettings, {132, 112, 107, 13}},
        {dlg->txtPassword, dlg->fraSettings, {132, 126, 119, 21}},
        {dlg->Option1[0], dlg->fraSettings, {4, 160, 247, 24}},
        {dlg->Option1[1], dlg->fraSettings, {4, 176, 247, 24}},
        {dlg->Check3, dlg->fraSettings, {4, 208, 243, 21}},
        {dlg->Check4, dlg->fraSettings, {4, 224, 243, 21}},
        {dlg->cmdCancel, dlg->Frame1, {90, 16, 79, 23}},
        {dlg->cmdSave, dlg->Frame1, {172, 16, 79, 23}},
        {dlg->Line4, dlg->fraSettings, {8, 54, 243, 1}},
        {dlg->Line1, dlg->fraSettings, {8, 84, 243, 1}},
        {dlg->Line2, dlg->fraSettings, {8, 156, 243, 1}},
        {dlg->Line3, dlg->fraSettings, {8, 202, 243, 1}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.control->metaObject()->className());
        EXPECT_EQ(r.control->parentWidget(), r.frame);
        EXPECT_EQ(r.control->geometry(), r.pixels);
    }
    for (QFrame *line : {dlg->Line1, dlg->Line2, dlg->Line3, dlg->Line4}) {
        EXPECT_TRUE(line->autoFillBackground());
        EXPECT_EQ(line->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
    }
}

TEST_F(SettingsDialogTest, TabOrderRunsDownTheDialogThenCancelAndSave)
{
    auto dlg = open();
    const QList<QWidget *> expected{dlg->dxLanguage, dlg->Combo1, dlg->Check2, dlg->Check1,
                                    dlg->Combo2, dlg->txtPassword, dlg->Option1[0], dlg->Option1[1],
                                    dlg->Check3, dlg->Check4, dlg->cmdCancel, dlg->cmdSave};
    QList<QWidget *> chain;
    QWidget *w = dlg->dxLanguage;
    for (int guard = 0; guard < 64 && chain.size() < expected.size(); ++guard) {
        // The editable lists have inner line edits that take the focus for them.
        if (expected.contains(w) && (chain.isEmpty() || chain.back() != w))
            chain << w;
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(chain, expected);
}

// --- stored values ----------------------------------------------------------

struct RateRow {
    const char *stored;
    const char *shown;
    const char *savedAs;
};

void PrintTo(const RateRow &r, std::ostream *os)
{
    *os << "CompRate=" << r.stored;
}

class StoredRate : public SettingsDialogTest, public ::testing::WithParamInterface<RateRow> {};

TEST_P(StoredRate, SelectsItsLevelAndIsSavedAsOneOfTheFourNumbers)
{
    sandbox.writeIni(QByteArray("[Options]\nCompress=1\nCompRate=") + GetParam().stored + "\n");
    auto dlg = open();
    EXPECT_EQ(errorCount(), 0);
    EXPECT_EQ(dlg->Combo2->Text(), GetParam().shown);
    EXPECT_TRUE(dlg->Combo2->isEnabled());
    EXPECT_TRUE(dlg->txtPassword->isEnabled());
    EXPECT_TRUE(dlg->lblCompression->isEnabled());
    EXPECT_TRUE(dlg->lblPassword->isEnabled());
    EXPECT_EQ(dlg->Combo2->BackColor(), kWhite);
    EXPECT_EQ(dlg->txtPassword->BackColor(), kWhite);
    dlg->cmdSave_Click();
    EXPECT_TRUE(iniEntries(sandbox.readIni()).contains(QStringLiteral("Options/CompRate=") + GetParam().savedAs));
}

INSTANTIATE_TEST_SUITE_P(Rates, StoredRate,
                         ::testing::Values(RateRow{"0", "Keine", "0"}, RateRow{"1", "Gering", "1"},
                                           RateRow{"6", "Normal", "6"}, RateRow{"9", "Hoch", "9"},
                                           RateRow{"7", "Keine", "0"}, RateRow{"-1", "Keine", "0"}));

TEST_F(SettingsDialogTest, AnUnreadableRateIsReportedAndEverythingElseStillLoads)
{
    sandbox.writeIni("[Global]\nLanguage=English\n[Options]\nCompRate=abc\nIntervall=15\nPwd=geheim\n"
                     "Compress=1\nMode1=0\nMode2=1\nStart=1\nCheckVersion=True\nShowErrors=1\n");
    auto dlg = open();
    ASSERT_EQ(errorCount(), 1);
    EXPECT_TRUE(errorText().contains("program error #13 (Type mismatch)")) << errorText().toStdString();
    EXPECT_TRUE(errorText().contains("occurred in module frmSettings, Sub Form_Load")) << errorText().toStdString();
    EXPECT_EQ(sandbox.errorPrompt.last().title, "Unexpected Error");
    EXPECT_EQ(dlg->Combo2->Text(), "None") << "the name the language switch put there";
    EXPECT_EQ(dlg->dxLanguage->Text(), "English");
    EXPECT_EQ(dlg->Combo1->Text(), "15");
    EXPECT_EQ(dlg->txtPassword->Text(), "geheim");
    EXPECT_TRUE(dlg->Check1->Value());
    EXPECT_FALSE(dlg->Option1[0]->Value());
    EXPECT_TRUE(dlg->Option1[1]->Value());
    EXPECT_TRUE(dlg->Check2->Value());
    EXPECT_TRUE(dlg->Check3->Value());
    EXPECT_TRUE(dlg->Check4->Value());
    EXPECT_TRUE(dlg->Combo2->isEnabled());
    EXPECT_FALSE(dlg->bLoading);
}

TEST_F(SettingsDialogTest, AnEmptyStoredIntervalShowsOneAndATypedOneShowsAsStored)
{
    sandbox.writeIni("[Options]\nIntervall=\n");
    EXPECT_EQ(open()->Combo1->Text(), "1");
    sandbox.writeIni("[Options]\nIntervall=x\n");
    EXPECT_EQ(open()->Combo1->Text(), "x");
    sandbox.writeIni("[Options]\nIntervall=1440\n");
    EXPECT_EQ(open()->Combo1->Text(), "1440");
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(SettingsDialogTest, AnUnknownLanguageShowsAsStoredGivesGermanAndIsSavedUnchanged)
{
    sandbox.writeIni("[Global]\nLanguage=Klingon\n");
    strLanguage = "English";
    SetLanguage();
    auto dlg = open();
    EXPECT_EQ(dlg->dxLanguage->Text(), "Klingon");
    EXPECT_EQ(strLanguage, "Klingon");
    EXPECT_EQ(dlg->windowTitle(), "Einstellungen");
    EXPECT_EQ(host.labelsSeen, QStringList{"&Optionen"});
    dlg->cmdSave_Click();
    EXPECT_TRUE(iniEntries(sandbox.readIni()).contains("Global/Language=Klingon"));
}

// --- language switch ----------------------------------------------------------

TEST_F(SettingsDialogTest, ChoosingEnglishSwitchesBothWindowsAndTranslatesTheLevel)
{
    sandbox.writeIni("[Options]\nCompress=1\nCompRate=9\n");
    auto dlg = open();
    ASSERT_EQ(dlg->Combo2->Text(), "Hoch");
    host.labelsSeen.clear();

    dlg->dxLanguage->setTextValue("English");
    EXPECT_EQ(strLanguage, "English");
    EXPECT_EQ(host.labelsSeen, QStringList{"&Settings"}) << "the host follows at once";
    EXPECT_EQ(dlg->windowTitle(), "Settings");
    EXPECT_EQ(dlg->lblInterval->text(), "Interval (min.)");
    EXPECT_EQ(dlg->Check1->Caption(), "Compress files (zip)");
    EXPECT_EQ(dlg->cmdSave->Caption(), "&Save");
    EXPECT_EQ(dlg->cmdCancel->Caption(), "&Cancel");
    EXPECT_EQ(dlg->Label1->text(), "Sprache");
    EXPECT_EQ(dlg->Combo2->Text(), "High");
    EXPECT_EQ(itemsOf(dlg->Combo2), (QStringList{"None", "Minimal", "Normal", "High"}));
    EXPECT_EQ(itemsOf(dlg->dxLanguage), (QStringList{"Deutsch", "English"}));

    dlg->dxLanguage->setTextValue("Deutsch");
    EXPECT_EQ(dlg->Combo2->Text(), "Hoch") << "and back again";
}

TEST_F(SettingsDialogTest, ALevelNamedAlikeInBothLanguagesStaysAndATypedOneIsLeftAlone)
{
    sandbox.writeIni("[Options]\nCompress=1\nCompRate=6\n");
    auto dlg = open();
    dlg->dxLanguage->setTextValue("English");
    EXPECT_EQ(dlg->Combo2->Text(), "Normal");
    dlg->Combo2->setTextValue("Maximal");
    dlg->dxLanguage->setTextValue("Deutsch");
    EXPECT_EQ(dlg->Combo2->Text(), "Maximal");
    EXPECT_EQ(dlg->sOldRate, (std::array<QString, 4>{"Keine", "Gering", "Normal", "Hoch"}));
}

TEST_F(SettingsDialogTest, CancelRestoresTheLanguageEverywhereAndWritesNothing)
{
    const QByteArray before = "[Global]\r\nLanguage=Deutsch\r\n[Options]\r\nCompRate=9\r\nCompress=1\r\n";
    sandbox.writeIni(before);
    auto dlg = open();
    dlg->show();
    dlg->dxLanguage->setTextValue("English");
    dlg->txtPassword->setTextValue("changed");
    dlg->Check4->setChecked(true);
    host.labelsSeen.clear();

    dlg->cmdCancel_Click();
    EXPECT_EQ(strLanguage, "Deutsch");
    EXPECT_EQ(capSettingsTitle, "Einstellungen");
    EXPECT_EQ(host.labelsSeen, QStringList{"&Optionen"});
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(sandbox.readIni(), before);
    EXPECT_EQ(host.iC, -1);
}

TEST_F(SettingsDialogTest, CancelWithoutALanguageChangeLeavesTheHostAlone)
{
    auto dlg = open();
    host.labelsSeen.clear();
    dlg->cmdCancel_Click();
    EXPECT_TRUE(host.labelsSeen.isEmpty());
    EXPECT_FALSE(QFile::exists(strINIFile));
}

TEST_F(SettingsDialogTest, ClosingThroughTheFrameWritesNothingAndKeepsTheChosenLanguage)
{
    auto dlg = open();
    dlg->show();
    dlg->dxLanguage->setTextValue("English");
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(strLanguage, "English");
    EXPECT_EQ(capSettings, "&Settings");
    EXPECT_FALSE(QFile::exists(strINIFile));
}

// --- save ---------------------------------------------------------------------

TEST_F(SettingsDialogTest, SaveWritesEveryKeyInItsOrder)
{
    auto dlg = open();
    dlg->show();
    dlg->dxLanguage->setTextValue("English");
    dlg->Combo1->setTextValue("240");
    dlg->Check1->setChecked(true);
    dlg->Combo2->setTextValue("Minimal");
    dlg->txtPassword->setTextValue("s3cret");
    dlg->Check2->setChecked(true);
    dlg->Check3->setChecked(true);
    dlg->Option1[1]->setChecked(true);

    dlg->cmdSave_Click();
    EXPECT_EQ(errorCount(), 0) << errorText().toStdString();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(host.iC, 240);
    // Written into a missing file, the keys land in the order they were written.
    EXPECT_EQ(iniEntries(sandbox.readIni()),
              (QStringList{"Global/Language=English", "Options/Pwd=s3cret", "Options/Intervall=240",
                           "Options/CompRate=1", "Options/Compress=1", "Options/Start=1",
                           "Options/CheckVersion=1", "Options/ShowErrors=0", "Options/Mode1=0",
                           "Options/Mode2=1"}));
    EXPECT_EQ(strLanguage, "English") << "Save keeps the language";

    // What was saved is what the next open shows.
    auto again = open();
    EXPECT_EQ(again->dxLanguage->Text(), "English");
    EXPECT_EQ(again->Combo1->Text(), "240");
    EXPECT_EQ(again->Combo2->Text(), "Minimal");
    EXPECT_EQ(again->txtPassword->Text(), "s3cret");
    EXPECT_TRUE(again->Check1->Value());
    EXPECT_TRUE(again->Check2->Value());
    EXPECT_TRUE(again->Check3->Value());
    EXPECT_FALSE(again->Check4->Value());
    EXPECT_FALSE(again->Option1[0]->Value());
    EXPECT_TRUE(again->Option1[1]->Value());
}

TEST_F(SettingsDialogTest, SaveWithATypedLevelKeepsTheStoredRateAndWritesTheRest)
{
    sandbox.writeIni("[Options]\r\nCompRate=9\r\nCompress=0\r\n");
    auto dlg = open();
    dlg->Combo2->setTextValue("Ultra");
    dlg->txtPassword->setTextValue("pw");
    dlg->cmdSave_Click();
    const QStringList entries = iniEntries(sandbox.readIni());
    EXPECT_TRUE(entries.contains("Options/CompRate=9"));
    EXPECT_EQ(entries.filter("CompRate").size(), 1);
    EXPECT_TRUE(entries.contains("Options/Pwd=pw"));
    EXPECT_TRUE(entries.contains("Options/Mode2=0"));
    EXPECT_TRUE(entries.contains("Global/Language=Deutsch"));
}

TEST_F(SettingsDialogTest, CompressionOffGreysThePasswordButSaveStillWritesIt)
{
    sandbox.writeIni("[Options]\nCompress=1\nPwd=keep\n");
    auto dlg = open();
    ASSERT_TRUE(dlg->txtPassword->isEnabled());
    dlg->Check1->setChecked(false);
    EXPECT_FALSE(dlg->txtPassword->isEnabled());
    EXPECT_FALSE(dlg->Combo2->isEnabled());
    EXPECT_EQ(dlg->txtPassword->BackColor(), kButtonFaceColor);
    EXPECT_EQ(dlg->txtPassword->Text(), "keep");
    dlg->cmdSave_Click();
    const QStringList entries = iniEntries(sandbox.readIni());
    EXPECT_TRUE(entries.contains("Options/Pwd=keep"));
    EXPECT_TRUE(entries.contains("Options/Compress=0"));
}

TEST_F(SettingsDialogTest, SwitchingCompressionOnWithNoLevelPicksNormal)
{
    auto dlg = open();
    dlg->Combo2->setTextValue("");
    dlg->Check1->setChecked(true);
    EXPECT_EQ(dlg->Combo2->Text(), "Normal");
    EXPECT_TRUE(dlg->Combo2->isEnabled());
    EXPECT_EQ(dlg->Combo2->BackColor(), kWhite);
    dlg->Combo2->setTextValue("Hoch");
    dlg->Check1->setChecked(false);
    dlg->Check1->setChecked(true);
    EXPECT_EQ(dlg->Combo2->Text(), "Hoch") << "a chosen level is kept";
}

TEST_F(SettingsDialogTest, TheTwoNamingOptionsBehaveAsRadioButtons)
{
    auto dlg = open();
    dlg->show();
    EXPECT_EQ(dlg->Option1[0]->groupIndex(), 1);
    EXPECT_EQ(dlg->Option1[1]->groupIndex(), 1);
    for (dxCheckEdit *c : {dlg->Check1, dlg->Check2, dlg->Check3, dlg->Check4})
        EXPECT_EQ(c->groupIndex(), 0);

    QTest::mouseClick(dlg->Option1[1], Qt::LeftButton);
    EXPECT_TRUE(dlg->Option1[1]->Value());
    EXPECT_FALSE(dlg->Option1[0]->Value());
    QTest::mouseClick(dlg->Option1[1], Qt::LeftButton);
    EXPECT_TRUE(dlg->Option1[1]->Value()) << "clicking the checked one keeps it";
    QTest::mouseClick(dlg->Option1[0], Qt::LeftButton);
    EXPECT_TRUE(dlg->Option1[0]->Value());
    EXPECT_FALSE(dlg->Option1[1]->Value());

    // The plain boxes are independent of each other and of the pair.
    QTest::mouseClick(dlg->Check3, Qt::LeftButton);
    QTest::mouseClick(dlg->Check4, Qt::LeftButton);
    EXPECT_TRUE(dlg->Check3->Value());
    EXPECT_TRUE(dlg->Check4->Value());
    EXPECT_TRUE(dlg->Option1[0]->Value());

    dlg->Option1[1]->setChecked(true);
    dlg->cmdSave_Click();
    const QStringList entries = iniEntries(sandbox.readIni());
    EXPECT_TRUE(entries.contains("Options/Mode1=0"));
    EXPECT_TRUE(entries.contains("Options/Mode2=1"));
}

struct IntervalRow {
    const char *typed;
    long iC;           // -1: not handed over
    int errors;
};

void PrintTo(const IntervalRow &r, std::ostream *os)
{
    *os << "typed \"" << r.typed << '"';
}

class SavedInterval : public SettingsDialogTest, public ::testing::WithParamInterface<IntervalRow> {};

TEST_P(SavedInterval, IsStoredAsTypedAndHandedToTheHostWhenItIsANumber)
{
    auto dlg = open();
    dlg->Combo1->setTextValue(GetParam().typed);
    dlg->Option1[1]->setChecked(true);
    dlg->cmdSave_Click();
    EXPECT_EQ(host.iC, GetParam().iC);
    ASSERT_EQ(errorCount(), GetParam().errors);
    if (GetParam().errors) {
        EXPECT_TRUE(errorText().contains("program error #13 (Type mismatch)")) << errorText().toStdString();
        EXPECT_TRUE(errorText().contains("module frmSettings, Sub cmdSave_Click")) << errorText().toStdString();
    }
    // The keys after the failed conversion are written all the same.
    const QStringList entries = iniEntries(sandbox.readIni());
    EXPECT_EQ(entries.size(), 10);
    EXPECT_TRUE(entries.contains(QStringLiteral("Options/Intervall=") + GetParam().typed));
    EXPECT_TRUE(entries.contains("Options/CompRate=6"));
    EXPECT_EQ(entries.value(9), "Options/Mode2=1");
    EXPECT_FALSE(dlg->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Intervals, SavedInterval,
                         ::testing::Values(IntervalRow{"0", 0, 0}, IntervalRow{"45", 45, 0},
                                           IntervalRow{"x", -1, 1}));

TEST_F(SettingsDialogTest, SaveBeforeTheHostHasLoadedWritesNothingButCloses)
{
    const QByteArray before = "[Options]\r\nIntervall=5\r\n";
    sandbox.writeIni(before);
    host.bSave = false;
    auto dlg = open();
    dlg->show();
    dlg->Combo1->setTextValue("30");
    dlg->cmdSave_Click();
    EXPECT_EQ(sandbox.readIni(), before);
    EXPECT_EQ(host.iC, -1);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(SettingsDialogTest, TheRealButtonsRunTheirProcedures)
{
    auto dlg = open();
    dlg->show();
    dlg->Combo1->setTextValue("7");
    QTest::mouseClick(dlg->cmdSave, Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(host.iC, 7);
    EXPECT_TRUE(iniEntries(sandbox.readIni()).contains("Options/Intervall=7"));

    auto second = open();
    second->show();
    second->dxLanguage->setTextValue("English");
    second->cmdCancel->click();
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(strLanguage, "Deutsch");
}

TEST_F(SettingsDialogTest, ShownModallyItReturnsWhenSaveOrCancelIsPressed)
{
    auto dlg = open();
    WhenModalIsUp<frmSettings> save([&](frmSettings &shown) {
        EXPECT_EQ(&shown, dlg.get());
        EXPECT_TRUE(shown.isVisible());
        shown.Combo1->setTextValue("3");
        QTest::mouseClick(shown.cmdSave, Qt::LeftButton);
    });
    dlg->exec();
    EXPECT_TRUE(save.seen());
    EXPECT_EQ(host.iC, 3);

    auto second = open();
    WhenModalIsUp<frmSettings> cancel([&](frmSettings &shown) {
        shown.dxLanguage->setTextValue("English");
        QTest::mouseClick(shown.cmdCancel, Qt::LeftButton);
    });
    second->exec();
    EXPECT_TRUE(cancel.seen());
    EXPECT_EQ(strLanguage, "Deutsch");
    EXPECT_TRUE(iniEntries(sandbox.readIni()).contains("Options/Intervall=3"));
}

}  // namespace
