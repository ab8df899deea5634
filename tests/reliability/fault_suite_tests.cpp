// Each way a server or network can fail, met by the running cycle: the right
// message (or silence), the cycle still running, and the save folder holding
// the previous copy and nothing else.

#include "CycleRig.h"

#include "trace/PromptService.h"

#include <QLabel>
#include <QProcess>
#include <QFileInfo>

#include <sys/statvfs.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

struct Fault {
    const char *name;
    std::function<void(TestHttpServer &)> route;  // serves /files/report.txt
    std::function<QString(TestHttpServer &)> url; // empty: /files/report.txt
    long number;                                  // shown as "Error: <n>"
};

Reply faulty(Reply::Fault fault, qint64 size, qint64 at)
{
    Reply r = Reply::ok(size);
    r.fault = fault;
    r.faultAt = at;
    return r;
}

std::function<void(TestHttpServer &)> serve(const Reply &r)
{
    return [r](TestHttpServer &s) { s.route("/files/report.txt", r); };
}

const Fault kFaults[] = {
    {"Refused", {},
     [](TestHttpServer &) { return QStringLiteral("http://127.0.0.1:%1/files/report.txt").arg(TestHttpServer::unusedPort()); },
     7},
    {"UnknownHost", {},
     [](TestHttpServer &) { return QStringLiteral("http://%1.invalid/files/report.txt").arg(QString(70, u'h')); }, 6},
    {"ServerError", serve(Reply::status_(500, "Internal Server Error")), {}, 500},
    {"Forbidden", serve(Reply::status_(403, "Forbidden")), {}, 403},
    {"RedirectLoop",
     [](TestHttpServer &s) {
         s.route("/files/report.txt", Reply::redirect("/loop"));
         s.route("/loop", Reply::redirect("/files/report.txt"));
     },
     {}, 47},
    {"CutShort", serve(faulty(Reply::Fault::CutShortAfter, 200000, 50000)), {}, 18},
    {"Stalled", serve(faulty(Reply::Fault::StallAfter, 200000, 50000)), {}, 28},
    {"ClosedAtOnce", serve(faulty(Reply::Fault::CloseAtOnce, 10, 0)), {}, 52},
};

struct FaultRow {
    Fault fault;
    bool showErrors;
};

void PrintTo(const FaultRow &row, std::ostream *os)
{
    *os << row.fault.name << (row.showErrors ? " shown" : " silent");
}

class FaultedCycle : public CycleRig, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(FaultedCycle, ReportsAsAskedKeepsTheOldCopyAndGoesOn)
{
    const FaultRow row = GetParam();
    const QString oldCopy = saveDir + "/report.txt";
    ASSERT_TRUE(writeFile(oldCopy, "previous copy"));
    if (row.fault.route)
        row.fault.route(server);
    const QString failingUrl = row.fault.url ? row.fault.url(server) : url("/files/report.txt");
    auto w = load(failingUrl, QByteArray("Start=0\r\nMode1=0\r\nShowErrors=") + (row.showErrors ? "1" : "0") + "\r\n");

    w->cmdStart_Click();
    ASSERT_TRUE(tick(*w));

    if (row.showErrors) {
        ASSERT_EQ(sandbox.prompt.count(), 1);
        const ShownPrompt &box = sandbox.prompt.last();
        EXPECT_TRUE(box.text.startsWith("Error while connecting!\r\nError: " + QString::number(row.fault.number) + "\r\n"))
            << box.text.toStdString();
        EXPECT_EQ(box.style, mb::Critical | mb::OKOnly);
        EXPECT_EQ(box.title, "TAQ Fetchora - Connection error");
    } else {
        EXPECT_EQ(sandbox.prompt.count(), 0) << sandbox.prompt.last().text.toStdString();
    }
    EXPECT_EQ(sandbox.errorPrompt.count(), 0);
    EXPECT_EQ(entries(saveDir), QStringList{"report.txt"});
    EXPECT_EQ(readAll(oldCopy), "previous copy");

    // The cycle is still on, and the next cycle against a healthy server
    // stores a fresh copy.
    EXPECT_TRUE(w->bActive);
    EXPECT_TRUE(w->Timer1.isActive());
    EXPECT_EQ(w->cmdStart->Caption(), "&Stop");
    EXPECT_TRUE(w->cmdStart->isEnabled());
    server.route("/files/report.txt", Reply::ok(3000));
    w->txtURL->setText(url("/files/report.txt"));
    ASSERT_TRUE(tick(*w));
    EXPECT_TRUE(fileHoldsBody(oldCopy, 3000));
    EXPECT_EQ(entries(saveDir), QStringList{"report.txt"});
}

std::vector<FaultRow> faultRows()
{
    std::vector<FaultRow> rows;
    for (const Fault &f : kFaults)
        for (bool show : {true, false})
            rows.push_back({f, show});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultedCycle, ::testing::ValuesIn(faultRows()), [](const auto &info) {
    return std::string(info.param.fault.name) + (info.param.showErrors ? "_Shown" : "_Silent");
});

// ---------------------------------------------------------------------------

TEST_F(CycleRig, AFailedFirstFetchLeavesAWorkingStopButton)
{
    // With "start at once" the countdown only begins after the first
    // download: a failed first fetch waits for the user's Stop.
    auto w = load(QStringLiteral("http://127.0.0.1:%1/files/report.txt").arg(TestHttpServer::unusedPort()),
                  "Start=1\r\nShowErrors=0\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    EXPECT_TRUE(w->bActive);
    EXPECT_FALSE(w->Timer1.isActive());
    EXPECT_EQ(w->cmdStart->Caption(), "&Stop");
    ASSERT_TRUE(w->cmdStart->isEnabled());
    w->cmdStart_Click();
    EXPECT_FALSE(w->bActive);
    EXPECT_EQ(w->cmdStart->Caption(), "&Start");
    EXPECT_TRUE(w->txtURL->isEnabled());
}

TEST_F(CycleRig, NotFoundTellsTheUserAndStopsTheCycle)
{
    const QString oldCopy = saveDir + "/report.txt";
    ASSERT_TRUE(writeFile(oldCopy, "previous copy"));
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=0\r\nShowErrors=0\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    ASSERT_EQ(sandbox.prompt.count(), 1) << "a wrong address is shown even with errors hidden";
    EXPECT_EQ(sandbox.prompt.last().text,
              "File not found!\r\nHTTP Code 404\r\n\r\nPlease check the address in the URL field");
    EXPECT_FALSE(w->bActive);
    EXPECT_EQ(w->cmdStart->Caption(), "&Start");
    EXPECT_TRUE(w->cmdStart->isEnabled());
    EXPECT_EQ(readAll(oldCopy), "previous copy");
}

struct Good {
    const char *name;
    Reply reply;
};

Reply dripping()
{
    Reply r = Reply::ok(40 * 1024);
    r.dripDelayMs = 10;
    r.dripChunk = 2048;
    return r;
}

Reply unknownSize(qint64 n)
{
    Reply r = Reply::ok(n);
    r.sendLength = false;
    return r;
}

void PrintTo(const Good &g, std::ostream *os) { *os << g.name; }

class GoodCycle : public CycleRig, public ::testing::WithParamInterface<Good> {};

TEST_P(GoodCycle, StoresTheWholeFileAndResetsTheBar)
{
    const Good g = GetParam();
    server.route("/files/report.txt", g.reply);
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=0\r\nShowErrors=1\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    EXPECT_EQ(sandbox.prompt.count(), 0);
    EXPECT_TRUE(fileHoldsBody(saveDir + "/report.txt", g.reply.size));
    EXPECT_EQ(entries(saveDir), QStringList{"report.txt"});
    EXPECT_TRUE(entries(sandbox.path("tmp")).isEmpty()) << entries(sandbox.path("tmp")).join(',').toStdString();
    EXPECT_EQ(w->lblStatus->text(), "Download competed");
    EXPECT_TRUE(w->bActive);
}

INSTANTIATE_TEST_SUITE_P(Servers, GoodCycle,
                         ::testing::Values(Good{"SlowDrip", dripping()}, Good{"HugeOfUnknownSize", unknownSize(96 << 20)},
                                           Good{"Empty", Reply::ok(0)}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CycleRig, ChangingContentGivesOneStampedCopyPerCycle)
{
    Reply r = Reply::ok(5000);
    server.route("/files/report.txt", r);
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=1\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    QThread::msleep(1100);  // the stamp has one-second steps
    r.salt = 1;
    server.route("/files/report.txt", r);
    ASSERT_TRUE(tick(*w));

    const QStringList files = entries(saveDir);
    ASSERT_EQ(files.size(), 2) << files.join(',').toStdString();
    for (const QString &f : files)
        EXPECT_TRUE(f.startsWith("report_") && f.endsWith(".txt")) << f.toStdString();
    EXPECT_NE(readAll(saveDir + "/" + files[0]), readAll(saveDir + "/" + files[1]));
}

TEST_F(CycleRig, AnUnchangedETagCostsNoSecondCopy)
{
    Reply r = Reply::ok(100000);
    r.etag = "\"rev-1\"";
    server.route("/files/report.txt", r);
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=1\r\nCheckVersion=1\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    ASSERT_EQ(entries(saveDir).size(), 1);
    const QString first = saveDir + "/" + entries(saveDir)[0];

    QThread::msleep(1100);
    ASSERT_TRUE(tick(*w));
    EXPECT_EQ(entries(saveDir).size(), 1) << "unchanged: nothing stored";
    EXPECT_TRUE(fileHoldsBody(first, 100000));
    EXPECT_TRUE(w->bActive);
    EXPECT_TRUE(w->Timer1.isActive());

    r.etag = "\"rev-2\"";
    r.salt = 3;
    server.route("/files/report.txt", r);
    QThread::msleep(1100);
    ASSERT_TRUE(tick(*w));
    EXPECT_EQ(entries(saveDir).size(), 2) << "a new revision is stored";
    EXPECT_EQ(sandbox.prompt.count(), 0);
}

// ---------------------------------------------------------------------------
// The save folder itself misbehaves

TEST_F(CycleRig, ASaveFolderDeletedWhileTheCycleRunsIsReportedAndTheCycleRecovers)
{
    server.route("/files/report.txt", Reply::ok(2000));
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=0\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    ASSERT_TRUE(QDir(saveDir).removeRecursively());

    ASSERT_TRUE(tick(*w));
    ASSERT_EQ(sandbox.prompt.count(), 1);
    EXPECT_EQ(sandbox.prompt.last().text, "The folder for downloaded files does not exist");
    EXPECT_TRUE(w->cmdStart->isEnabled()) << "the user can still stop the cycle";
    EXPECT_EQ(server.hits("/files/report.txt"), 1);

    ASSERT_TRUE(QDir().mkpath(saveDir));
    ASSERT_TRUE(tick(*w));
    EXPECT_TRUE(fileHoldsBody(saveDir + "/report.txt", 2000));
}

bool folderIsEnforcedReadOnly(const QString &folder)
{
    QFile probe(folder + "/probe");
    if (probe.open(QIODevice::WriteOnly)) {
        probe.close();
        probe.remove();
        return false;
    }
    return true;
}

TEST_F(CycleRig, AReadOnlySaveFolderKeepsItsCopyAndTheDownloadWaitsInTmp)
{
    const QString oldCopy = saveDir + "/report.txt";
    ASSERT_TRUE(writeFile(oldCopy, "previous copy"));
    QFile::setPermissions(saveDir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool enforced = folderIsEnforcedReadOnly(saveDir);
    if (!enforced) {
        QFile::setPermissions(saveDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "this user can write to read-only folders (running as root)";
    }
    server.route("/files/report.txt", Reply::ok(2000));
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=0\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    QFile::setPermissions(saveDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    ASSERT_EQ(sandbox.errorPrompt.count(), 1);
    EXPECT_TRUE(sandbox.errorPrompt.last().text.contains("error #70")) << sandbox.errorPrompt.last().text.toStdString();
    EXPECT_EQ(readAll(oldCopy), "previous copy");
    EXPECT_EQ(entries(saveDir), QStringList{"report.txt"});
    EXPECT_TRUE(fileHoldsBody(sandbox.path("tmp/report.txt"), 2000)) << "nothing lost";
    EXPECT_TRUE(w->bActive);
}

TEST_F(CycleRig, UnusualFolderNamesWork)
{
    const QString deep = sandbox.makeFolder(QString::fromUtf8("Ablage äöü ß 日本語/") + QString(60, u'd') + "/"
                                            + QString(60, u'e'));
    saveDir = deep;
    server.route("/files/report.txt", Reply::ok(1234));
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=1\r\n");
    EXPECT_EQ(w->txtSPlace->Text(), deep) << "read back from fcr.ini unchanged";
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    ASSERT_EQ(entries(deep).size(), 1);
    EXPECT_TRUE(fileHoldsBody(deep + "/" + entries(deep)[0], 1234));
}

TEST_F(CycleRig, ABinaryOrCorruptSettingsFileNeitherStopsLoadingNorTheCycle)
{
    QByteArray junk("[Options\r\n\0\0\xff\xfe=\x01\x02\rIntervall=\xff\xff\n[Options]\nCompress=\x80\x81\n", 60);
    for (int i = 0; i < 2000; ++i)
        junk += char((i * 131 + 7) & 0xff);
    sandbox.writeIni(junk);
    MainWindowSeams seams;
    seams.prompt = &sandbox.prompt;
    seams.downloads = defaultDownloadFactory(engineOptions());
    seams.tray = [](QObject *parent) { return std::make_unique<FakeTray>(parent); };
    auto w = std::make_unique<frmMain>(std::move(seams));
    w->Form_Load();
    EXPECT_FALSE(w->bLoading);

    server.route("/files/report.txt", Reply::ok(700));
    w->txtURL->setText(url("/files/report.txt"));
    w->txtSPlace->setText(saveDir);
    w->bCompress = false;
    w->Start();
    ASSERT_TRUE(settled(*w));
    ASSERT_EQ(entries(saveDir).size(), 1);
    EXPECT_TRUE(fileHoldsBody(saveDir + "/" + entries(saveDir)[0], 700));
}

TEST_F(CycleRig, LeftoversOfAKilledRunAreClearedByTheNextStart)
{
    // What a kill in the middle of storing leaves behind.
    ASSERT_TRUE(writeFile(saveDir + "/.report.txt.fetchora-new", "half"));
    ASSERT_TRUE(writeFile(saveDir + "/.report.zip.tmp-AbC123", "half"));
    QDir().mkpath(sandbox.path("tmp"));
    ASSERT_TRUE(writeFile(sandbox.path("tmp/report.txt.part"), "half"));
    ASSERT_TRUE(writeFile(saveDir + "/notes.txt", "the user's own file"));
    server.route("/files/report.txt", Reply::ok(900));
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=0\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));
    EXPECT_EQ(entries(saveDir), QStringList({"notes.txt", "report.txt"}));
    EXPECT_TRUE(entries(sandbox.path("tmp")).isEmpty());
}

}  // namespace

namespace {

// A save folder on a small file system of its own, where the machine allows
// mounting one (root, or a container with the right to).
class FullDisk : public CycleRig {
protected:
    void SetUp() override
    {
        CycleRig::SetUp();
        mountPoint = sandbox.makeFolder("small");
        QProcess mount;
        mount.start("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", mountPoint});
        if (!mount.waitForFinished(5000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0) {
            mountPoint.clear();
            GTEST_SKIP() << "cannot mount a small file system here (needs root or CAP_SYS_ADMIN)";
        }
        saveDir = mountPoint;
    }
    void TearDown() override
    {
        if (!mountPoint.isEmpty())
            QProcess::execute("umount", {"-l", mountPoint});
    }
    QString mountPoint;
};

TEST_F(FullDisk, AFullSaveFolderKeepsTheOldCopyAndReportsIt)
{
    const QString oldCopy = saveDir + "/report.txt";
    ASSERT_TRUE(writeFile(oldCopy, QByteArray(300 * 1024, 'o')));
    server.route("/files/report.txt", Reply::ok(900 * 1024));  // fits in tmp/, not beside the old copy
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=0\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));

    ASSERT_GE(sandbox.errorPrompt.count(), 1);
    EXPECT_TRUE(sandbox.errorPrompt.last().text.contains("error #61")) << sandbox.errorPrompt.last().text.toStdString();
    EXPECT_EQ(readAll(oldCopy), QByteArray(300 * 1024, 'o'));
    EXPECT_EQ(entries(saveDir), QStringList{"report.txt"}) << "no partial copy left on the full disk";
    EXPECT_TRUE(fileHoldsBody(sandbox.path("tmp/report.txt"), 900 * 1024)) << "the download is kept for the next try";
    EXPECT_TRUE(w->cmdStart->isEnabled());
}

}  // namespace

namespace {

TEST_F(FullDisk, AReadOnlyFileSystemKeepsTheOldCopyAndReportsIt)
{
    // Root ignores folder permissions, but not a read-only mount.
    const QString oldCopy = saveDir + "/report.txt";
    ASSERT_TRUE(writeFile(oldCopy, "previous copy"));
    ASSERT_EQ(QProcess::execute("mount", {"-o", "remount,ro", mountPoint}), 0);
    server.route("/files/report.txt", Reply::ok(2000));
    auto w = load(url("/files/report.txt"), "Start=1\r\nMode1=0\r\n");
    w->cmdStart_Click();
    ASSERT_TRUE(settled(*w));

    ASSERT_GE(sandbox.errorPrompt.count(), 1);
    EXPECT_TRUE(sandbox.errorPrompt.last().text.contains("error #70")) << sandbox.errorPrompt.last().text.toStdString();
    EXPECT_EQ(readAll(oldCopy), "previous copy");
    EXPECT_TRUE(fileHoldsBody(sandbox.path("tmp/report.txt"), 2000));
}

}  // namespace

namespace {

TEST_F(CycleRig, AFileOverFourGibibytesIsStoredWhole)
{
    const qint64 size = (qint64(4) << 30) + (qint64(300) << 20) + 12345;
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(saveDir).constData(), &fs) != 0
        || qint64(fs.f_bavail) * qint64(fs.f_frsize) < size + (qint64(6) << 30))
        GTEST_SKIP() << "needs about 10 GiB free beside the temporary folder";
    server.route("/files/report.bin", Reply::ok(size));
    auto w = load(url("/files/report.bin"), "Start=1\r\nMode1=0\r\n");
    w->cmdStart_Click();
    // The byte count passes 2^32 on the way without wrapping.
    bool sawBeyond32Bits = false;
    QString seen;
    ASSERT_TRUE(waitUntil([&] {
        const QString text = w->lblStatus->text();
        if (text.contains(" of "))
            seen = text;
        if (text.endsWith(" of " + QString::number(size) + " Bytes") && text.section(u' ', 0, 0).toLongLong() > (qint64(1) << 32))
            sawBeyond32Bits = true;
        return w->cmdStart->isEnabled() && !w->bProcessing;
    }, 240000));
    EXPECT_TRUE(sawBeyond32Bits) << seen.toStdString();
    EXPECT_EQ(sandbox.errorPrompt.count(), 0);
    EXPECT_EQ(QFileInfo(saveDir + "/report.bin").size(), size);
    EXPECT_EQ(entries(saveDir), QStringList{"report.bin"});
    QFile::remove(saveDir + "/report.bin");
}

}  // namespace
