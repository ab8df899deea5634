#include "core/Profile.h"
#include "core/ProfileLock.h"
#include "history/CopyDiff.h"
#include "history/DiffView.h"
#include "history/HistoryLog.h"
#include "history/HistoryModel.h"
#include "history/HistoryWindow.h"
#include "support/QStringPrinter.h"
#include "support/TestFiles.h"
#include "support/UiTestMain.h"
#include "zip/Zip.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
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

QString outcomesOf(const HistoryLines &lines)
{
    QStringList words;
    for (qsizetype i = 0; i < lines.size(); ++i)
        words << lines.entry(i).outcome + u'@' + lines.entry(i).at.toUTC().toString(QStringLiteral("HH"));
    return words.join(u' ');
}

// The index reads the rotated files oldest first; lines that are no attempt
// and a last line still being written are left out.
TEST(HistoryLines, IndexesRotatedFilesAndSkipsOddLines)
{
    const QByteArray one = line("2026-12-01T01:00:00Z", "stored", QStringLiteral("/a\tb\nc")),
                     two = line("2026-12-01T02:00:00Z", "failed", "12029 refused", 0),
                     three = line("2026-12-01T03:00:00Z", "unchanged");
    const QByteArray longer = line("2026-12-01T04:00:00Z", "failed", "1 " + QString(3 << 19, u'x'), 0);
    const struct {
        QByteArray dotTwo, dotOne, log;
        const char *outcomes;
    } rows[] = {
        {one, two, three, "stored@01 failed@02 unchanged@03"},
        {{}, "garbage\n\n2026-13-01T01:00:00Z\tstored\n2026-12-01T01:00:00Z\t\t-\n" + two,
         three + "2026-12-01T04:00:00Z\tstor", "failed@02 unchanged@03"},
        {{}, {}, QByteArray(one + two).replace('\n', "\r\n"), "stored@01 failed@02"},
        {{}, one, longer + three, "stored@01 failed@04 unchanged@03"},
        {{}, {}, {}, ""},
    };
    for (const auto &r : rows) {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("history.log"));
        for (const auto &[suffix, bytes] : {std::pair{".2", r.dotTwo}, {".1", r.dotOne}, {"", r.log}}) {
            if (!bytes.isEmpty())
                writeFile(log + QLatin1String(suffix), bytes);
        }
        const auto lines = HistoryLines::index(log);
        EXPECT_EQ(outcomesOf(*lines), QString::fromLatin1(r.outcomes)) << r.outcomes;
        if (lines->size() > 0 && lines->entry(0).outcome == QLatin1String("stored")) {
            EXPECT_EQ(lines->entry(0).detail, QStringLiteral("/a\tb\nc")) << r.outcomes;
        }
        for (qsizetype i = 0; i < lines->size(); ++i)
            EXPECT_EQ(lines->entry(i).url, QStringLiteral("http://127.0.0.1/r.csv")) << r.outcomes;
    }

    // Twenty thousand lines over three files, the log read in pieces that end inside a line.
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("history.log"));
    QByteArray files[3];
    for (int i = 0; i < 20000; ++i)
        files[std::min(2, i / 2000)] += line(
            qPrintable(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(60 * i).toString(Qt::ISODate)),
            i % 7 ? "unchanged" : "stored", QStringLiteral("/k/r%1.csv").arg(i));
    writeFile(log + QStringLiteral(".2"), files[0]);
    writeFile(log + QStringLiteral(".1"), files[1]);
    writeFile(log, files[2]);
    const auto lines = HistoryLines::index(log);
    ASSERT_EQ(lines->size(), 20000);
    EXPECT_EQ(lines->entry(13579).detail, QStringLiteral("/k/r13579.csv"));

    HistoryModel model(Language::English);
    model.setLines(lines);
    EXPECT_EQ(model.entry(3).detail, QStringLiteral("/k/r19996.csv"));  // newest first
    EXPECT_EQ(model.index(0, HistoryModel::Outcome).data().toString(), QStringLiteral("stored"));
    EXPECT_EQ(model.index(0, HistoryModel::Detail).data().toString(), QStringLiteral("/k/r19999.csv (gone)"));
}

TEST(HistoryModel, ShowsStatusAndErrorApart)
{
    HistoryModel model(Language::English);
    model.setLines(HistoryLines::ofBytes(line("2026-12-01T02:00:00Z", "failed", "12029 refused", 0)));
    EXPECT_EQ(model.index(0, HistoryModel::Status).data().toString(), QStringLiteral("12029"));
    EXPECT_EQ(model.index(0, HistoryModel::Detail).data().toString(), QStringLiteral("refused"));
}

// Appended lines arrive as they are completed; a rotation reads the log again.
TEST(HistoryLog, FollowsAppendsAndRotation)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("history.log"));
    writeFile(log, line("2026-12-01T01:00:00Z", "stored"));
    HistoryFollower follower(log);
    ASSERT_EQ(follower.readAll()->size(), 1);
    QSignalSpy appended(&follower, &HistoryFollower::appended), reloaded(&follower, &HistoryFollower::reloaded);
    const QByteArray next = line("2026-12-01T02:00:00Z", "failed");
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(next.left(10));
    file.flush();
    file.write(next.mid(10));
    file.close();
    ASSERT_TRUE(appended.wait(5000));
    EXPECT_EQ(outcomesOf(*follower.lines()), QStringLiteral("stored@01 failed@02"));

    ASSERT_TRUE(QFile::rename(log, log + QStringLiteral(".1")));
    writeFile(log, line("2026-12-01T03:00:00Z", "cancelled"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reloaded.isEmpty(); }, 5000));
    EXPECT_EQ(outcomesOf(*follower.lines()), QStringLiteral("stored@01 failed@02 cancelled@03"));
}

TEST(HistoryModel, FiltersByOutcomeAndSearch)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("history.log"));
    QByteArray big = line("2026-12-01T03:00:00Z", "not-found", QString(), 404);
    big.replace("\t404\t0\t", "\t404\t1048576\t");
    writeFile(log, line("2026-12-01T01:00:00Z", "stored", QStringLiteral("/k/Müller/report.csv"))
                       + line("2026-12-01T02:00:00Z", "failed", "12007 Host not found", 0) + big);
    const auto lines = HistoryLines::index(log);
    HistoryModel model(Language::German);
    model.setLines(lines);
    HistoryFilter filter;
    filter.setSourceModel(&model);
    const struct {
        const char *outcome, *search;
        int rows;
    } rows[] = {{"", "", 3},          {"failed", "", 1},    {"", "REPORT", 1},    {"", "404", 1},
                {"", "127.0.0.1", 3}, {"stored", "host", 0}, {"", "gefunden", 1}, {"", "MÜLLER", 1},
                {"", "12-01 02:", 1}, {"", "048.5", 1}};
    for (const auto &r : rows) {
        filter.setOutcome(QString::fromLatin1(r.outcome));
        filter.setSearch(QString::fromUtf8(r.search));
        EXPECT_EQ(filter.rowCount(), r.rows) << r.outcome << " / " << r.search;
    }
    // A line appended after the filter looked is filtered as it is shown.
    filter.setSearch(QStringLiteral("host"));
    ASSERT_EQ(filter.rowCount(), 1);
    writeFile(log, readAll(log) + line("2026-12-01T04:00:00Z", "failed", "12007 Host not found", 0));
    EXPECT_EQ(lines->extend(), 1);
    model.showAppended();
    EXPECT_EQ(filter.rowCount(), 2);
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
        {"a\r\nb", "a\nb\n", "=1/1 =2/2", 0},
        {"a\na\n", "a\n", "=1/1 -2/0", 1},
        {"a\nb\nc\n", "a\nc\n", "=1/1 -2/0 =3/2", 1},
        {"x\n1\n2\nx\n", "x\n2\n1\nx\n", "=1/1 -2/0 =3/2 +0/3 =4/4", 2},
    };
    for (const auto &r : rows) {
        const CopyComparison c = compareContents(r.older, r.newer);
        EXPECT_EQ(c.kind, CopyComparison::Text) << r.older;
        EXPECT_EQ(shape(c), QString::fromLatin1(r.shape)) << r.older;
        EXPECT_EQ(c.changes, r.changes) << r.older;
    }
    EXPECT_TRUE(looksLikeText(QByteArray((1 << 16) - 1, 'a') + "ä\n"));  // a letter across two pieces
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

// Two long texts are shown folded: whole, they would hold the window for seconds.
TEST(HistoryWindow, FoldsALongComparison)
{
    QTemporaryDir dir;
    QByteArray text;
    for (int i = 0; i < 10000; ++i)
        text += QByteArray::number(i) + '\n';
    for (int k = 0; k < 2; ++k) {
        StoredCopy copy;
        copy.path = dir.filePath(QStringLiteral("r%1.txt").arg(k));
        copy.sha256 = QByteArray(64, 'a');
        copy.at = QDateTime(QDate(2026, 12, 1), QTime(k, 0), Qt::UTC);
        writeFile(copy.path, k ? text + "end\n" : text);
        ASSERT_EQ(recordStored(manifestIn(dir.path()), copy), 0);
    }
    HistoryWindow window(dir.path(), Language::English, QString());
    EXPECT_TRUE(window.findChild<QCheckBox *>(QStringLiteral("onlyChangesBox"))->isChecked());
}

// A copy stored while the window is open joins the pickers, and the pair moves on to it.
TEST(HistoryWindow, ListsACopyStoredWhileOpen)
{
    QTemporaryDir dir;
    const auto store = [&](int hour) {
        HistoryEntry e;
        e.at = QDateTime(QDate(2026, 12, 1), QTime(hour, 0), Qt::UTC);
        e.outcome = QStringLiteral("stored");
        e.detail = dir.filePath(QStringLiteral("r%1.txt").arg(hour));
        writeFile(e.detail, QByteArray::number(hour) + '\n');
        StoredCopy copy;
        copy.path = e.detail;
        copy.sha256 = QByteArray(64, 'a');
        copy.at = e.at;
        EXPECT_EQ(recordStored(manifestIn(dir.path()), copy), 0);
        appendHistory(dir.filePath(QStringLiteral("history.log")), e);
    };
    store(1);
    HistoryWindow window(dir.path(), Language::English, QString());
    EXPECT_EQ(window.pair(), (CopyPair{0, 0}));
    store(2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.pair() == CopyPair{0, 1}; }, 5000));
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
