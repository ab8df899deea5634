// The cycle on the real window: scenarios, storing, fetching that saves work, and a world where anything can happen.

#include "CycleRig.h"
#include "World.h"
#include "components/zip/modZIP32vb.h"
#include "cycle/History.h"
#include "settings/frmSettings.h"
#include "startup/WorkJournal.h"
#include "support/ZipRead.h"

#include <QApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace fetchora;
using namespace fetchora::testing;
using Phase = DownloadCycle::Phase;

namespace {

struct Scenario {
    const char *name;
    QByteArray options;
    QString steps;
    Phase phase;
    int starts;       // StartDownload calls
    QString status;   // status line text; "*" any
    QString lastBox;  // text of the last box, "" none
};

const QString k1s = QStringLiteral("1 seconds until next download");
const QString kCancel = QStringLiteral("Download | Cancel download?");
const QString kCheckURL = QStringLiteral("\r\n\r\nPlease check the address in the URL field");

using enum DownloadCycle::Phase;
const Scenario kScenarios[] = {
    {"CountsDownFromTheInterval", "", "click tick*59", Counting, 0, k1s, ""},
    {"DownloadsOnTickSixty", "", "click tick*60", Fetching, 1, "*", ""},
    {"StartsAtOnceWithoutCountdown", "Start=1\n", "click tick*120", FirstFetch, 1, "", ""},
    {"FirstFetchCountsFromItsEnd", "Start=1\n", "click sleep:30 finish tick*59", Counting, 1, k1s, ""},
    {"FirstFetchAfterAStopCountsFromZero", "Start=1\n", "click finish tick*30 click click finish tick*59", Counting, 2,
     k1s, ""},
    {"StopWhileFetchingStillStores", "", "click tick*60 cancel:yes click finish", Idle, 1, "Download competed",
     kCancel},
    {"FirstFetchErrorCountsDown", "Start=1\n", "click connerr tick*59", Counting, 1, k1s, ""},
    {"FirstFetchCancelledCountsFromTheCancel", "Start=1\n", "click sleep:30 cancel:yes abort tick*59", Counting, 1, k1s,
     kCancel},
    {"FirstFetchRefusedCountsDown", "Start=1\n", "refuse click tick*59", Counting, 1, k1s, ""},
    {"FirstFetchErrorRetriesAnIntervalLater", "Start=1\n", "click dlerr tick*60", Fetching, 2, "*", ""},
    {"ErrorsSilentByDefault", "", "click tick*60 connerr", Counting, 1, "*", ""},
    {"ErrorsShownWhenAsked", "ShowErrors=1\n", "click tick*60 dlerr", Counting, 1, "*",
     "TAQ Fetchora - Connection error | Error while connecting!\r\nError: 500\r\nHTTP 500 Internal Server Error"},
    {"NotFoundStopsAndSays404", "", "click tick*60 notfound tick*60", Idle, 1, "*",
     "Invalid URL | File not found!\r\nHTTP Code 404" + kCheckURL},
    {"CancelYesOffersStopAtOnce", "", "click tick*60 cancel:yes", Cancelling, 1, "Download canceled", kCancel},
    {"CancelNoChangesNothing", "", "click tick*60 cancel:no", Fetching, 1, "*", kCancel},
    {"ProgressShowsBytes", "", "click tick*60 progress:0/200", Fetching, 1, "0 of 200 Bytes", ""},
    {"StopWhileCancellingStopsWhenTheTransferEnds", "Start=1\n", "click cancel:yes click finish tick*120", Idle, 1, "*",
     kCancel},
    {"FolderGoneAtTheTickCountsOn", "", "click tick*59 nofolder tick", Counting, 0, "*",
     "The folder for downloaded files does not exist"},
    // Typed addresses: pasted ones are tidied (in the script %20 is a blank, %0A a line break), others refused.
    {"APastedAddressIsTidied", "", "url:%20http://h/a.txt%0A click tick*60", Fetching, 1, "*", ""},
    {"AnAddressWithABlankIsRefused", "", "url:http://h/a%20b.txt click", Idle, 0, "Invalid URL",
     "Invalid URL | http://h/a b.txt" + kCheckURL},
    {"ZeroIntervalIsAMinute", "", "interval:0 click tick*59", Counting, 0, k1s, ""},
    // Ten hours asleep: the download due comes on waking, once, and a whole interval follows it.
    {"CountsAWholeIntervalAfterCatchingUp", "", "click tick*10 sleep:36000 tick finish tick*60", Fetching, 2, "*", ""},
    // A transfer still receiving data is not given up for the next one: that one comes right after it.
    {"TheDueDownloadFollowsAtOnce", "", "click tick*60 tick*55 progress:10/99 tick*10 finish", Fetching, 2, "*", ""},
};

QStringList historyFields(const CycleRig &rig, int column)
{
    QStringList out;
    for (const QByteArray &line : readAll(rig.box.path(QStringLiteral("history.log"))).split('\n'))
        if (!line.isEmpty())
            out << QString::fromUtf8(line).section(u'\t', column, column);
    return out;
}

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
    const bool fetching = s.phase == Fetching || s.phase == FirstFetch;
    EXPECT_EQ(rig.get("cmdStart")->isEnabled(), !fetching);
    EXPECT_EQ(rig.get("cmdAbort")->isEnabled(), fetching);
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
    for (const auto &start : rig.engine->starts)  // a pasted address is fetched, and shown, tidied
        EXPECT_EQ(start.url, rig.get<dxTextEdit>("txtURL")->Text().trimmed());
    const ShownPrompt box = rig.box.prompt.count() ? rig.box.prompt.last() : ShownPrompt{};
    EXPECT_EQ(box.title.isEmpty() ? box.text : box.title + " | " + box.text, s.lastBox);
}

INSTANTIATE_TEST_SUITE_P(Cycle, CycleScenario, ::testing::ValuesIn(kScenarios),
                         [](const auto &info) { return std::string(info.param.name); });

// The copy is named after the URL, fits the file system, and is stored as the options say: an archive alone, packed at
// the rate asked (by default the normal one, which packs these numbers to a size of its own).
TEST(Cycle, StoresTheCopyAsTheOptionsSay)
{
    QByteArray body;  // words drawn at random: each rate packs them to a size of its own
    for (quint32 i = 0, x = 1; i < 6000; ++i)
        x = x * 1103515245 + 12345,
        body += QByteArrayList{"alpha", "beta", "gamma", "delta", "report", "copy", "fetch", "store"}[x >> 29] + ' ';
    QTemporaryDir ref;
    std::map<zip_uint64_t, int> rateOfSize;
    for (const int rate : {9, 1, 6}) {
        zip_stat_t st{};
        writeFile(ref.filePath("report.txt"), body), QFile::remove(ref.filePath("r.zip"));
        zip::packFile(ref.filePath("r.zip"), ref.filePath("report.txt"), {}, rate, Language::English);
        unzipOnly(ref.filePath("r.zip"), nullptr, &st);
        rateOfSize[st.comp_size] = rate;
    }
    ASSERT_EQ(rateOfSize.size(), 3u);
    const QString longBase = QString(150, u'a') + QString(60, u'\u00fc');
    const struct {
        QByteArray options;
        QString last, file;  // the URL's last segment; a regular expression for the name stored
        QByteArray content;  // read back (archives: their entry without a password, and how it was packed)
    } rows[] = {
        {"Mode1=0\n", "report.txt", "report\\.txt", body},
        {"", "report.txt", "report_.+\\.txt", body},
        {"Mode1=0\nCompress=1\n", "report.txt", "report\\.zip", body + " (rate 6)"},
        {"Mode1=0\nCompress=1\nCompRate=0\n", "report.txt", "report\\.zip", body + " (stored)"},
        {"Mode1=0\nCompress=1\nPwd=secret\n", "report.txt", "report\\.zip", "error 26"},
        {"Mode1=0\n", "", "index\\.html", body},
        {"Mode1=0\n", longBase + ".txt", "a+\u00fc+\\.txt", body},
        {"", longBase + ".txt", "a+\u00fc+_.+\\.txt", body},
        {"Mode1=0\n", longBase, "a+\u00fc+\\.", body},
        {"Mode1=yes\nKeepCopies=abc\nCheckVersion=maybe\n", "report.txt", "report_.+\\.txt", body},  // as by default
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        CycleRig rig(row.options);
        writeFile(rig.save + QStringLiteral("/report.txt"), "OLD");
        const QString dead = rig.save + QStringLiteral("/.report.txt.99999999.fetchora-new");  // a killed writer's
        writeFile(dead, "x");
        noteWorkingFile(workJournalIn(rig.box.folder()), dead);
        QDir().mkpath(rig.box.path("tmp"));
        writeFile(rig.box.path("tmp/old.txt.part"), "x");
        rig.step(QStringLiteral("url:http://h/files/") + row.last);
        rig.run("click tick*60");
        rig.finish(body);
        const QStringList found = entries(rig.save).filter(QRegularExpression(u'^' + row.file + u'$'));
        ASSERT_EQ(found.size(), 1) << entries(rig.save).join(u' ').toStdString();
        EXPECT_FALSE(found.first().contains(QLatin1String("-2."))) << "the first copy of its name takes no number";
        EXPECT_EQ(entries(rig.save).size(), found.first() == "report.txt" ? 1 : 2) << "the old copy and one new";
        EXPECT_LE(found.first().toUtf8().size() + 14, 255) << "room for the working name beside it";
        const QString path = rig.save + u'/' + found.first();
        zip_stat_t stat{};
        QByteArray read = path.endsWith(QLatin1String(".zip")) ? unzipOnly(path, nullptr, &stat) : readAll(path);
        if (stat.valid)
            read += stat.comp_method == ZIP_CM_STORE ? QByteArray(" (stored)")
                    : rateOfSize.count(stat.comp_size)
                        ? " (rate " + QByteArray::number(rateOfSize[stat.comp_size]) + ')'
                        : QByteArray();
        EXPECT_EQ(read, row.content);
        if (row.options.contains("Pwd=")) {
            EXPECT_EQ(unzipOnly(path, "secret"), body);
        }
        EXPECT_EQ(entries(rig.box.path("tmp")), QStringList()) << "Start swept it, and the copy left it";
        EXPECT_EQ(rig.box.errorPrompt.count() > 0, row.options.contains("=yes")) << "a value that does not convert";
        EXPECT_EQ(rig.cycle().phase(), Phase::Counting);
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
    // Cancel confirmed just as the transfer completes: the file is stored all the same, and Start must stay out of
    // reach until it is.
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

// The Settings button: the main window speaks the language chosen while the dialog is open; after Save the interval,
// compression and language apply at once, after Cancel none of them.
TEST(Cycle, TheSettingsButtonAppliesWhatWasSavedOnly)
{
    for (const bool save : {true, false}) {
        CycleRig rig("Mode1=0\n");
        QString during;
        std::function<void()> answer = [&] {
            auto *d = qobject_cast<frmSettings *>(QApplication::activeModalWidget());
            if (!d)
                return QTimer::singleShot(10, answer);
            QTest::keyClick(d->dxLanguage, Qt::Key_Up);  // Deutsch
            during = rig.get<roCommand>("cmdSettings")->text();
            QTest::keyClick(d->Check1, Qt::Key_Space);
            d->Combo1->lineEdit()->selectAll(), QTest::keyClicks(d->Combo1->lineEdit(), "2");
            QTest::mouseClick(save ? d->cmdSave : d->cmdCancel, Qt::LeftButton);
        };
        QTimer::singleShot(0, answer);
        rig.click("cmdSettings");
        EXPECT_EQ(during, "&Optionen");
        EXPECT_EQ(rig.get<roCommand>("cmdSettings")->text(), save ? "&Optionen" : "&Settings");
        rig.run("click tick*60");
        EXPECT_EQ(rig.engine->starts.size(), save ? 0 : 1) << "two minutes, or one";
        rig.run(save ? "tick*60 finish" : "finish");
        EXPECT_EQ(entries(rig.save), QStringList{save ? "report.zip" : "report.txt"});
    }
}

// An unchanged version is skipped only while its copy is there, and a body like the stored one is the same copy.
// Every attempt leaves a line in history.log, one that cannot begin too.
TEST(Smart, UnchangedOnlyWhileTheCopyIsThereAndHistoryHasALineForEveryAttempt)
{
    CycleRig rig("CheckVersion=1\nMode1=0\n");
    const QString copy = rig.save + QStringLiteral("/report.txt");
    rig.run("click tick*60 version:V finish:A tick*60 version:V same");
    EXPECT_EQ(rig.engine->storedVersions, QStringList{"V"}) << "asked by its version";
    QFile::remove(copy);  // the user takes the copy away
    rig.run("tick*60 version:V finish:A");
    EXPECT_EQ(rig.engine->storedVersions, QStringList{"V"}) << "asked without";
    EXPECT_EQ(readAll(copy), "A") << "stored again";
    rig.run("tick*60 version:v finish:A");  // the same body under a new version is the same copy
    EXPECT_EQ(entries(rig.box.path("tmp")), QStringList());
    rig.run("tick*60 version:X finish:C");
    EXPECT_EQ(readAll(copy), "C");
    // The URL typed anew: its first version is new, the next report of it the same.
    rig.run("click url:http://me:secret@h/report.txt click tick*60 version:X finish:A tick*60 version:X same tick*60 "
            "dlerr tick*60 cancel:yes abort tick*60 notfound");
    EXPECT_EQ(rig.engine->sameVersion, (QList<bool>{false, true, false, false, false, false, true}));
    EXPECT_EQ(historyFields(rig, 1), (QStringList{"stored", "unchanged", "stored", "unchanged", "stored", "stored",
                                                  "unchanged", "failed", "cancelled", "not-found"}));
    EXPECT_EQ(historyFields(rig, 6).first(), copy);
    EXPECT_EQ(historyFields(rig, 5).first(), QCryptographicHash::hash("A", QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(historyFields(rig, 6).at(7), QStringLiteral("http 500 HTTP 500 Internal Server Error"));
    EXPECT_EQ(historyFields(rig, 6).at(9), QStringLiteral("http 404"));
    EXPECT_EQ(historyFields(rig, 7).last(), QStringLiteral("http://me:***@h/report.txt"));
    EXPECT_TRUE(QDateTime::fromString(historyFields(rig, 0).first(), Qt::ISODate).isValid());
    // At 1 MiB the log moves aside whole and a new one begins.
    const QByteArray full(kHistoryRotateBytes, 'x');
    writeFile(rig.box.path(QStringLiteral("history.log")), full);
    rig.run("click tick*60 dlerr");
    EXPECT_EQ(readAll(rig.box.path(QStringLiteral("history.log.1"))), full);
    rig.run("nofolder tick*60");
    EXPECT_EQ(historyFields(rig, 1), (QStringList{"failed", "failed"}));
    EXPECT_EQ(historyFields(rig, 6).last(), "err 76 Path not found: " + rig.save);
}

// A version whose copy could not be stored is not remembered: the next report of it is fetched whole.
TEST(Smart, AVersionWhoseCopyFailedIsFetchedAgain)
{
    CycleRig rig("CheckVersion=1\nMode1=0\n", /*holdJobs=*/true);
    for (const auto &[steps, stored] :
         {std::pair{"click tick*60 version:U finish:A", true}, {"tick*60 version:V finish:B", false}}) {
        rig.run(steps);
        rig.held->addResult(stored ? storeFinishedFile(rig.heldRequest) : StoreResult::failure(61, "Disk full"));
        rig.held->finish();
        ASSERT_TRUE(waitUntil([&] { return rig.cycle().phase() == Phase::Counting; }, 10000));
    }
    rig.run("tick*60 version:V");
    EXPECT_EQ(rig.engine->sameVersion, (QList<bool>{false, false, false}));
    CycleRig unasked("Mode1=0\n");  // without the key no version is looked at
    unasked.run("click tick*60 version:V finish:A tick*60 version:V finish:A");
    EXPECT_EQ(unasked.engine->sameVersion, QList<bool>());
}

// Several seeds of simulated days each, every promise checked after every event. FETCHORA_WORLD_SEED and
// FETCHORA_WORLD_DAYS run one seed for as long as asked; FETCHORA_WORLD_EVENTS=<file> replays a printed list of events.
// After the first seed, memory and open files stay flat over the days that follow.
TEST(World, EveryPromiseHoldsWhateverHappens)
{
    const auto residentKiB = [] { return readAll("/proc/self/statm").split(' ').value(1).toLong() * 4; };
    const auto openFiles = [] { return entries("/proc/self/fd").size(); };
    long kib = 0;
    qsizetype files = 0;
    for (const quint32 seed : {1, 2, 3, 19}) {
        const bool oneSeed = qEnvironmentVariableIsSet("FETCHORA_WORLD_SEED");
        WorldConfig c{
            .seed = oneSeed ? quint32(qEnvironmentVariableIntValue("FETCHORA_WORLD_SEED")) : seed,
            .days = qEnvironmentVariableIsSet("FETCHORA_WORLD_DAYS") ? qgetenv("FETCHORA_WORLD_DAYS").toDouble() : 1,
            .replay = {}};
        if (const QByteArray file = qgetenv("FETCHORA_WORLD_EVENTS"); !file.isEmpty())
            c.replay = QString::fromUtf8(readAll(QString::fromLocal8Bit(file))).split(u'\n', Qt::SkipEmptyParts);
        World world(c);
        world.run();
        ASSERT_FALSE(world.failure) << world.report().toStdString();
        if (oneSeed || !c.replay.isEmpty())
            return;
        if (seed == 1) {
            kib = residentKiB();
            files = openFiles();
        }
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers keep freed memory back on purpose.
    EXPECT_LT(residentKiB() - kib, 4096) << "memory grows with the days";
#endif
    EXPECT_LE(openFiles(), files) << "files left open";
}
