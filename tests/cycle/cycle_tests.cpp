// The cycle's decisions, as scenarios on the real window: options and steps
// in, then the phase, what the window shows, what the engine was asked, the
// boxes, and the files.

#include "CycleRig.h"
#include "startup/WorkJournal.h"
#include "support/ZipRead.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;
using Phase = DownloadCycle::Phase;

namespace {

struct Scenario {
    const char *name;
    QByteArray options;
    QString steps;
    Phase phase;
    int starts;  // StartDownload calls
    bool startEnabled, abortEnabled;
    QString status;   // status line text; "*" any
    QString lastBox;  // text of the last box, "" none
};

const QString k1s = QStringLiteral("1 seconds until next download");

using enum DownloadCycle::Phase;
const Scenario kScenarios[] = {
    {"CountsDownFromTheInterval", "", "click tick*59", Counting, 0, true, false, k1s, ""},
    {"DownloadsOnTickSixty", "", "click tick*60", Fetching, 1, false, true, "*", ""},
    {"FinishedGoesBackToCounting", "", "click tick*60 finish", Counting, 1, true, false, "Download competed", ""},
    {"StartsAtOnceWithoutCountdown", "Start=1\n", "click tick*120", FirstFetch, 1, false, true, "", ""},
    {"FirstFetchFinishedStartsTheCountdown", "Start=1\n", "click finish tick*60", Fetching, 2, false, true, "*", ""},
    {"FirstFetchCountsFromItsEnd", "Start=1\n", "click sleep:30 finish tick*59", Counting, 1, true, false, k1s, ""},
    {"FirstFetchErrorCountsDown", "Start=1\n", "click connerr tick*59", Counting, 1, true, false, k1s, ""},
    {"FirstFetchRefusedCountsDown", "Start=1\n", "refuse click tick*59", Counting, 1, true, false, k1s, ""},
    {"FirstFetchErrorRetriesAnIntervalLater", "Start=1\n", "click dlerr tick*60", Fetching, 2, false, true, "*", ""},
    {"ErrorWhileCountingGoesOn", "", "click tick*60 dlerr tick*60", Fetching, 2, false, true, "*", ""},
    {"ErrorsSilentByDefault", "", "click tick*60 connerr", Counting, 1, true, false, "*", ""},
    {"ErrorsShownWhenAsked", "ShowErrors=1\n", "click tick*60 dlerr", Counting, 1, true, false, "*",
     "Error while connecting!\r\nError: 500\r\nHTTP 500 Internal Server Error"},
    {"StopReturnsToIdle", "", "click tick*30 click tick*60", Idle, 0, true, false, "*", ""},
    {"NotFoundStopsAndSays404", "", "click tick*60 notfound tick*60", Idle, 1, true, false, "*",
     "File not found!\r\nHTTP Code 404\r\n\r\nPlease check the address in the URL field"},
    {"CancelYesAbortsAndCountsOn", "", "click tick*60 cancel:yes abort", Counting, 1, true, false, "Download canceled",
     "Cancel download?"},
    {"CancelYesOffersStopAtOnce", "", "click tick*60 cancel:yes", Cancelling, 1, true, false, "Download canceled",
     "Cancel download?"},
    {"CancelNoChangesNothing", "", "click tick*60 cancel:no", Fetching, 1, false, true, "*", "Cancel download?"},
    {"ProgressShowsBytes", "", "click tick*60 progress:1/200", Fetching, 1, false, true, "1 of 200 Bytes", ""},
    {"StopWhileCancellingStopsWhenTheTransferEnds", "Start=1\n", "click cancel:yes click finish tick*120", Idle, 1,
     true, false, "*", "Cancel download?"},
    {"StopResetsTheCountdown", "", "click tick*30 click click tick*59", Counting, 0, true, false, "*", ""},
    {"FolderGoneAtTheTickCountsOn", "", "click tick*59 nofolder tick", Counting, 0, true, false, "*",
     "The folder for downloaded files does not exist"},
    {"RefusedStartCountsOn", "", "refuse click tick*60", Counting, 1, true, false, "*", ""},
    {"ZeroIntervalIsAMinute", "", "interval:0 click tick*59", Counting, 0, true, false, k1s, ""},
    {"NegativeIntervalIsAMinute", "", "interval:-5 click tick*60", Fetching, 1, false, true, "*", ""},
    {"TwoMinutesCountDown", "", "interval:2 click tick*119", Counting, 0, true, false, k1s, ""},
    // Ten hours asleep: the download due comes on waking, once, and a whole interval follows it.
    {"CatchesUpOnceAfterSleep", "", "click tick*10 sleep:36000 tick finish tick*59", Counting, 1, true, false, k1s, ""},
    {"CountsAWholeIntervalAfterCatchingUp", "", "click tick*10 sleep:36000 tick finish tick*60", Fetching, 2, false,
     true, "*", ""},
    {"ShortenedIntervalIsDueAtOnce", "", "interval:3 click tick*100 interval:1 tick", Fetching, 1, false, true, "*",
     ""},
    // A transfer still receiving data is not given up for the next one: that one comes right after it.
    {"AReceivingTransferFinishesFirst", "", "click tick*60 tick*55 progress:10/99 tick*5 progress:20/99 tick*5",
     Fetching, 1, false, true, "*", ""},
    {"TheDueDownloadFollowsAtOnce", "", "click tick*60 tick*55 progress:10/99 tick*10 finish", Fetching, 2, false, true,
     "*", ""},
    {"ASilentTransferIsReplaced", "", "click tick*60 progress:10/99 tick*60", Fetching, 2, false, true, "*", ""},
};

class CycleScenario : public ::testing::TestWithParam<Scenario> {};

}  // namespace

TEST_P(CycleScenario, EndsAsExpected)
{
    const Scenario &s = GetParam();
    CycleRig rig(s.options);
    rig.run(s.steps);
    EXPECT_EQ(rig.cycle().phase(), s.phase);
    EXPECT_EQ(rig.engine->starts.size(), s.starts);
    EXPECT_LE(rig.engine->alive, 1);
    // What the window shows, read off its controls.
    EXPECT_EQ(rig.get("cmdStart")->isEnabled(), s.startEnabled);
    EXPECT_EQ(rig.get("cmdAbort")->isEnabled(), s.abortEnabled);
    const bool on = s.phase != Idle;
    for (const char *field : {"txtSPlace", "txtURL", "cmdSettings", "cmdBrowse"})
        EXPECT_EQ(rig.get(field)->isEnabled(), !on) << field;
    EXPECT_EQ(rig.w().windowTitle(), on ? QStringLiteral("TAQ Fetchora [Active]") : QStringLiteral("TAQ Fetchora"));
    EXPECT_EQ(rig.get<roCommand>("cmdStart")->text(), on ? QStringLiteral("&Stop") : QStringLiteral("&Start"));
    EXPECT_EQ(rig.get<QTimer>("Timer1")->isActive(),
              s.phase == Counting || s.phase == Fetching || s.phase == Cancelling);
    if (s.status != QLatin1String("*")) {
        EXPECT_EQ(rig.status(), s.status);
    }
    EXPECT_EQ(rig.box.prompt.count() ? rig.box.prompt.last().text : QString(), s.lastBox);
}

INSTANTIATE_TEST_SUITE_P(Cycle, CycleScenario, ::testing::ValuesIn(kScenarios),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Cycle, StoresTheCopyAsTheOptionsSay)
{
    const QByteArray body(200, 'n');
    const struct {
        const char *name;
        QByteArray options;
        QString file;        // expected in the save folder
        QByteArray content;  // read back (archives: their entry without a password)
    } rows[] = {
        {"plain name replaces", "Mode1=0\n", "report.txt", body},
        {"stamped name by default", "", "report_*.txt", body},
        {"archive deflated by default", "Mode1=0\nCompress=1\n", "report.zip", body},
        {"archive stored at level 0", "Mode1=0\nCompress=1\nCompRate=0\n", "report.zip", body + " (stored)"},
        {"password needed", "Mode1=0\nCompress=1\nPwd=secret\n", "report.zip",
         "error " + QByteArray::number(ZIP_ER_NOPASSWD)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        CycleRig rig(row.options);
        writeFile(rig.save + QStringLiteral("/report.txt"), "OLD");
        rig.run("click tick*60");
        rig.finish(body);
        const QStringList found = QDir(rig.save).entryList({row.file}, QDir::Files);
        ASSERT_EQ(found.size(), 1);
        const QString path = rig.save + u'/' + found.first();
        EXPECT_FALSE(found.first().contains(u':'));
        zip_stat_t stat{};
        QByteArray read = row.file.endsWith(QLatin1String(".zip")) ? unzipOnly(path, nullptr, &stat) : readAll(path);
        read += stat.valid && stat.comp_method == ZIP_CM_STORE ? " (stored)" : "";
        EXPECT_EQ(read, row.content);
        if (row.options.contains("Pwd=")) {
            EXPECT_EQ(unzipOnly(path, "secret"), body);
        }
        EXPECT_FALSE(QFile::exists(rig.engine->starts.back().target)) << "nothing stays in tmp/";
        EXPECT_EQ(rig.box.errorPrompt.count(), 0);
    }
}

TEST(Cycle, EveryURLGivesANameThatFits)
{
    const QString longBase = QString(150, u'a') + QString(60, u'\u00fc');
    const struct {
        QString lastSegment;
        QByteArray options;
        QString expected;  // a regular expression for the stored name
    } rows[] = {
        {"", "Mode1=0\n", "index\\.html"},
        {longBase + ".txt", "Mode1=0\n", "a+\u00fc+\\.txt"},
        {longBase + ".txt", "Mode1=1\n", "a+\u00fc+_.+\\.txt"},
        {longBase, "Mode1=0\n", "a+\u00fc+\\."},
    };
    for (const auto &row : rows) {
        CycleRig rig(row.options);
        rig.step(QStringLiteral("url:http://h/files/") + row.lastSegment);
        rig.run("click tick*60 finish");
        const QStringList stored = entries(rig.save);
        ASSERT_EQ(stored.size(), 1) << row.expected.toStdString();
        EXPECT_TRUE(QRegularExpression(u'^' + row.expected + u'$').match(stored.first()).hasMatch())
            << stored.first().toStdString();
        EXPECT_LE(stored.first().toUtf8().size() + 14, 255) << "room for the working name beside it";
    }
}

TEST(Cycle, AFailedStoreKeepsBothCopiesAndGoesOn)
{
    // A folder where the copy or the archive should go.
    for (const QString &blocked : {QStringLiteral("report.txt"), QStringLiteral("report.zip")}) {
        CycleRig rig(blocked.endsWith(QLatin1String(".zip")) ? "Mode1=0\nCompress=1\n" : "Mode1=0\n");
        QDir(rig.save).mkdir(blocked);
        rig.run("click tick*60 finish:NEW");
        ASSERT_EQ(rig.box.errorPrompt.count(), 1);
        const QString box = rig.box.errorPrompt.last().text;
        EXPECT_TRUE(box.contains(QLatin1String("Sub FileDownload_Finished"))) << box.toStdString();
        EXPECT_TRUE(box.contains(rig.save + u'/' + blocked)) << "names the file in the way: " << box.toStdString();
        EXPECT_EQ(readAll(rig.engine->starts.back().target), "NEW") << "the download waits in tmp/";
        EXPECT_EQ(entries(rig.save), QStringList{blocked});
        EXPECT_EQ(rig.cycle().phase(), Phase::Counting) << "the box holds nothing up";
        EXPECT_TRUE(rig.get("cmdStart")->isEnabled());
    }
}

TEST(Cycle, WhatArrivesWhileStoringWaitsAndCountsOnce)
{
    CycleRig rig("Mode1=0\n", /*holdJobs=*/true);
    // Cancel confirmed just as the transfer completes: the file is stored all
    // the same, and Start must stay out of reach until it is.
    rig.run("click tick*60 cancel:yes");
    writeFile(rig.engine->starts.back().target, "NEW");
    rig.finish("NEW");
    ASSERT_EQ(rig.cycle().phase(), Phase::Storing);
    EXPECT_FALSE(rig.get("cmdStart")->isEnabled());
    EXPECT_NE(rig.status(), QStringLiteral("Download canceled"));
    rig.run("tick*5 click");
    QSignalSpy unloaded(&rig.w(), &frmMain::unloaded);
    rig.w().close();
    EXPECT_TRUE(rig.w().isVisible()) << "a quit waits for the copy";
    EXPECT_EQ(rig.heldRequest.tmpFile, rig.engine->starts.back().target);
    rig.held->addResult(storeFinishedFile(rig.heldRequest));
    rig.held->finish();
    ASSERT_TRUE(unloaded.wait(5000));
    EXPECT_EQ(readAll(rig.save + QStringLiteral("/report.txt")), "NEW");
}

TEST(Cycle, StartSweepsOnlyWhatNoLivingProgramWrote)
{
    CycleRig rig("");
    const QString live = QStringLiteral(".report.txt.%1.fetchora-new").arg(QCoreApplication::applicationPid());
    const QStringList keep = {QStringLiteral(".hidden"), live, QStringLiteral("report.txt")};
    for (const QString &name :
         keep + QStringList{".report.txt.99999999.fetchora-new", ".report.zip.99999999.fetchora-zip1f"}) {
        writeFile(rig.save + u'/' + name, "x");
        noteWorkingFile(workJournalIn(rig.box.folder()), rig.save + u'/' + name);  // as their writers did
    }
    QDir().mkpath(rig.box.path(QStringLiteral("tmp")));
    writeFile(rig.box.path(QStringLiteral("tmp/old.txt.part")), "x");
    rig.run("click tick*60");
    EXPECT_EQ(entries(rig.save), keep);
    EXPECT_EQ(entries(rig.box.path(QStringLiteral("tmp"))), QStringList());
}

TEST(Cycle, TheAddressIsTidiedOrRefusedAtStart)
{
    const struct {
        const char *typed, *kept;
        Phase phase;
        const char *boxTitle;  // "" none
    } rows[] = {{" http://h/a.txt\n", "http://h/a.txt", Counting, ""},
                {"ftp://h/a.txt", "ftp://h/a.txt", Idle, "Invalid URL"},
                {"http://h/a b.txt", "http://h/a b.txt", Idle, "Invalid URL"},
                {"http:///a.txt", "http:///a.txt", Idle, "Invalid URL"}};
    for (const auto &row : rows) {
        CycleRig rig("");
        rig.step(QStringLiteral("url:") + row.typed);
        rig.run("click tick*60");
        EXPECT_EQ(rig.get<dxTextEdit>("txtURL")->Text(), row.kept);
        EXPECT_EQ(rig.cycle().phase(), row.phase == Counting ? Fetching : Idle) << row.typed;
        EXPECT_EQ(rig.box.prompt.count() ? rig.box.prompt.last().title : QString(), row.boxTitle);
        if (*row.boxTitle) {
            EXPECT_EQ(rig.status(), QStringLiteral("Invalid URL"));
        }
    }
}

TEST(Cycle, AValueThatDoesNotConvertFallsBackAndTheCopyIsStored)
{
    CycleRig rig("Mode1=yes\nKeepCopies=abc\nCheckVersion=maybe\nCompress=0\n");
    rig.run("click tick*60 finish:A");
    EXPECT_EQ(entries(rig.save).filter(QStringLiteral("report_")).size(), 1) << "stamped, as by default";
    EXPECT_GE(rig.box.errorPrompt.count(), 1);
    EXPECT_EQ(rig.cycle().phase(), Phase::Counting);
}
