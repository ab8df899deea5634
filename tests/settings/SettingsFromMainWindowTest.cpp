// The settings dialog opened the way the user opens it: from the main
// window's Settings button, modal, answered by pressing one of its buttons.

#include "mainwindow/frmMain.h"
#include "settings/frmSettings.h"
#include "shell/Controls.h"
#include "shell/TrayLayer.h"
#include "startup/modGlobal.h"
#include "startup/modText.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "settings/WhenModalIsUp.h"

#include <QApplication>
#include <QPointer>
#include <gtest/gtest.h>

#include <functional>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

// A tray that is never there: the window stays on the taskbar.
class AbsentTray : public TrayLayer {
public:
    using TrayLayer::TrayLayer;
    void setIcon(const QIcon &) override {}
    void setStyleValue(int) override {}
    void setToolTip(const QString &t) override { m_tip = t; }
    QString toolTip() const override { return m_tip; }
    void Show() override {}
    void Remove() override {}
    bool isShown() const override { return false; }
    void setRestored(bool) override {}
    void AddMenuItem(const QString &, const QString &) override {}
    void ShowMenu() override {}
    bool available() const override { return false; }

private:
    QString m_tip;
};

class SettingsFromMainWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<frmMain> load(std::function<void()> showSettings = {})
    {
        MainWindowSeams seams;
        seams.prompt = &sandbox.prompt;
        seams.downloads = fakeDownloadFactory(std::make_shared<FakeDownloadLog>());
        seams.tray = [](QObject *parent) { return std::make_unique<AbsentTray>(parent); };
        seams.showSettings = std::move(showSettings);
        auto w = std::make_unique<frmMain>(std::move(seams));
        w->Form_Load();
        return w;
    }

    AppSandbox sandbox{QStringLiteral("Deutsch")};
};

TEST_F(SettingsFromMainWindowTest, SaveInTheModalDialogReachesTheWindow)
{
    sandbox.writeIni("[Options]\r\nCompress=0\r\nIntervall=5\r\n");
    auto w = load();
    ASSERT_FALSE(w->bCompress);
    ASSERT_EQ(w->iC, 5);

    QPointer<frmSettings> opened;
    WhenModalIsUp<frmSettings> answer([&](frmSettings &dlg) {
        opened = &dlg;
        EXPECT_EQ(dlg.parentWidget(), w.get());
        EXPECT_EQ(dlg.Combo1->Text(), "5");
        dlg.dxLanguage->setTextValue("English");
        EXPECT_EQ(w->cmdSettings->Caption(), "&Settings") << "the main window follows while the dialog is open";
        dlg.Check1->setChecked(true);
        dlg.Combo1->setTextValue("12");
        dlg.cmdSave->click();
    });
    w->cmdSettings_Click();

    EXPECT_TRUE(answer.seen());
    EXPECT_TRUE(opened.isNull()) << "the dialog is gone after its use";
    EXPECT_TRUE(w->bCompress) << "re-read from the file after the dialog";
    EXPECT_EQ(w->iC, 12);
    EXPECT_EQ(strLanguage, "English");
    EXPECT_EQ(sandbox.errorPrompt.count(), 0);
}

TEST_F(SettingsFromMainWindowTest, CancelInTheModalDialogLeavesTheWindowAsItWas)
{
    sandbox.writeIni("[Options]\r\nCompress=1\r\nIntervall=5\r\n");
    auto w = load();
    const QByteArray before = sandbox.readIni();
    WhenModalIsUp<frmSettings> answer([&](frmSettings &dlg) {
        dlg.dxLanguage->setTextValue("English");
        dlg.Check1->setChecked(false);
        dlg.cmdCancel->click();
    });
    w->cmdSettings_Click();

    EXPECT_TRUE(answer.seen());
    EXPECT_TRUE(w->bCompress);
    EXPECT_EQ(w->iC, 5);
    EXPECT_EQ(strLanguage, "Deutsch");
    EXPECT_EQ(w->cmdSettings->Caption(), "&Optionen");
    EXPECT_EQ(sandbox.readIni(), before);
}

TEST_F(SettingsFromMainWindowTest, TheSettingsSeamReplacesTheDialogAndCompressIsStillReRead)
{
    auto w = load([&] { sandbox.writeIni("[Options]\r\nCompress=True\r\n"); });
    ASSERT_FALSE(w->bCompress);
    w->cmdSettings_Click();
    EXPECT_TRUE(w->bCompress);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(SettingsFromMainWindowTest, AnUnreadableCompressSwitchIsReportedAfterTheDialog)
{
    auto w = load([&] { sandbox.writeIni("[Options]\r\nCompress=yes\r\n"); });
    w->bCompress = true;
    w->cmdSettings_Click();
    ASSERT_EQ(sandbox.errorPrompt.count(), 1);
    EXPECT_TRUE(sandbox.errorPrompt.last().text.contains("module frmMain, Sub cmdSettings_Click"))
        << sandbox.errorPrompt.last().text.toStdString();
    EXPECT_TRUE(w->bCompress) << "a failed read leaves the value as it was";
}

}  // namespace
