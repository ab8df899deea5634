#include "core/Profile.h"
#include "core/ProfileLock.h"
#include "history/CopyDiff.h"
#include "history/DiffView.h"
#include "history/HistoryLog.h"
#include "history/HistoryModel.h"
#include "history/HistoryPlot.h"
#include "history/HistoryWindow.h"
#include "support/QStringPrinter.h"
#include "support/TestFiles.h"
#include "support/UiTestMain.h"
#include "zip/Zip.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace fetchora;
using fetchora::testing::readAll;
using fetchora::testing::writeFile;

namespace {

QByteArray line(const char *time, const char *outcome, const QString &detail = {}, int status = 200)
{
    HistoryEntry e;
    e.at = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate);
    e.outcome = QString::fromLatin1(outcome);
    e.httpStatus = status;
    e.detail = detail;
    e.url = QStringLiteral("http://127.0.0.1/r.csv");
    return e.line().toUtf8();
}

QString outcomesOf(const QList<HistoryEntry> &entries)
{
    QStringList words;
    for (const HistoryEntry &e : entries)
        words << e.outcome + u'@' + e.at.toUTC().toString(QStringLiteral("HH"));
    return words.join(u' ');
}

// The rotated files are read oldest first; lines that are no attempt and a
// last line still being written are left out.
TEST(HistoryLog, ReadsRotatedFilesAndSkipsOddLines)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("history.log"));
    writeFile(log + QStringLiteral(".2"), line("2026-12-01T01:00:00Z", "stored", QStringLiteral("/a\tb\nc")));
    writeFile(log + QStringLiteral(".1"), "garbage\n\n" + line("2026-12-01T02:00:00Z", "failed", "12029 refused", 0));
    writeFile(log, line("2026-12-01T03:00:00Z", "unchanged") + "2026-12-01T04:00:00Z\tstor");
    const QList<HistoryEntry> entries = readHistory(log);
    EXPECT_EQ(outcomesOf(entries), QStringLiteral("stored@01 failed@02 unchanged@03"));
    EXPECT_EQ(entries.value(0).detail, QStringLiteral("/a\tb\nc"));

    HistoryModel model(Language::English);
    model.setEntries(entries);
    const auto cell = [&](int row, int column) { return model.index(row, column).data().toString(); };
    EXPECT_EQ(cell(0, HistoryModel::Outcome), QStringLiteral("unchanged"));  // newest first
    EXPECT_EQ(cell(1, HistoryModel::Status), QStringLiteral("12029"));
    EXPECT_EQ(cell(1, HistoryModel::Detail), QStringLiteral("refused"));
    EXPECT_EQ(cell(2, HistoryModel::Detail), QStringLiteral("/a\tb\nc (gone)"));
}

// Appended lines arrive as they are completed; a rotation reads the log again.
TEST(HistoryLog, FollowsAppendsAndRotation)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("history.log"));
    writeFile(log, line("2026-12-01T01:00:00Z", "stored"));
    HistoryFollower follower(log);
    ASSERT_EQ(follower.readAll().size(), 1);
    QSignalSpy appended(&follower, &HistoryFollower::appended), reloaded(&follower, &HistoryFollower::reloaded);
    const QByteArray next = line("2026-12-01T02:00:00Z", "failed");
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(next.left(10));
    file.flush();
    file.write(next.mid(10));
    file.close();
    ASSERT_TRUE(appended.wait(5000));
    const auto got = appended.last().at(0).value<QList<HistoryEntry>>();
    EXPECT_EQ(outcomesOf(got), QStringLiteral("failed@02"));

    ASSERT_TRUE(QFile::rename(log, log + QStringLiteral(".1")));
    writeFile(log, line("2026-12-01T03:00:00Z", "cancelled"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reloaded.isEmpty(); }, 5000));
    EXPECT_EQ(outcomesOf(reloaded.last().at(0).value<QList<HistoryEntry>>()),
              QStringLiteral("stored@01 failed@02 cancelled@03"));
}

TEST(HistoryModel, FiltersByOutcomeAndSearch)
{
    HistoryModel model(Language::German);
    model.setEntries(parseHistoryLines(line("2026-12-01T01:00:00Z", "stored", QStringLiteral("/k/report.csv"))
                                       + line("2026-12-01T02:00:00Z", "failed", "12007 Host not found", 0)
                                       + line("2026-12-01T03:00:00Z", "not-found", QString(), 404)));
    HistoryFilter filter;
    filter.setSourceModel(&model);
    const struct {
        const char *outcome, *search;
        int rows;
    } rows[] = {{"", "", 3},         {"failed", "", 1},    {"", "REPORT", 1}, {"", "404", 1},
                {"", "127.0.0.1", 3}, {"stored", "host", 0}, {"", "gefunden", 1}};
    for (const auto &r : rows) {
        filter.setOutcome(QString::fromLatin1(r.outcome));
        filter.setSearch(QString::fromLatin1(r.search));
        EXPECT_EQ(filter.rowCount(), r.rows) << r.outcome << " / " << r.search;
    }
}

TEST(CopyPair, StepsOneCopyAtATime)
{
    const struct {
        int count;
        CopyPair from;
        int by;
        CopyPair to;
    } rows[] = {{5, {3, 4}, -1, {2, 3}}, {5, {0, 1}, -1, {0, 1}}, {5, {2, 3}, 1, {3, 4}},
                {5, {3, 4}, 1, {3, 4}},  {5, {0, 4}, -1, {0, 4}}, {5, {0, 2}, 1, {1, 3}}};
    for (const auto &r : rows)
        EXPECT_EQ(steppedPair(r.from, r.by, r.count), r.to) << r.from.older << ',' << r.from.newer << " by " << r.by;
    EXPECT_EQ(newestPair(5), (CopyPair{3, 4}));
    EXPECT_EQ(newestPair(1), (CopyPair{0, 0}));
    EXPECT_EQ(newestPair(0), (CopyPair{-1, -1}));
}

// "=" an equal line, "-" removed, "+" added, each with its line numbers.
QString shape(const CopyComparison &c)
{
    QStringList out;
    for (const DiffLine &l : c.lines)
        out << QStringLiteral("%1%2/%3").arg(QLatin1Char("=-+"[l.kind])).arg(l.left).arg(l.right);
    return out.join(u' ');
}

TEST(CopyDiff, ComparesTextLineByLine)
{
    const struct {
        const char *older, *newer, *shape;
        int changes;
    } rows[] = {
        {"a\nb\n", "a\nb\n", "=1/1 =2/2", 0},
        {"a\nb\nc\n", "a\nB\nc\n", "=1/1 -2/0 +0/2 =3/3", 1},
        {"a\n", "a\nb\n", "=1/1 +0/2", 1},
        {"a\nb\nc\nd\n", "b\nc\nD\n", "-1/0 =2/1 =3/2 -4/0 +0/3", 2},
        {"", "x\n", "+0/1", 1},
        {"a\r\nb\r\n", "a\nb\n", "=1/1 =2/2", 0},
    };
    for (const auto &r : rows) {
        const CopyComparison c = compareContents(r.older, r.newer);
        EXPECT_EQ(c.kind, CopyComparison::Text) << r.older;
        EXPECT_EQ(shape(c), QString::fromLatin1(r.shape)) << r.older;
        EXPECT_EQ(c.changes, r.changes) << r.older;
    }
}

TEST(CopyDiff, ComparesOtherBytesBySizeHashAndFirstDifference)
{
    const struct {
        QByteArray older, newer;
        qint64 first;
    } rows[] = {{QByteArray("\x89PNG\0\1", 6), QByteArray("\x89PNG\0\2", 6), 5},
                {QByteArray("\0\0", 2), QByteArray("\0\0", 2), -1},
                {QByteArray("\0ab", 3), QByteArray("\0a", 2), 2},
                {QByteArray("\xff\xfe", 2), QByteArray("ok"), 0}};
    for (const auto &r : rows) {
        const CopyComparison c = compareContents(r.older, r.newer);
        EXPECT_EQ(c.kind, CopyComparison::Binary);
        EXPECT_EQ(c.firstDifference, r.first);
        EXPECT_EQ(c.sha256[0] == c.sha256[1], r.first < 0);
    }
}

TEST(CopyDiff, ComparesZipCopiesByTheFileInsideAndTellsAGoneCopy)
{
    QTemporaryDir dir;
    const auto zipped = [&](const char *name, const QByteArray &text, const char *password) {
        const QString plain = dir.filePath(QStringLiteral("report.csv"));
        writeFile(plain, text);
        const QString archive = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(zip::packFile(archive, plain, QString::fromLatin1(password), 6, Language::English).ok());
        return archive;
    };
    const QString a = zipped("a.zip", "id;price\n1;10\n", "pw"), b = zipped("b.zip", "id;price\n1;12\n", "pw");
    CopyComparison c = compareCopies(a, b, QStringLiteral("pw"));
    EXPECT_EQ(c.kind, CopyComparison::Text);
    EXPECT_EQ(shape(c), QStringLiteral("=1/1 -2/0 +0/2"));
    EXPECT_EQ(c.inner[1], QStringLiteral("report.csv"));

    const QString missing = dir.filePath(QStringLiteral("gone.csv"));
    c = compareCopies(a, missing, QStringLiteral("pw"));
    EXPECT_EQ(c.kind, CopyComparison::Gone);
    EXPECT_EQ(c.gone, QStringList{missing});
    EXPECT_TRUE(diffHtml(c, true, false, Language::English).contains(QStringLiteral("The copy is gone")));
}

TEST(DiffView, FoldsTheEqualPartsAroundChanges)
{
    QByteArray older, newer;
    for (int i = 1; i <= 20; ++i) {
        older += QByteArray::number(i) + '\n';
        newer += (i == 10 ? QByteArray("ten") : QByteArray::number(i)) + '\n';
    }
    const CopyComparison c = compareContents(older, newer);
    for (bool sideBySide : {true, false}) {
        const QString folded = diffHtml(c, sideBySide, true, Language::English);
        EXPECT_TRUE(folded.contains(QStringLiteral("… 6 equal lines …"))) << sideBySide;
        EXPECT_TRUE(folded.contains(QStringLiteral("… 7 equal lines …"))) << sideBySide;
        EXPECT_TRUE(folded.contains(QStringLiteral("name=\"c0\""))) << sideBySide;
        EXPECT_FALSE(diffHtml(c, sideBySide, false, Language::English).contains(QStringLiteral("equal lines")));
    }
}

// Each bucket keeps its largest copy (L), longest attempt (D) and latest
// failure (F, with how many), as sample indices; a skipped line counts for none.
TEST(PlotPoints, KeepsWhatEachBucketShows)
{
    const std::vector<PlotSample> samples = {{0, 100, 1.0, PlotSample::Copy},  {10, 300, 0.5, PlotSample::Copy},
                                             {20, 0, 4.0, PlotSample::Failed}, {30, 0, 2.0, PlotSample::Failed},
                                             {40, 0, 9.0, PlotSample::Note},   {99, 50, 0.2, PlotSample::Other},
                                             {100, 200, 0.1, PlotSample::Copy}};
    const struct {
        qint64 from, to;
        int buckets;
        const char *points;
    } rows[] = {
        {0, 99, 1, "L1 D2 F3x2"},
        {0, 99, 2, "L1 D2 F3x2 | L- D5 F-x0"},
        {10, 30, 3, "L1 D1 F-x0 | L- D2 F2x1 | L- D3 F3x1"},
        {11, 19, 4, ""},
        {100, 100, 5, "L6 D6 F-x0"},
        {0, 100, 1000, "L0 D0 F-x0 | L1 D1 F-x0 | L- D2 F2x1 | L- D3 F3x1 | L- D5 F-x0 | L6 D6 F-x0"},
    };
    const auto index = [](int i) { return i < 0 ? QStringLiteral("-") : QString::number(i); };
    for (const auto &r : rows) {
        QStringList points;
        for (const PlotPoint &p : plotPoints(samples, r.from, r.to, r.buckets))
            points << QStringLiteral("L%1 D%2 F%3x%4")
                          .arg(index(p.largest), index(p.longest), index(p.failed))
                          .arg(p.failures);
        EXPECT_EQ(points.join(QStringLiteral(" | ")), QString::fromLatin1(r.points)) << r.from << ".." << r.to;
    }
}

// A range ends at the newest attempt; a click on the plot chooses the attempt
// drawn nearest in time, also when the table's filter hid it.
TEST(HistoryWindow, PlotRangeAndClickChooseTheAttempt)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("history.log")),
              line("2026-11-20T10:00:00Z", "stored", QStringLiteral("/k/a.csv"))
                  + line("2026-12-01T09:00:00Z", "failed", "curl 28 timed out", 0)
                  + line("2026-12-01T10:00:00Z", "stored", QStringLiteral("/k/b.csv"))
                  + line("2026-12-01T11:00:00Z", "unchanged"));
    HistoryWindow window(dir.path(), Language::English, QString());
    window.show();
    window.findChild<QTabWidget *>(QStringLiteral("viewTabs"))->setCurrentIndex(1);
    auto *plot = window.findChild<HistoryPlot *>(QStringLiteral("historyPlot"));
    auto *outcome = window.findChild<QComboBox *>(QStringLiteral("outcomeBox"));
    const QTableView *table = window.findChild<QTableView *>(QStringLiteral("attemptTable"));
    const struct {
        HistoryPlot::Range range;
        int durations;
        HistoryPlot::Series series;
        const char *at, *chosen;
    } rows[] = {{HistoryPlot::Day, 3, HistoryPlot::Sizes, "2026-11-20T10:00:00Z", "stored /k/b.csv"},
                {HistoryPlot::All, 4, HistoryPlot::Sizes, "2026-11-20T11:00:00Z", "stored /k/a.csv"},
                {HistoryPlot::All, 4, HistoryPlot::Failures, "2026-12-01T11:00:00Z", "failed"},
                {HistoryPlot::Week, 3, HistoryPlot::Durations, "2026-12-01T10:40:00Z", "unchanged"}};
    for (const auto &r : rows) {
        outcome->setCurrentIndex(1);  // stored only
        window.findChild<QComboBox *>(QStringLiteral("rangeBox"))->setCurrentIndex(r.range);
        EXPECT_EQ(plot->pointCount(HistoryPlot::Durations), r.durations) << r.range;
        plot->choose(
            r.series,
            QPointF(double(QDateTime::fromString(QString::fromLatin1(r.at), Qt::ISODate).toMSecsSinceEpoch()), 0));
        const QModelIndex chosen = table->currentIndex();
        EXPECT_EQ(
            (chosen.data(HistoryModel::OutcomeRole).toString() + u' ' + chosen.data(HistoryModel::CopyRole).toString())
                .trimmed(),
            QString::fromLatin1(r.chosen))
            << r.range << ' ' << r.at;
    }
    EXPECT_EQ(outcome->currentIndex(), 0);
    EXPECT_EQ(window.size(), QSize(960, 640));  // the plot fits in the window's size

    // A line written while the window is open is drawn and chosen as the newest row.
    QFile log(dir.filePath(QStringLiteral("history.log")));
    ASSERT_TRUE(log.open(QIODevice::Append));
    log.write(line("2026-12-01T12:00:00Z", "failed", "http 503 HTTP 503", 503));
    log.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return plot->pointCount(HistoryPlot::Failures) == 2; }, 5000));
    plot->choose(
        HistoryPlot::Failures,
        QPointF(double(QDateTime::fromString(QStringLiteral("2026-12-01T12:00:00Z"), Qt::ISODate).toMSecsSinceEpoch()),
                0));
    EXPECT_EQ(table->currentIndex().row(), 0);
}

// The window lists the attempts and shows a copy that is gone as gone,
// never as a box, also when it is acted on.
TEST(HistoryWindow, ShowsAGoneCopyAsGone)
{
    QTemporaryDir dir;
    const QString kept = dir.filePath(QStringLiteral("r1.txt")), gone = dir.filePath(QStringLiteral("r2.txt"));
    writeFile(kept, "one\n");
    for (const QString &path : {kept, gone}) {
        StoredCopy copy;
        copy.path = path;
        copy.sha256 = QByteArray(64, 'a');
        copy.at = QDateTime::fromString(path == kept ? QStringLiteral("2026-12-01T01:00:00Z")
                                                     : QStringLiteral("2026-12-01T02:00:00Z"),
                                        Qt::ISODate);
        ASSERT_EQ(recordStored(manifestIn(dir.path()), copy), 0);
    }
    writeFile(dir.filePath(QStringLiteral("history.log")),
              line("2026-12-01T01:00:00Z", "stored", kept) + line("2026-12-01T02:00:00Z", "stored", gone));
    HistoryWindow window(dir.path(), Language::English, QString());
    window.show();
    EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("History – ")));
    EXPECT_EQ(window.findChild<QTableView *>(QStringLiteral("attemptTable"))->model()->rowCount(), 2);
    EXPECT_EQ(window.pair(), (CopyPair{0, 1}));
    EXPECT_TRUE(window.findChild<QComboBox *>(QStringLiteral("newerBox"))->currentText().endsWith(QStringLiteral("(gone)")));
    window.openCopy();
    window.showCopyInFolder();
    EXPECT_TRUE(window.findChild<QLabel *>(QStringLiteral("summaryLabel"))->text().startsWith(QStringLiteral("The copy is gone")));
    EXPECT_TRUE(window.findChildren<QMessageBox *>().isEmpty());
}

// --history opens beside a program that holds the profile: it takes no lock.
TEST(HistoryProgram, OpensAndListsWhileAnotherHoldsTheProfile)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("history.log")),
              line("2026-12-01T01:00:00Z", "failed", "12029 refused", 0) + line("2026-12-01T02:00:00Z", "unchanged"));
    Profile held(dir.path());
    const ProfileLock lock = lockProfile(held, Language::English);
    ASSERT_TRUE(lock.taken()) << lock.problem.toStdString();

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("fetchora.history.info=true"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(FETCHORA_PROGRAM), {QStringLiteral("--history"), QStringLiteral("--config"), dir.path()});
    QByteArray said;
    const bool listed = QTest::qWaitFor(
        [&] {
            program.waitForReadyRead(100);
            said += program.readAllStandardError();
            return said.contains("listed") || program.state() == QProcess::NotRunning;
        },
        30000);
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_TRUE(listed);
    EXPECT_TRUE(said.contains("listed 2 attempts, 0 copies")) << said.constData();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

}  // namespace

FETCHORA_QT_TEST_MAIN("fetchora-history-tests-no-viewer")
