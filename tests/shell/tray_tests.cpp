// Minimising to the tray and coming back, with a tray that records.

#include "mainwindow/frmMain.h"
#include "shell/Controls.h"
#include "startup/modGlobal.h"
#include "startup/modText.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/FakeTray.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

class TrayTest : public ::testing::Test {
protected:
    std::unique_ptr<frmMain> load(const QByteArray &ini)
    {
        sandbox.writeIni(ini);
        MainWindowSeams seams;
        seams.prompt = &sandbox.prompt;
        seams.downloads = fakeDownloadFactory(std::make_shared<FakeDownloadLog>());
        seams.tray = [](QObject *parent) { return std::make_unique<FakeTray>(parent); };
        auto w = std::make_unique<frmMain>(std::move(seams));
        w->Show();
        return w;
    }
    static FakeTray &tray(frmMain &w) { return *static_cast<FakeTray *>(w.sevTray1.get()); }
    static void minimise(frmMain &w)
    {
        w.setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
    }

    AppSandbox sandbox;
};

TEST_F(TrayTest, MinimisingShowsTheIconWithTitleAndUrl)
{
    auto w = load("[Options]\nURL=http://127.0.0.1:9/a.txt\n");
    minimise(*w);
    EXPECT_TRUE(tray(*w).isShown());
    EXPECT_EQ(tray(*w).tip, "TAQ Fetchora [http://127.0.0.1:9/a.txt]");
    EXPECT_EQ(w->windowTitle(), "TAQ Fetchora");
    EXPECT_EQ(tray(*w).style, 0);
    EXPECT_FALSE(tray(*w).restored);
    EXPECT_FALSE(tray(*w).icon.isNull());
}

TEST_F(TrayTest, ActiveCycleAndEmptyUrlShowInTheTooltip)
{
    auto w = load("");
    w->bActive = true;
    minimise(*w);
    EXPECT_EQ(tray(*w).tip, "TAQ Fetchora [Active] []");
    EXPECT_EQ(w->windowTitle(), "TAQ Fetchora [Active]");
}

TEST_F(TrayTest, ResizingWithoutMinimisingLeavesTrayAndCaptionAlone)
{
    auto w = load("");
    w->setWindowTitle("untouched");
    w->Form_Resize();
    EXPECT_FALSE(tray(*w).isShown());
    EXPECT_EQ(w->windowTitle(), "untouched");
}

TEST_F(TrayTest, RightClickMenuHoldsOpenThenExitOnceEachTime)
{
    auto w = load("");
    emit tray(*w).Click(1);
    EXPECT_TRUE(tray(*w).menus.isEmpty()) << "a left click shows no menu";
    emit tray(*w).Click(2);
    emit tray(*w).Click(2);
    ASSERT_EQ(tray(*w).menus.size(), 2);
    const QList<QPair<QString, QString>> expected{{"open", "&Open"}, {"exit", "&Quit"}};
    EXPECT_EQ(tray(*w).menus[0], expected);
    EXPECT_EQ(tray(*w).menus[1], expected);

    strLanguage = "Deutsch";
    InitGermanLabels();
    emit tray(*w).Click(2);
    EXPECT_EQ(tray(*w).menus[2][0].second, QString::fromUtf8("Ö&ffnen"));
}

TEST_F(TrayTest, DoubleClickAndOpenRestoreAlike)
{
    for (int way = 0; way < 2; ++way) {
        auto w = load("");
        minimise(*w);
        ASSERT_TRUE(tray(*w).isShown());
        if (way == 0)
            emit tray(*w).DblClick();
        else
            emit tray(*w).MenuClick(0, "open");
        QCoreApplication::processEvents();
        EXPECT_FALSE(w->windowState() & Qt::WindowMinimized) << way;
        EXPECT_TRUE(tray(*w).restored) << way;
        EXPECT_FALSE(tray(*w).isShown()) << way;
    }
}

TEST_F(TrayTest, ExitHidesAndUnloadsAtOnceEvenDuringATransfer)
{
    auto w = load("[Options]\nURL=u\nSavePath=s\n");
    w->cmdAbort->setEnabled(true);  // a transfer is running
    minimise(*w);
    emit tray(*w).MenuClick(0, "exit");
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(sandbox.prompt.count(), 0) << "no cancel question from the tray";
    EXPECT_TRUE(sandbox.readIni().contains("URL=u"));
}

TEST_F(TrayTest, UnknownMenuKeysDoNothing)
{
    auto w = load("");
    emit tray(*w).MenuClick(0, "Open");
    emit tray(*w).MenuClick(0, "EXIT");
    EXPECT_TRUE(w->isVisible());
}

}  // namespace
