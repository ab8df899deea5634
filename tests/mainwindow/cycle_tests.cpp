// The main window driven headless through its download cycle, with a
// component that only records what it was asked: state changes, captions,
// countdown texts, messages and what lands in the save folder.

#include "shell/ProgressBox.h"
#include "mainwindow/frmMain.h"
#include "shell/Controls.h"
#include "trace/PromptService.h"
#include "startup/FileSystem.h"
#include "startup/modGlobal.h"
#include "startup/modText.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/FakeTray.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    ASSERT_TRUE(fetchora::testing::writeFile(path, data));
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        saveDir = sandbox.makeFolder("save");
    }

    // Loads a window over the current fcr.ini, with the given command line.
    std::unique_ptr<frmMain> load(QStringList arguments = {})
    {
        MainWindowSeams seams;
        seams.prompt = &sandbox.prompt;
        seams.downloads = fakeDownloadFactory(log);
        seams.tray = [](QObject *parent) { return std::make_unique<FakeTray>(parent); };
        seams.arguments = std::move(arguments);
        auto w = std::make_unique<frmMain>(std::move(seams));
        w->Form_Load();
        return w;
    }

    std::unique_ptr<frmMain> loadWithFields(const QByteArray &options = {})
    {
        sandbox.writeIni("[Options]\r\nURL=http://127.0.0.1:9/files/report.txt\r\nSavePath=" + saveDir.toUtf8()
                         + "\r\n" + options);
        return load();
    }

    // The component finished: the file it wrote is in tmp/.
    void finishWith(frmMain &w, const QByteArray &content)
    {
        writeFile(w.sTmpFile, content);
        w.FileDownload_Finished();
    }

    AppSandbox sandbox;
    std::shared_ptr<FakeDownloadLog> log = std::make_shared<FakeDownloadLog>();
    QString saveDir;
};

// ---------------------------------------------------------------------------

TEST_F(MainWindowTest, LoadingTakesFieldsAndIntervalFromTheSettingsFile)
{
    sandbox.writeIni("[Options]\nURL=http://example.invalid/a.bin\nSavePath=/data\nIntervall=0\nCompress=True\n");
    auto w = load();
    EXPECT_EQ(w->txtURL->Text(), "http://example.invalid/a.bin");
    EXPECT_EQ(w->txtSPlace->Text(), "/data");
    EXPECT_EQ(w->iC, 1) << "a stored 0 minutes means 1";
    EXPECT_TRUE(w->bCompress);
    EXPECT_TRUE(w->bSave);
    EXPECT_FALSE(w->bLoading);
    EXPECT_FALSE(w->cmdAbort->isEnabled());
    EXPECT_TRUE(w->lblStatus->isHidden());
    EXPECT_EQ(w->windowTitle(), "TAQ Fetchora");
    EXPECT_EQ(w->cmdStart->Caption(), "&Start");
    EXPECT_EQ(w->cmdSettings->Caption(), "&Settings");
    EXPECT_EQ(w->lblSavePath->text(), "Folder for downloaded files");
    EXPECT_EQ(sandbox.registry.value("Version"), "1.00.02");
    EXPECT_EQ(sandbox.registry.value("Language"), "English");
    EXPECT_EQ(sandbox.registry.value("AppPath"), sandbox.folder());
    EXPECT_EQ(sandbox.errorPrompt.count(), 0);
}

TEST_F(MainWindowTest, BadStoredValuesAreReportedAndTheRestStillLoads)
{
    sandbox.writeIni("[Options]\nURL=u\nSavePath=s\nIntervall=x\nCompress=yes\n");
    auto w = load();
    ASSERT_EQ(sandbox.errorPrompt.count(), 2);
    EXPECT_TRUE(sandbox.errorPrompt.shown()[0].text.contains("error #13 (Type mismatch)"));
    EXPECT_TRUE(sandbox.errorPrompt.shown()[0].text.contains("module frmMain, Sub Form_Load"));
    EXPECT_EQ(w->txtURL->Text(), "u");
    EXPECT_EQ(w->txtSPlace->Text(), "s");
    EXPECT_FALSE(w->bLoading);
}

TEST_F(MainWindowTest, GermanIsTheLanguageUnlessEnglishIsNamedExactly)
{
    for (const char *language : {"english", "", "Deutsch", "ENGLISH"}) {
        strLanguage = language;
        auto w = load();
        EXPECT_EQ(w->cmdQuit->Caption(), "&Beenden") << language;
    }
    strLanguage = "English";
    EXPECT_EQ(load()->cmdQuit->Caption(), "&Quit");
}

struct CommandLineRow {
    QStringList arguments;
    bool active;
    bool minimised;
};

class CommandLineTest : public MainWindowTest, public ::testing::WithParamInterface<CommandLineRow> {};

TEST_P(CommandLineTest, SwitchesAreFoundAnywhereWithExactCase)
{
    sandbox.writeIni("[Options]\nURL=http://127.0.0.1:9/x.txt\nSavePath=" + saveDir.toUtf8() + "\n");
    auto w = load(GetParam().arguments);
    EXPECT_EQ(w->bActive, GetParam().active);
    EXPECT_EQ(bool(w->windowState() & Qt::WindowMinimized), GetParam().minimised);
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandLineTest,
                         ::testing::Values(CommandLineRow{{"-s"}, true, false}, CommandLineRow{{"-s", "-m"}, true, true},
                                           CommandLineRow{{"-m"}, false, false}, CommandLineRow{{"-S"}, false, false},
                                           CommandLineRow{{"-silent"}, true, false}, CommandLineRow{{}, false, false}));

TEST_F(MainWindowTest, StartFromTheCommandLineWithAnEmptyUrlAsksForOneAndStaysOff)
{
    sandbox.writeIni("[Options]\nSavePath=" + saveDir.toUtf8() + "\n");
    auto w = load({"-s", "-m"});
    EXPECT_FALSE(w->bActive);
    ASSERT_EQ(sandbox.prompt.count(), 1);
    EXPECT_EQ(sandbox.prompt.last().text, "Please enter a valid URL");
    EXPECT_EQ(sandbox.prompt.last().style, mb::Information | mb::OKOnly);
    EXPECT_EQ(sandbox.prompt.last().title, "");
    EXPECT_TRUE(w->windowState() & Qt::WindowMinimized) << "-m follows -s whether or not the start was accepted";
}

TEST_F(MainWindowTest, StartWithoutFolderAsksForOne)
{
    sandbox.writeIni("[Options]\nURL=http://127.0.0.1:9/x.txt\n");
    auto w = load();
    w->cmdStart_Click();
    EXPECT_FALSE(w->bActive);
    ASSERT_EQ(sandbox.prompt.count(), 1);
    EXPECT_EQ(sandbox.prompt.last().text, "Please enter a folder for downloaded files");
}

TEST_F(MainWindowTest, CountdownShowsSecondsLeftAndDownloadsOnTheLastTick)
{
    auto w = loadWithFields();
    w->cmdStart_Click();
    EXPECT_TRUE(w->bActive);
    EXPECT_TRUE(w->Timer1.isActive());
    EXPECT_EQ(w->windowTitle(), "TAQ Fetchora [Active]");
    EXPECT_EQ(w->cmdStart->Caption(), "&Stop");
    for (QWidget *c : {static_cast<QWidget *>(w->cmdSettings), static_cast<QWidget *>(w->cmdBrowse),
                       static_cast<QWidget *>(w->txtSPlace), static_cast<QWidget *>(w->txtURL)})
        EXPECT_FALSE(c->isEnabled());

    for (int tick = 1; tick <= 59; ++tick) {
        w->Timer1_Timer();
        ASSERT_EQ(w->lblStatus->text(), QString::number(60 - tick) + " seconds until next download");
        ASSERT_TRUE(log->starts.isEmpty());
    }
    EXPECT_FALSE(w->lblStatus->isHidden());
    w->Timer1_Timer();
    ASSERT_EQ(log->starts.size(), 1);
    EXPECT_EQ(log->starts[0].url, "http://127.0.0.1:9/files/report.txt");
    EXPECT_EQ(log->starts[0].target, sandbox.folder() + "/tmp/report.txt");
    EXPECT_EQ(w->lCounter, 0);
    EXPECT_TRUE(w->cmdAbort->isEnabled());
    EXPECT_FALSE(w->cmdStart->isEnabled());
    EXPECT_TRUE(QDir(sandbox.folder() + "/tmp").exists());

    // A tick while the transfer runs replaces it: a new instance, the old one gone.
    w->iC = 1;
    for (int tick = 1; tick <= 60; ++tick)
        w->Timer1_Timer();
    EXPECT_EQ(log->starts.size(), 2);
    EXPECT_EQ(log->alive, 1);
}

TEST_F(MainWindowTest, StopReturnsToIdle)
{
    auto w = loadWithFields();
    w->cmdStart_Click();
    w->Timer1_Timer();
    w->cmdStart_Click();
    EXPECT_FALSE(w->bActive);
    EXPECT_FALSE(w->Timer1.isActive());
    EXPECT_EQ(w->lCounter, 0);
    EXPECT_EQ(w->cmdStart->Caption(), "&Start");
    EXPECT_TRUE(w->lblStatus->isHidden());
    EXPECT_EQ(w->windowTitle(), "TAQ Fetchora");
    EXPECT_TRUE(w->txtURL->isEnabled());
    EXPECT_TRUE(w->cmdSettings->isEnabled());
}

TEST_F(MainWindowTest, ImmediateStartCountsOnlyAfterTheFirstFileIsStored)
{
    auto w = loadWithFields("Start=1\r\nMode1=0\r\n");
    w->cmdStart_Click();
    ASSERT_EQ(log->starts.size(), 1);
    EXPECT_TRUE(w->bStartedNow);
    EXPECT_FALSE(w->Timer1.isActive()) << "no countdown during the first transfer";

    w->FileDownload_Start();
    w->FileDownload_Progress(5, 10);
    EXPECT_EQ(w->lblStatus->text(), "5 of 10 Bytes");
    finishWith(*w, "first");

    EXPECT_FALSE(w->bStartedNow);
    EXPECT_TRUE(w->Timer1.isActive());
    EXPECT_EQ(w->lblStatus->text(), "Download competed");
    EXPECT_TRUE(w->cmdStart->isEnabled());
    EXPECT_FALSE(w->cmdAbort->isEnabled());
    EXPECT_EQ(log->alive, 0) << "the finished component is released";
    EXPECT_EQ(readAll(saveDir + "/report.txt"), "first");
    EXPECT_FALSE(QFile::exists(w->sTmpFile));
    EXPECT_EQ(w->picProgress->barWidth(), 0);
}

TEST_F(MainWindowTest, StartRejectingAMissingFolderGivesTheButtonBack)
{
    auto w = loadWithFields();
    w->cmdStart_Click();
    QDir(saveDir).removeRecursively();
    for (int tick = 1; tick <= 60; ++tick)
        w->Timer1_Timer();
    ASSERT_EQ(sandbox.prompt.count(), 1);
    EXPECT_EQ(sandbox.prompt.last().text, "The folder for downloaded files does not exist");
    EXPECT_TRUE(log->starts.isEmpty());
    EXPECT_TRUE(w->cmdStart->isEnabled());
    EXPECT_TRUE(w->bActive);
}

TEST_F(MainWindowTest, ARefusedTransferIsReleasedAndLeavesCancelOff)
{
    log->acceptStart = false;
    auto w = loadWithFields("Start=True\r\n");
    w->cmdStart_Click();
    EXPECT_EQ(log->starts.size(), 1);
    EXPECT_EQ(log->alive, 0);
    EXPECT_FALSE(w->cmdAbort->isEnabled());
    EXPECT_TRUE(w->cmdStart->isEnabled());
}

TEST_F(MainWindowTest, AnOldTemporaryFileIsDeletedBeforeTheNextTransfer)
{
    auto w = loadWithFields("Start=1\r\n");
    QDir().mkpath(sandbox.folder() + "/tmp");
    writeFile(sandbox.folder() + "/tmp/report.txt", "stale");
    w->cmdStart_Click();
    EXPECT_FALSE(QFile::exists(sandbox.folder() + "/tmp/report.txt"));
}

TEST_F(MainWindowTest, CancelAsksAndOnlyYesAborts)
{
    auto w = loadWithFields("Start=1\r\n");
    w->cmdStart_Click();

    sandbox.prompt.answerNext(mb::No);
    w->cmdAbort_Click();
    EXPECT_EQ(log->aborts, 0);
    EXPECT_TRUE(w->cmdAbort->isEnabled());
    EXPECT_EQ(sandbox.prompt.last().text, "Cancel download?");
    EXPECT_EQ(sandbox.prompt.last().title, "Download");
    EXPECT_EQ(sandbox.prompt.last().style, mb::Question | mb::YesNo | mb::DefaultButton2);

    sandbox.prompt.answerNext(mb::Yes);
    w->cmdAbort_Click();
    EXPECT_EQ(log->aborts, 1);
    EXPECT_EQ(w->lblStatus->text(), "Download canceled");
    EXPECT_FALSE(w->cmdAbort->isEnabled());
    EXPECT_TRUE(w->cmdStart->isEnabled());

    w->FileDownload_Abort();
    EXPECT_TRUE(w->Timer1.isActive()) << "the countdown goes on after an abort";
    EXPECT_EQ(w->cmdStart->Caption(), "&Stop");
}

TEST_F(MainWindowTest, QuitWithARunningTransferAsksButClosesWhateverTheAnswer)
{
    auto w = loadWithFields("Start=1\r\n");
    w->cmdStart_Click();
    w->txtURL->setTextValue("");
    sandbox.prompt.answerNext(mb::No);
    w->show();
    w->cmdQuit_Click();
    EXPECT_EQ(sandbox.prompt.count(), 1);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(log->aborts, 0);
    EXPECT_EQ(log->alive, 0) << "the transfer ends with the window";
    EXPECT_TRUE(sandbox.readIni().contains("URL=\r\n")) << sandbox.readIni().constData();
    EXPECT_TRUE(sandbox.readIni().contains("SavePath=" + saveDir.toUtf8()));
}

TEST_F(MainWindowTest, NotFoundEndsTheCycleAndAlwaysSaysSo)
{
    auto w = loadWithFields("Start=1\r\n");
    w->cmdStart_Click();
    w->FileDownload_NotFound();
    EXPECT_FALSE(w->bActive);
    EXPECT_TRUE(w->cmdStart->isEnabled());
    EXPECT_EQ(w->cmdStart->Caption(), "&Start");
    ASSERT_EQ(sandbox.prompt.count(), 1);
    EXPECT_EQ(sandbox.prompt.last().text,
              "File not found!\r\nHTTP Code 404\r\n\r\nPlease check the address in the URL field");
    EXPECT_EQ(sandbox.prompt.last().title, "Invalid URL");
    EXPECT_EQ(sandbox.prompt.last().style, mb::Exclamation | mb::OKOnly);
}

TEST_F(MainWindowTest, ConnectionErrorsAreShownOnlyWhenAskedFor)
{
    {
        auto w = loadWithFields("Start=1\r\n");
        w->cmdStart_Click();
        w->FileDownload_ConnectionError(7, "Couldn't connect to server");
        EXPECT_EQ(sandbox.prompt.count(), 0);
        EXPECT_TRUE(w->cmdStart->isEnabled());
        EXPECT_FALSE(w->Timer1.isActive()) << "an error in the first transfer stalls the countdown";
        EXPECT_TRUE(w->cmdAbort->isEnabled());
    }
    auto w = loadWithFields("Start=1\r\nShowErrors=1\r\n");
    w->cmdStart_Click();
    w->FileDownload_DownloadError(500, "HTTP 500 Internal Server Error");
    ASSERT_EQ(sandbox.prompt.count(), 1);
    EXPECT_EQ(sandbox.prompt.last().text, "Error while connecting!\r\nError: 500\r\nHTTP 500 Internal Server Error");
    EXPECT_EQ(sandbox.prompt.last().title, "TAQ Fetchora - Connection error");
    EXPECT_EQ(sandbox.prompt.last().style, mb::Critical | mb::OKOnly);
    EXPECT_TRUE(w->cmdStart->isEnabled()) << "a failed transfer never leaves the button dead";
}

TEST_F(MainWindowTest, ErrorsDuringLoadingAreIgnored)
{
    auto w = loadWithFields("ShowErrors=1\r\n");
    w->bLoading = true;
    w->FileDownload_ConnectionError(7, "x");
    w->FileDownload_DownloadError(7, "x");
    EXPECT_EQ(sandbox.prompt.count(), 0);
}

TEST_F(MainWindowTest, VersionCheckComparesWithTheLastVersionSeen)
{
    auto w = loadWithFields("Start=1\r\nCheckVersion=1\r\n");
    w->cmdStart_Click();
    w->FileDownload_ShowVersion("\"v1\"");
    w->FileDownload_ShowVersion("\"v1\"");
    w->FileDownload_ShowVersion("\"V1\"");
    EXPECT_EQ(log->sameVersion, (QList<bool>{false, true, false}));
    w->txtURL->setTextValue("http://127.0.0.1:9/other.txt");
    w->FileDownload_ShowVersion("\"V1\"");
    EXPECT_EQ(log->sameVersion.last(), false) << "a new address never counts as the same version";
}

TEST_F(MainWindowTest, VersionCheckOffAnswersNothing)
{
    auto w = loadWithFields("Start=1\r\n");
    w->cmdStart_Click();
    w->FileDownload_ShowVersion("\"v1\"");
    EXPECT_TRUE(log->sameVersion.isEmpty());
    EXPECT_TRUE(w->sLastVersion.isEmpty());
}

// ---------------------------------------------------------------------------
// Progress bar

struct ProgressRow {
    qint64 value, maximum;
    bool withText;
    int expectedPercent;  // -1: the box stays empty
};

class ProgressTest : public MainWindowTest, public ::testing::WithParamInterface<ProgressRow> {};

TEST_P(ProgressTest, BarAndPercentage)
{
    auto w = load();
    const ProgressRow row = GetParam();
    w->ShowProgress(w->picProgress, row.value, 0, row.maximum, row.withText);
    ProgressBox *box = w->picProgress;
    if (row.expectedPercent < 0) {
        EXPECT_EQ(box->barWidth(), 0);
        EXPECT_TRUE(box->shownText().isEmpty());
        return;
    }
    const int expectedWidth = int(std::nearbyint(box->ScaleWidth() / 100.0 * row.expectedPercent));
    EXPECT_EQ(box->barWidth(), expectedWidth);
    if (row.withText) {
        EXPECT_EQ(box->shownText(), QString::number(row.expectedPercent) + " %");
        const int x = (box->ScaleWidth() - box->textWidth(box->shownText())) / 2;
        EXPECT_EQ(box->textColor(), x <= expectedWidth ? QColor(Qt::white) : QColor(Qt::black));
    }
    if (expectedWidth > 0) {
        EXPECT_EQ(box->image().pixelColor(0, 0), QColor(0, 0, 192));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgressTest,
                         ::testing::Values(ProgressRow{0, 100, true, -1}, ProgressRow{1, 200, true, 1},
                                           ProgressRow{1, 300, true, 0}, ProgressRow{50, 100, true, 50},
                                           ProgressRow{500, 100, true, 100}, ProgressRow{5, 0, true, -1},
                                           ProgressRow{5, -1, true, -1}, ProgressRow{-5, 100, true, -1},
                                           ProgressRow{99, 100, false, 99},
                                           ProgressRow{qint64(6) << 30, qint64(8) << 30, true, 75}));

TEST_F(MainWindowTest, OnePercentOfThreeHundredDrawsBlackTextOnAnEmptyBar)
{
    auto w = load();
    w->FileDownload_Progress(1, 300);
    EXPECT_EQ(w->lblStatus->text(), "1 of 300 Bytes");
    EXPECT_EQ(w->picProgress->barWidth(), 0);
    EXPECT_EQ(w->picProgress->shownText(), "0 %");
    EXPECT_EQ(w->picProgress->textColor(), QColor(Qt::black));
}

TEST_F(MainWindowTest, ProgressOfFilesOverFourGigabytesIsCountedIn64Bits)
{
    auto w = load();
    const qint64 size = (qint64(5) << 30) + 7;
    w->FileDownload_Progress(size - 7, size);
    EXPECT_EQ(w->lblStatus->text(), QString::number(size - 7) + " of " + QString::number(size) + " Bytes");
    EXPECT_EQ(w->picProgress->shownText(), "100 %");
}

// ---------------------------------------------------------------------------
// Storing the finished file

TEST_F(MainWindowTest, WithoutStampEachCycleReplacesThePlainCopy)
{
    auto w = loadWithFields("Start=1\r\nMode1=0\r\n");
    w->cmdStart_Click();
    finishWith(*w, "one");
    EXPECT_EQ(readAll(saveDir + "/report.txt"), "one");
    for (int tick = 1; tick <= 60; ++tick)
        w->Timer1_Timer();
    finishWith(*w, "two");
    EXPECT_EQ(readAll(saveDir + "/report.txt"), "two");
    EXPECT_EQ(QDir(saveDir).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(MainWindowTest, StampedCopiesCarryDateAndTimeBeforeTheExtension)
{
    auto w = loadWithFields("Start=1\r\n");
    w->cmdStart_Click();
    finishWith(*w, "stamped");
    const QStringList files = QDir(saveDir).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0], "report_" + w->sDate + "_" + w->sTime + ".txt");
    EXPECT_FALSE(w->sDate.contains('/'));
    EXPECT_FALSE(w->sTime.contains(':'));
}

TEST_F(MainWindowTest, ALostTemporaryFileKeepsTheOldCopy)
{
    auto w = loadWithFields("Start=1\r\nMode1=0\r\n");
    writeFile(saveDir + "/report.txt", "old");
    w->cmdStart_Click();
    w->FileDownload_Finished();  // nothing at sTmpFile
    EXPECT_EQ(readAll(saveDir + "/report.txt"), "old");
    EXPECT_EQ(w->lblStatus->text(), "Download competed");
}

TEST_F(MainWindowTest, AFailedMoveKeepsTheOldCopyAndReportsIt)
{
    auto w = loadWithFields("Start=1\r\nMode1=0\r\n");
    writeFile(saveDir + "/report.txt", "old");
    w->cmdStart_Click();
    // A folder in the way of the staging name makes the replacement fail.
    QDir().mkpath(saveDir + "/.report.txt.fetchora-new/blocker");
    finishWith(*w, "new");
    EXPECT_EQ(readAll(saveDir + "/report.txt"), "old");
    EXPECT_EQ(sandbox.errorPrompt.count(), 1);
    EXPECT_TRUE(sandbox.errorPrompt.last().text.contains("Sub FileDownload_Finished"));
    EXPECT_EQ(readAll(w->sTmpFile), "new") << "the new download is not lost either";
    EXPECT_TRUE(w->cmdStart->isEnabled());
}

TEST_F(MainWindowTest, CompressedCyclesLeaveOnlyArchives)
{
    auto w = loadWithFields("Start=1\r\nMode1=0\r\nPwd=secret\r\nCompRate=9\r\n");
    w->bCompress = true;
    w->cmdStart_Click();
    finishWith(*w, QByteArray(10000, 'a'));
    const QStringList files = QDir(saveDir).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files, QStringList{"report.zip"});
    EXPECT_FALSE(QFile::exists(w->sTmpFile));
    EXPECT_EQ(sandbox.errorPrompt.count(), 0);
}

TEST_F(MainWindowTest, AFailedCompressionKeepsTheDownloadedFile)
{
    auto w = loadWithFields("Start=1\r\nMode1=0\r\n");
    w->bCompress = true;
    w->cmdStart_Click();
    QDir(saveDir).removeRecursively();
    finishWith(*w, "keep me");
    EXPECT_EQ(readAll(w->sTmpFile), "keep me");
    EXPECT_EQ(sandbox.errorPrompt.count(), 1);
}

TEST_F(MainWindowTest, TicksAndQuitWaitWhileAFileIsBeingStored)
{
    auto w = loadWithFields("Mode1=0\r\n");
    w->bCompress = true;
    w->cmdStart_Click();
    for (int tick = 1; tick <= 60; ++tick)
        w->Timer1_Timer();
    ASSERT_EQ(log->starts.size(), 1);
    w->lCounter = 59;
    writeFile(w->sTmpFile, QByteArray(1 << 20, 'x'));
    w->show();

    // While the archive is written: a tick that would start the next download,
    // a click on Quit and the close box.
    bool sawProcessing = false;
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, w.get(), [&] {
        if (!w->bProcessing)
            return;
        sawProcessing = true;
        w->Timer1_Timer();
        w->cmdQuit_Click();
        w->close();
        EXPECT_EQ(log->starts.size(), 1) << "no new download while storing";
        EXPECT_TRUE(w->isVisible());
    });
    poke.start(0);
    w->FileDownload_Finished();
    poke.stop();
    EXPECT_TRUE(QFile::exists(saveDir + "/report.zip"));
    // Afterwards the deferred quit runs.
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
    if (!sawProcessing)
        GTEST_SKIP() << "compression finished before the event loop ran";
}

TEST_F(MainWindowTest, MinimisingPutsTheWindowIntoTheTrayWithTitleAndUrl)
{
    auto w = loadWithFields();
    w->cmdStart_Click();
    w->setWindowState(Qt::WindowMinimized);
    w->Form_Resize();
    auto *tray = static_cast<FakeTray *>(w->sevTray1.get());
    EXPECT_TRUE(tray->isShown());
    EXPECT_EQ(tray->toolTip(), "TAQ Fetchora [Active] [http://127.0.0.1:9/files/report.txt]");
}

}  // namespace
