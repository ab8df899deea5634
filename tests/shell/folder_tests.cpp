// The folder dialog driven by the test, and the browse button with a fake.

#include "mainwindow/frmMain.h"
#include "shell/Controls.h"
#include "shell/FolderBrowser.h"
#include "shell/modBrowseFolders.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/FakeTray.h"

#include <QDir>
#include <QLabel>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

struct HookGuard {
    explicit HookGuard(std::function<void(FolderDialog &)> hook) { setFolderDialogHook(std::move(hook)); }
    ~HookGuard() { setFolderDialogHook(nullptr); }
};

TEST(FolderDialog, OpensOnTheTypedFolderAndReturnsItWithoutTrailingSeparator)
{
    AppSandbox sandbox;
    const QString folder = sandbox.makeFolder("a/b");
    QString seenStatus;
    HookGuard hook([&](FolderDialog &d) {
        seenStatus = d.statusText();
        d.accept();
    });
    QString title = "Find folder for downloaded files ...";
    EXPECT_EQ(BrowseForFolder(title, folder + "/", nullptr, true), folder);
    EXPECT_TRUE(seenStatus.startsWith("Auswahl: "));
}

TEST(FolderDialog, AMissingStartFolderSelectsNothing)
{
    HookGuard hook([](FolderDialog &d) {
        EXPECT_TRUE(d.selectedPath().isEmpty());
        d.accept();
    });
    QString title = "t";
    EXPECT_EQ(BrowseForFolder(title, "/no/such/folder/here", nullptr, true), "");
}

TEST(FolderDialog, CancelReturnsNothingAndRootStaysRoot)
{
    {
        HookGuard hook([](FolderDialog &d) { d.reject(); });
        QString title = "t";
        EXPECT_EQ(BrowseForFolder(title, QDir::tempPath(), nullptr, true), "");
    }
    HookGuard hook([](FolderDialog &d) { d.accept(); });
    QString title = "t";
    EXPECT_EQ(BrowseForFolder(title, "/", nullptr, true), "/");
}

TEST(FolderDialog, ATitleOfOnlyTheStatusMarkerIsDropped)
{
    QString shownTitle = "unset";
    HookGuard hook([&](FolderDialog &d) {
        shownTitle = d.windowTitle();
        d.reject();
    });
    QString title = "$";
    BrowseForFolder(title, "", nullptr, true);
    EXPECT_EQ(title, "");
    EXPECT_EQ(shownTitle, "");
}

TEST(FolderDialog, LongPathsAreShortenedInTheMiddle)
{
    AppSandbox sandbox;
    QString deep = "x";
    for (int i = 0; i < 12; ++i)
        deep += "/segment_with_a_long_name_" + QString::number(i);
    const QString folder = sandbox.makeFolder(deep);
    FolderDialog dialog(nullptr, "t", true);
    dialog.resize(300, 300);
    dialog.statusLabel()->resize(200, 20);
    ASSERT_TRUE(dialog.selectPath(folder));
    const QString status = dialog.statusText();
    EXPECT_TRUE(status.startsWith("Auswahl: "));
    EXPECT_TRUE(status.contains(QChar(0x2026))) << status.toStdString();
    EXPECT_TRUE(status.endsWith("11")) << "the end of the path stays readable";
}

class FixedBrowser : public FolderBrowser {
public:
    QString answer;
    QString seenTitle, seenStart;
    QString BrowseForFolder(QWidget *, const QString &title, const QString &startPath) override
    {
        seenTitle = title;
        seenStart = startPath;
        return answer;
    }
};

TEST(BrowseButton, FillsTheSaveFolderOrLeavesItOnCancel)
{
    AppSandbox sandbox;
    sandbox.writeIni("[Options]\nSavePath=/old\n");
    FixedBrowser browser;
    MainWindowSeams seams;
    seams.prompt = &sandbox.prompt;
    seams.downloads = fakeDownloadFactory(std::make_shared<FakeDownloadLog>());
    seams.tray = [](QObject *parent) { return std::make_unique<FakeTray>(parent); };
    seams.browser = &browser;
    frmMain w(std::move(seams));
    w.Form_Load();

    w.cmdBrowse_Click();
    EXPECT_EQ(w.txtSPlace->Text(), "/old");
    EXPECT_EQ(browser.seenStart, "/old");
    EXPECT_EQ(browser.seenTitle, "Find folder for downloaded files ...");

    browser.answer = "/new/place";
    w.cmdBrowse->click();
    EXPECT_EQ(w.txtSPlace->Text(), "/new/place");
}

}  // namespace
