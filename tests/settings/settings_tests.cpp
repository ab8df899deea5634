#include "settingsdialog/SettingsHost.h"
#include "settingsdialog/SettingsDialog.h"
#include "widgets/Controls.h"
#include "core/Conversions.h"
#include "core/IniFile.h"
#include "core/Texts.h"
#include "support/AppSandbox.h"
#include "support/QStringPrinter.h"
#include "support/UiTestMain.h"
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace fetchora;
using fetchora::testing::AppSandbox;

namespace {

// Keeps the owner's Settings caption of the last relabelling: the language it was switched to.
struct Host : SettingsHost {
    explicit Host(const Profile &profile) : profile(profile) {}
    void SetLabels() override { caption = profile.texts().capSettings; }
    const Profile &profile;
    bool saveAllowed() const override { return allowed; }
    void setInterval(long minutes) override { interval = minutes; }
    QString caption;
    long interval = -1;
    bool allowed = true;
};

void setTo(QCheckBox *box, bool on)
{
    if (box->isChecked() != on)
        QTest::keyClick(box, Qt::Key_Space);
}

template <class Row>
class Dialog : public ::testing::TestWithParam<Row> {
protected:
    void open(const QByteArray &ini)
    {
        if (!ini.isEmpty())
            sandbox.writeIni(ini);
        dlg.Form_Load();
        dlg.show();
    }
    // In the order of their keys Compress, Start, CheckVersion, ShowErrors, Mode1, Mode2.
    std::array<QCheckBox *, 6> boxes()
    {
        return {dlg.compressBox, dlg.startNowBox, dlg.checkVersionBox, dlg.showErrorsBox, dlg.nameModeButtons[0], dlg.nameModeButtons[1]};
    }
    AppSandbox sandbox{QStringLiteral("Deutsch")};
    Host host{*sandbox.profile};
    SettingsDialog dlg{host, *sandbox.profile, nullptr};
};

struct Loaded {
    const char *ini, *interval, *nextInterval, *level, *levelInEnglish, *pwd, *checks;
    int errors;
};
using Loading = Dialog<Loaded>;

TEST_P(Loading, ShowsTheStoredValuesAndTranslatesTheLevelToEnglish)
{
    const Loaded &p = GetParam();
    open(p.ini);
    EXPECT_EQ(dlg.languageBox->Text(), QString(p.ini).contains("English") ? "English" : "Deutsch");
    EXPECT_EQ(dlg.intervalBox->Text(), p.interval);
    QTest::keyClick(dlg.intervalBox, Qt::Key_Down);
    EXPECT_EQ(dlg.intervalBox->Text(), p.nextInterval) << "the interval list goes on from the value shown";
    EXPECT_EQ(dlg.passwordEdit->Text(), p.pwd);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(boxes()[i]->isChecked(), p.checks[i] == '1') << i;
    // Without compression the level and password fields and their labels are greyed, the fields on the button face.
    const bool on = p.checks[0] == '1';
    const QColor base = on ? QColor(Qt::white) : QApplication::palette().color(QPalette::Button);
    const QWidget *greyed[] = {dlg.rateBox->lineEdit(), dlg.passwordEdit, dlg.compressionLabel, dlg.passwordLabel};
    for (const QWidget *w : greyed)
        EXPECT_TRUE(w->isEnabled() == on && (w->inherits("QLabel") || w->palette().color(QPalette::Base) == base))
            << w->metaObject()->className();
    QTest::keyClicks(dlg.passwordEdit, QString(120, 'k'));  // 7-Zip refuses a hundred characters or more
    EXPECT_EQ(dlg.passwordEdit->Text(), on ? QString(99, 'k') : QString(p.pwd));
    EXPECT_EQ(dlg.rateBox->Text(), p.level);
    QTest::keyClick(dlg.languageBox, Qt::Key_Down);
    EXPECT_EQ(dlg.rateBox->Text(), p.levelInEnglish);
    EXPECT_EQ(dlg.rateBox->itemText(dlg.rateBox->currentIndex()), p.levelInEnglish)
        << "arrow keys move from the level shown";
    // A stored text that is no Boolean is reported by the loading procedure, which goes on.
    EXPECT_EQ(sandbox.errorPrompt.count(), p.errors);
    EXPECT_TRUE(!p.errors || sandbox.errorPrompt.last().text.contains("frmSettings, Sub Form_Load"));
}

// clang-format off
const Loaded kLoaded[] = {
    {"", "1", "2", "Normal", "Normal", "", "000010", 0},
    {"[Global]\nLanguage=English\n[Options]\nCompRate=0\nIntervall=\nPwd=x\n", "1", "2", "None", "None", "x", "000010", 0},
    {"[Options]\nCompRate=1\nIntervall=60\nCompress=1\nStart=1\nMode1=0\nMode2=1\n", "60", "120", "Gering", "Minimal", "", "110001", 0},
    {"[Options]\nCompRate=9\nCompress=&H10\nCheckVersion=True\nShowErrors=-1\n", "1", "2", "Hoch", "High", "", "101110", 0},
    {"[Options]\nCompRate=5\nStart=yes\nCheckVersion=1\nMode1=0\nMode2=1\n", "1", "2", "Keine", "None", "", "001001", 1},
};
INSTANTIATE_TEST_SUITE_P(, Loading, ::testing::ValuesIn(kLoaded));

// A language of its own is kept as it is, in German; a rate of no name is saved as None. A settings file of the older
// single-byte version shows in the dialog as its user wrote it, and a save keeps it so, in UTF-8.
TEST_F(Loading, SavingRewritesOnlyWhatChangedAndAWindows1252PasswordAsWritten)
{
    const QByteArray ini = "[Global]\r\nLanguage=Klingon\r\n[Options]\r\nIntervall=30\r\nCompRate=5\r\n"
                           "Pwd=\x80\x84\x93\xfc\xdf!\r\nCompress=&H10\r\nStart=True\r\nCheckVersion=-1\r\n"
                           "ShowErrors=false\r\nMode1=0\r\nMode2=-1\r\n";
    QSignalSpy languageChanges(dlg.languageBox, &PickField::Change);
    open(ini);
    EXPECT_EQ(languageChanges.count(), 1) << "a language that is no item of the list, set by the program, changes once";
    EXPECT_EQ(dlg.languageBox->Text() + host.caption + dlg.passwordEdit->Text(), "Klingon&Optionen€„“üß!");
    QTest::mouseClick(dlg.saveButton, Qt::LeftButton);
    EXPECT_EQ(sandbox.readIni(),
              QByteArray(ini).replace("CompRate=5", "CompRate=0").replace("\x80\x84\x93\xfc\xdf", "€„“üß"));
}

// end: 'S'ave, 'E'scape, Save while the host 'F'orbids it, 'R'eturn in a list, Return on Cancel ('N'). The
// interval takes digits only, up to the largest interval; Save waits for a whole number in range, and the dialog stays.
struct Edited {
    bool english;
    char end;
    const char *interval, *level, *pwd, *checks, *stored[4], *hostCaption;
};
using Editing = Dialog<Edited>;

TEST_P(Editing, SaveWritesEveryKeyAsShownAndNoOtherEndWrites)
{
    const Edited &e = GetParam();
    open("[Options]\nCompRate=1\nPwd=old\n");
    if (e.english)
        QTest::keyClick(dlg.languageBox, Qt::Key_Down);
    setTo(dlg.compressBox, true);  // the level and password take input only while compression is on
    const std::pair<QLineEdit *, const char *> typed[] = {
        {dlg.rateBox->lineEdit(), e.level}, {dlg.passwordEdit, e.pwd}, {dlg.intervalBox->lineEdit(), e.interval}};
    for (auto [edit, text] : typed) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    // Each box is set where Tab stops on the way from the language list: one it skips keeps its value.
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    dlg.languageBox->setFocus();
    const auto box = boxes();
    for (int n = 0; n < 20 && dlg.focusWidget() != dlg.saveButton; ++n, QTest::keyClick(dlg.focusWidget(), Qt::Key_Tab)) {
        if (const auto i = std::find(box.begin(), box.end(), dlg.focusWidget()) - box.begin(); i < 6)
            setTo(box[i], e.checks[i] == '1');
    }
    host.allowed = e.end != 'F';
    const bool saved = *e.stored[0] != '-';
    QWidget *returnIn = e.end == 'R' ? static_cast<QWidget *>(dlg.intervalBox) : dlg.cancelButton;
    if (e.end == 'E')
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Escape);
    else if (e.end == 'R' || e.end == 'N')
        returnIn->setFocus(), QTest::keyClick(returnIn, Qt::Key_Return);
    else
        QTest::mouseClick(dlg.saveButton, Qt::LeftButton);
    EXPECT_EQ(dlg.isVisible(), e.end == 'S' && !saved);
    EXPECT_EQ(host.caption, e.hostCaption);  // the language left in effect
    EXPECT_EQ(host.interval, saved ? QString(e.stored[2]).toLong() : -1);

    const char *keys[] = {"Language", "Pwd",          "Intervall",  "CompRate", "Compress",
                          "Start",    "CheckVersion", "ShowErrors", "Mode1",    "Mode2"};
    for (int i = 0; i < 10; ++i) {
        QString got = sandbox.ini().read(i ? "Options" : "Global", keys[i], "-", 256);
        if (i >= 4 && got != "-")
            got = CBool(got) ? "1" : "0";  // any text that reads back as the right Boolean will do
        EXPECT_EQ(got, i < 4 ? QString(e.stored[i]) : QString(saved ? e.checks[i - 4] : '-')) << keys[i];
    }
}

// Each ticked key has its own pattern over the saved rows, so a key written from the wrong box shows.
const Edited kEdited[] = {
    {true, 'S', "5256009", "High", "pw", "110001", {"English", "pw", "525600", "9"}, "&Settings"},
    {false, 'S', "x0y7", "typed", "pw2", "011010", {"Deutsch", "pw2", "07", "1"}, "&Optionen"},
    {true, 'S', "1440", "None", "c", "001101", {"English", "c", "1440", "0"}, "&Settings"},
    {true, 'E', "15", "High", "pw", "110001", {"-", "old", "-", "1"}, "&Optionen"},
    {true, 'F', "15", "High", "pw", "110001", {"-", "old", "-", "1"}, "&Settings"},
    {true, 'R', "15", "High", "pw", "110001", {"English", "pw", "15", "9"}, "&Settings"},
    {true, 'N', "15", "High", "pw", "110001", {"-", "old", "-", "1"}, "&Optionen"},
    {true, 'S', "0", "High", "pw", "110001", {"-", "old", "-", "1"}, "&Settings"},
};
INSTANTIATE_TEST_SUITE_P(, Editing, ::testing::ValuesIn(kEdited));

}  // namespace

FETCHORA_QT_TEST_MAIN("fetchora-settings-tests-no-viewer")
