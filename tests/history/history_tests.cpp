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

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QPainter>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace fetchora;
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

// The index reads the rotated files oldest first, in pieces that may end inside a line, and a path's tab and line break
// as written; lines that are no attempt and a last line still being written are left out. --history lists them too,
// beside a program that holds the profile: it takes no lock.
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
        {{}, one, three + longer + three, "stored@01 unchanged@03 failed@04 unchanged@03"},
    };
    qputenv("QT_LOGGING_RULES", "fetchora.history.info=true");
    for (const auto &r : rows) {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("history.log"));
        for (const auto &[suffix, bytes] : {std::pair{".2", r.dotTwo}, {".1", r.dotOne}, {"", r.log}}) {
            if (!bytes.isEmpty())
                writeFile(log + QLatin1String(suffix), bytes);
        }
        const auto lines = HistoryLines::index(log);
        QStringList words;
        for (qsizetype i = 0; i < lines->size(); ++i) {
            const HistoryEntry e = lines->entry(i);
            words << e.outcome + u'@' + e.at.toUTC().toString(QStringLiteral("HH"));
            EXPECT_EQ(e.url, QStringLiteral("http://127.0.0.1/r.csv")) << r.outcomes;
            EXPECT_TRUE(e.outcome != u"stored" || e.detail == u"/a\tb\nc") << qPrintable(e.detail);
        }
        EXPECT_EQ(words.join(u' '), QString::fromLatin1(r.outcomes));
        Profile held(dir.path());
        const ProfileLock lock = lockProfile(held, Language::English);
        ASSERT_TRUE(lock.taken()) << lock.problem.toStdString();
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(FETCHORA_PROGRAM), {"--history", "--config", dir.path()});
        QByteArray said;
        while (!said.contains("listed") && program.waitForReadyRead(30000))
            said += program.readAll();
        program.terminate();
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_TRUE(said.contains("listed " + QByteArray::number(lines->size()) + " attempts, 0 copies"))
            << said.constData();
        EXPECT_TRUE(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0) << said.constData();
    }
}

TEST(HistoryModel, FiltersByOutcomeAndSearch)
{
    QByteArray big = line("2026-12-01T03:00:00Z", "not-found", QString(), 404);
    big.replace("\t404\t0\t", "\t404\t1048576\t");
    HistoryModel model(Language::German);
    model.setLines(HistoryLines::ofBytes(line("2026-12-01T01:00:00Z", "stored", QStringLiteral("/k/Müller/report.csv"))
                                         + line("2026-12-01T02:00:00Z", "failed", "12007 Host not found", 0) + big));
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
    // Newest first; a failure's status apart from its error.
    EXPECT_EQ(model.index(1, HistoryModel::Status).data().toString(), QStringLiteral("12007"));
    EXPECT_EQ(model.index(1, HistoryModel::Detail).data().toString(), QStringLiteral("Host not found"));
    EXPECT_EQ(model.index(2, HistoryModel::Detail).data().toString(), QStringLiteral("/k/Müller/report.csv (nicht mehr da)"));
}

// "=" an equal line, "-" removed, "+" added, each with its line numbers and "[start+length]" of each changed cell.
QString shape(const CopyComparison &c)
{
    QStringList out;
    for (const DiffLine &l : c.lines) {
        out << QStringLiteral("%1%2/%3").arg(QLatin1Char("=-+"[l.kind])).arg(l.left).arg(l.right);
        for (const CellRange &r : l.cells)
            out.last() += QStringLiteral("[%1+%2]").arg(r.start).arg(r.length);
    }
    return out.join(u' ');
}

// Text line by line; other bytes (no shape) by size, hash and the first byte that differs. A copy is a table by its
// name or by fields every line has as many of; its changed cells are marked.
TEST(CopyDiff, ComparesTextLineByLineTablesCellByCellAndOtherBytesByTheirFirstDifference)
{
    const struct {
        QByteArray older, newer;
        const char *shape;
        int changes;
        qint64 first = -1;
        const char *name = "";
        char separator = 0;  // 0: not CSV
    } rows[] = {
        {"a\nb\nc\nd\n", "b\nc\nD\n", "-1/0 =2/1 =3/2 -4/0 +0/3", 2},
        {"", "x\n", "+0/1", 1},
        {"a\r\nb", "a\nb\n", "=1/1 =2/2", 0},
        {"a\na\n", "a\n", "=1/1 -2/0", 1},
        {"a\nb\nc\n", "a\nc\n", "=1/1 -2/0 =3/2", 1},
        {"x\n1\n2\nx\n", "x\n2\n1\nx\n", "=1/1 -2/0 =3/2 +0/3 =4/4", 2},
        {QByteArray("\x89PNG\0\1", 6), QByteArray("\x89PNG\0\2", 6), "", 0, 5},
        {QByteArray("\0\0", 2), QByteArray("\0\0", 2), "", 0, -1},
        {QByteArray("\0ab", 3), QByteArray("\0a", 2), "", 0, 2},
        {QByteArray("\xff\xfe", 2), QByteArray("ok"), "", 0, 0},
        // "" and , in quotes
        {"\"say \"\"hi\"\", ok\",1", "\"say \"\"ho\"\", ok\",1", "-1/0[0+16] +0/1[0+16]", 1, -1, "r.csv", ','},
        {"\"a\",1", "a,1", "-1/0 +0/1", 1, -1, "r.csv", ','},  // quoted or not, the same value
        {"a,b", "a,b,", "-1/0 +0/1[3+1]", 1, -1, "r.csv", ','},  // an empty trailing cell added
        {"a;b;c", "a;c", "-1/0[2+1][3+2] +0/1[2+1]", 1, -1, "r.csv", ';'},  // column by column
        {"a\tb\n1\t2\n", "a\tb\n1\t3\n", "=1/1 -2/0[2+1] +0/2[2+1]", 1, -1, "r", '\t'},
        {"Hello, world\nBye\n", "Hello, you\nBye\n", "-1/0 +0/1 =2/2", 1, -1, "notes.txt", 0},
        {"a,b\n", "a,c\n", "-1/0[2+1] +0/1[2+1]", 1, -1, "one.txt", ','},
        {"only\n", "one\n", "-1/0[0+4] +0/1[0+3]", 1, -1, "R.CSV", ','},  // named: a table of one column
        {"only\n", "one\n", "-1/0 +0/1", 1, -1, "log.txt", 0},
    };
    for (const auto &r : rows) {
        const CopyComparison c = compareContents(r.older, r.newer, QString::fromLatin1(r.name));
        EXPECT_EQ(c.kind, *r.shape ? CopyComparison::Text : CopyComparison::Binary) << r.shape;
        EXPECT_EQ(c.separator, QChar(r.separator)) << r.name << ": " << r.older.constData();
        EXPECT_EQ(shape(c), QString::fromLatin1(r.shape)) << r.older.constData();
        EXPECT_EQ(c.changes, r.changes) << r.older.constData();
        EXPECT_EQ(c.firstDifference, r.first) << r.older.constData();
        EXPECT_EQ(c.sha256[0] == c.sha256[1], r.older == r.newer) << r.older.constData();
    }
    EXPECT_TRUE(looksLikeText(QByteArray((1 << 16) - 1, 'a') + "ä\n"));  // a letter across two pieces
}

// Twenty lines, the tenth changed, in ZIP copies: compared by the file inside. The changed cell is marked in
// both lines and both views, and the equal parts around the change can be folded.
TEST(CopyDiff, ComparesZipCopiesByTheFileInsideAndShowsTheChange)
{
    QTemporaryDir dir;
    const auto zipped = [&](const char *name, const QByteArray &text) {
        const QString plain = dir.filePath(QStringLiteral("report.csv"));
        writeFile(plain, text);
        const QString archive = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(zip::packFile(archive, plain, QStringLiteral("pw"), 6, Language::English).ok());
        return archive;
    };
    QByteArray older, newer;
    for (int i = 1; i <= 20; ++i) {
        older += QByteArray::number(i) + ";10\n";
        newer += QByteArray::number(i) + (i == 10 ? ";12\n" : ";10\n");
    }
    const CopyComparison c = compareCopies(zipped("a.zip", older), zipped("b.zip", newer), QStringLiteral("pw"));
    EXPECT_EQ(c.inner[1], QStringLiteral("report.csv"));
    for (bool sideBySide : {true, false}) {
        const QString html = diffHtml(c, sideBySide, false, Language::English);
        EXPECT_TRUE(html.contains(QStringLiteral("underline\">10</span>"))) << sideBySide;
        EXPECT_TRUE(html.contains(QStringLiteral("underline\">12</span>"))) << sideBySide;
        EXPECT_FALSE(html.contains(QStringLiteral("equal lines"))) << sideBySide;
        EXPECT_FALSE(diffHtml(c, sideBySide, false, Language::English, false).contains(QStringLiteral("underline")));
        const QString folded = diffHtml(c, sideBySide, true, Language::English);
        EXPECT_TRUE(folded.contains(QStringLiteral("… 6 equal lines …"))) << sideBySide;
        EXPECT_TRUE(folded.contains(QStringLiteral("… 7 equal lines …"))) << sideBySide;
        EXPECT_TRUE(folded.contains(QStringLiteral("name=\"c0\""))) << sideBySide;
    }
}

QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(30, 60, 160));
    g.setColorAt(1, QColor(240, 200, 80));
    p.fillRect(image.rect(), g);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(0, height, width, 0);
    return image;
}

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

TEST(CopyDiff, ComparesPicturesPixelByPixel)
{
    const QImage base = picture(64, 48);
    QImage dot = base, clear(base.size(), QImage::Format_ARGB32), hidden = clear;
    dot.setPixel(5, 7, qRgb(0, 0, 0));
    clear.fill(qRgba(0, 0, 0, 0));
    hidden.fill(qRgba(255, 255, 255, 0));
    // A JPEG decoded and encoded again at the same quality: noise, no change.
    const QImage jpeg = QImage::fromData(encoded(base, "JPEG", 75));
    const QImage again = QImage::fromData(encoded(jpeg, "JPEG", 75));
    const struct {
        const char *what;
        QImage older, newer;
        PixelDifference::Outcome outcome;
        qint64 changed;
        QRect bounds;
    } rows[] = {
        {"one pixel", base, dot, PixelDifference::Compared, 1, {5, 7, 1, 1}},
        {"sizes", base, picture(48, 64), PixelDifference::SizesDiffer, 0, {}},
        {"unseen colours", clear, hidden, PixelDifference::Compared, 0, {}},
    };
    for (const auto &r : rows) {
        const PixelDifference d = comparePixels(r.older, r.newer, 0);
        EXPECT_EQ(d.outcome, r.outcome) << r.what;
        EXPECT_EQ(d.changed, r.changed) << r.what;
        EXPECT_EQ(d.bounds, r.bounds) << r.what;
    }
    const QImage marked = markedPicture(dot, comparePixels(base, dot, 0));
    EXPECT_GT(qRed(marked.pixel(5, 7)), 100);
    EXPECT_EQ(marked.pixel(30, 30), base.pixel(30, 30));
    // Copies are told as pictures by their content; JPEG ones compared with the tolerance.
    const CopyComparison c = compareContents(encoded(jpeg, "JPEG", 75), encoded(again, "JPEG", 75));
    EXPECT_EQ(c.kind, CopyComparison::Image);
    EXPECT_EQ(c.pixels.changed, 0);
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

// A copy the store recorded at that hour of a day, and its line in history.log; without bytes it is gone.
void storeCopy(const QString &folder, int hour, const QByteArray &bytes = {})
{
    HistoryEntry e;
    e.at = QDateTime(QDate(2026, 12, 1), QTime(hour, 0), Qt::UTC);
    e.outcome = QStringLiteral("stored");
    e.detail = folder + QStringLiteral("/copy%1").arg(hour);
    if (!bytes.isEmpty())
        writeFile(e.detail, bytes);
    StoredCopy copy;
    copy.path = e.detail;
    copy.sha256 = QByteArray(64, 'a');
    copy.at = e.at;
    ASSERT_EQ(recordStored(manifestIn(folder), copy), 0);
    appendHistory(folder + QStringLiteral("/history.log"), e);
}

// Four attempts of one history.log, the first of them outside the plot's last week.
QString writeAttempts(const QTemporaryDir &dir)
{
    const QString log = dir.filePath(QStringLiteral("history.log"));
    writeFile(log, line("2026-11-20T10:00:00Z", "stored", QStringLiteral("/k/a.csv"))
                       + line("2026-12-01T09:00:00Z", "failed", "curl 28 timed out", 0)
                       + line("2026-12-01T10:00:00Z", "stored", QStringLiteral("/k/b.csv"))
                       + line("2026-12-01T11:00:00Z", "unchanged"));
    return log;
}

// A range of the plot ends at the newest attempt; a click on it chooses the attempt drawn nearest in time, also when
// the table's filter hid it. A line written while the window is open is drawn and filtered as it comes. (Qt draws
// the plot on threads of its own, so the thread sanitizer leaves this test out; keep other work out of it.)
TEST(HistoryWindow, PlotRangesAndClicksChooseTheAttemptAndNewLinesAreDrawn)
{
    QTemporaryDir dir;
    const QString log = writeAttempts(dir);
    HistoryWindow window(dir.path(), Language::German, QString());
    window.show();
    const QSize size = window.size();
    window.findChild<QTabWidget *>(QStringLiteral("viewTabs"))->setCurrentIndex(1);
    auto *plot = window.findChild<HistoryPlot *>(QStringLiteral("historyPlot"));
    auto *outcome = window.findChild<QComboBox *>(QStringLiteral("outcomeBox"));
    const QTableView *table = window.findChild<QTableView *>(QStringLiteral("attemptTable"));
    const auto at = [](const char *time) {
        return QPointF(double(QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate).toMSecsSinceEpoch()), 0);
    };
    const struct {
        HistoryPlot::Range range;
        int durations;
        HistoryPlot::Series series;
        const char *at, *chosen;
    } rows[] = {{HistoryPlot::Day, 3, HistoryPlot::Sizes, "2026-11-20T10:00:00Z", "stored /k/b.csv"},
                {HistoryPlot::All, 4, HistoryPlot::Failures, "2026-12-01T11:00:00Z", "failed"},
                {HistoryPlot::Week, 3, HistoryPlot::Durations, "2026-12-01T10:40:00Z", "unchanged"}};
    for (const auto &r : rows) {
        outcome->setCurrentIndex(1);  // stored only
        window.findChild<QComboBox *>(QStringLiteral("rangeBox"))->setCurrentIndex(r.range);
        EXPECT_EQ(plot->pointCount(HistoryPlot::Durations), r.durations) << r.range;
        plot->choose(r.series, at(r.at));
        const QModelIndex chosen = table->currentIndex();
        EXPECT_EQ(
            (chosen.data(HistoryModel::OutcomeRole).toString() + u' ' + chosen.data(HistoryModel::CopyRole).toString())
                .trimmed(),
            QString::fromLatin1(r.chosen))
            << r.range << ' ' << r.at;
    }
    EXPECT_EQ(window.size(), size);  // the plot fits in the window's size

    // A failure written while the table shows failures only is drawn, kept by the filter and chosen as the newest row.
    outcome->setCurrentIndex(3);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(line("2026-12-01T12:00:00Z", "failed", "http 503 HTTP 503", 503));
    file.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return plot->pointCount(HistoryPlot::Failures) == 2; }, 5000));
    EXPECT_EQ(table->model()->rowCount(), 2);
    plot->choose(HistoryPlot::Failures, at("2026-12-01T12:00:00Z"));
    EXPECT_EQ(table->currentIndex().row(), 0);
}

// One window from before the first copy on: the log moved aside is read again, and copies stored meanwhile join the
// pickers, the pair moving on to the newest. A copy that is gone shows as gone, never as a box, also when it is
// acted on. The summary says in words what the colours mark, also to a screen reader, and the marks can be
// hidden. Two long texts are shown folded: whole, they would hold the window for seconds.
TEST(HistoryWindow, FollowsTheLogAndTheCopiesAndSaysWhatChanged)
{
    QTemporaryDir dir;
    const QString log = writeAttempts(dir);
    HistoryWindow window(dir.path(), Language::German, QString());
    window.show();
    const auto *summary = window.findChild<QLabel *>(QStringLiteral("summaryLabel"));
    // Selectable, the empty summary would take the focus, and a screen reader would read it as nothing.
    EXPECT_EQ(summary->focusPolicy(), Qt::NoFocus);
    const QTableView *table = window.findChild<QTableView *>(QStringLiteral("attemptTable"));
    window.findChild<QComboBox *>(QStringLiteral("outcomeBox"))->setCurrentIndex(1);
    ASSERT_TRUE(QFile::rename(log, log + QStringLiteral(".1")));
    storeCopy(dir.path(), 0, "id,n\n1,2\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.pair() == CopyPair{0, 0}; }, 5000));
    EXPECT_EQ(table->model()->rowCount(), 3);
    QImage dot = picture(8, 8);
    dot.setPixel(1, 1, qRgb(0, 0, 0));
    const QByteArray text = QByteArray("line\n").repeated(10000);
    const QByteArray contents[] = {"id,n\n1,3\n", encoded(picture(8, 8), "PNG"), encoded(dot, "PNG"), text, text + "end\n",
                                   {}};
    for (int i = 1; i <= 6; ++i)
        storeCopy(dir.path(), i, contents[i - 1]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.pair() == CopyPair{5, 6}; }, 5000));
    EXPECT_TRUE(window.findChild<QComboBox *>(QStringLiteral("newerBox"))->currentText().endsWith(QStringLiteral("(nicht mehr da)")));
    const auto *diff = window.findChild<DiffView *>(QStringLiteral("diffView"));
    EXPECT_TRUE(diff->toPlainText().startsWith(QStringLiteral("Die Kopie ist nicht mehr da")));
    window.openCopy();
    window.showCopyInFolder();
    EXPECT_TRUE(summary->text().startsWith(QStringLiteral("Die Kopie ist nicht mehr da")));
    EXPECT_TRUE(window.findChildren<QMessageBox *>().isEmpty());

    window.stepPair(1);  // the newest pair stays
    window.stepPair(-1);
    EXPECT_TRUE(window.findChild<QCheckBox *>(QStringLiteral("onlyChangesBox"))->isChecked());
    window.setPair({1, 2});
    window.stepPair(1);
    EXPECT_EQ(summary->text(), QStringLiteral("1 Pixel geändert"));
    EXPECT_EQ(diff->accessibleDescription(), summary->text());
    EXPECT_TRUE(diff->toHtml().contains(QStringLiteral("rot markiert")));
    window.findChild<QCheckBox *>(QStringLiteral("markChangesBox"))->setChecked(false);
    EXPECT_FALSE(diff->toHtml().contains(QStringLiteral("rot markiert")));
    window.setPair({0, 1});
    window.stepPair(-1);  // the oldest pair stays
    EXPECT_EQ(summary->text(), QStringLiteral("1 Änderungen (F7, Umschalt+F7), 1 geänderte Zellen"));
}

}  // namespace

FETCHORA_QT_TEST_MAIN("fetchora-history-tests-no-viewer")
