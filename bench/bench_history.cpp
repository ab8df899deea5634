// The history window over a year of attempts, against what a shell does with the same files.
//
//   bench_history --dir TMPDIR [--lines 525600] [--copies 100000] [--diff-bytes 10485760] [--runs 3]
//
// Writes (in a child process, as each window is opened in one) a year of
// history.log, one attempt a minute, in twelve files (history.log.11 … .1 and
// the log itself), a manifest of the copies that year stored (the two newest
// are real small files, the rest gone), and two text copies of --diff-bytes
// that differ in five lines. Then, in one process, offscreen:
//
// - the window opened over that folder until its table is painted, in a
//   fresh process each time as `fetchora --history` opens it, against
//   `tail -n 1000 history.log` plus `wc -l` over every file of the log;
// - the resident memory (VmRSS) the window added there, against the size of
//   the log's files: what holding them whole would take at the least;
// - the two large copies compared and shown as the window does (read,
//   SHA-256, text check, dtl, the equal parts folded), against `diff`.
//
// Scrolling, filtering and the pickers are timed on the first window and
// printed to stderr only.

#include "bench_common.h"

#include "history/CopyDiff.h"
#include "history/DiffView.h"
#include "history/HistoryLog.h"
#include "history/HistoryWindow.h"
#include "store/History.h"
#include "store/Manifest.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTableView>

#include <cstring>
#include <ctime>

using namespace fetchora;

namespace {

long long residentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    }
    return 0;
}

// A shared machine gives a process a share of its cores: the CPU time says what it took itself.
double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString logName(const QString &dir, int rotated)
{
    return dir + QStringLiteral("/history.log") + (rotated ? u'.' + QString::number(rotated) : QString());
}

int generate(const QString &dir, int lines, int copies, qint64 diffBytes)
{
    constexpr int kFiles = 12;
    const int perFile = (lines + kFiles - 1) / kFiles;
    QDir().mkpath(dir + QStringLiteral("/save"));
    const QDateTime start(QDate(2025, 12, 7), QTime(0, 0), Qt::OffsetFromUTC, 3600);
    QList<StoredCopy> stored;
    QByteArray text;
    for (int i = 0, file = kFiles - 1; i < lines; ++i) {
        HistoryEntry e;
        e.at = start.addSecs(60LL * i);
        e.url = QStringLiteral("https://example.org/daily/report.csv");
        e.seconds = 0.2 + (i % 50) / 100.0;
        if (qint64(i + 1) * copies / lines != qint64(i) * copies / lines) {
            e.outcome = QStringLiteral("stored");
            e.httpStatus = 200;
            e.bytes = 1048576 + i % 977;
            e.sha256 = QString::fromLatin1(QByteArray::number(i).rightJustified(64, 'a'));
            e.detail = dir + QStringLiteral("/save/report_") + e.at.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
                       + QStringLiteral(".csv");
            StoredCopy c;
            c.path = e.detail;
            c.size = e.bytes;
            c.mtimeNs = e.at.toMSecsSinceEpoch() * 1000000;
            c.sha256 = e.sha256.toLatin1();
            c.url = e.url;
            c.at = e.at;
            stored.append(c);
        } else if (i % 97 == 0) {
            e.outcome = QStringLiteral("failed");
            e.detail = QStringLiteral("28 Operation timed out after 30000 milliseconds with 0 bytes received");
        } else {
            e.outcome = QStringLiteral("unchanged");
            e.httpStatus = 304;
        }
        text += e.line().toUtf8();
        if ((i + 1) % perFile == 0 || i + 1 == lines) {
            if (!writeAll(logName(dir, file--), text))
                return 1;
            text.clear();
        }
    }
    if (rewriteManifest(manifestIn(dir), stored, {}) != 0)
        return 1;
    for (qsizetype k = std::max<qsizetype>(0, stored.size() - 2); k < stored.size(); ++k)
        writeAll(stored[k].path, "id;price\n1;" + QByteArray::number(k) + "\n");

    // A price list: every line different, five of them changed in the newer copy.
    QByteArray older, newer;
    for (int n = 0; older.size() < diffBytes; ++n)
        older += "item-" + QByteArray::number(n) + ";2026-12-0" + QByteArray::number(n % 9 + 1) + ";"
                 + QByteArray::number((n * 7919) % 100000) + ";some description of item " + QByteArray::number(n) + "\n";
    newer = older;
    for (int k = 1; k <= 5; ++k) {
        const qsizetype at = newer.indexOf('\n', newer.size() * k / 6) + 1;
        newer.insert(at, "changed line " + QByteArray::number(k) + "\n");
    }
    QDir().mkpath(dir + QStringLiteral("/diff"));
    return writeAll(dir + QStringLiteral("/diff/older.csv"), older) && writeAll(dir + QStringLiteral("/diff/newer.csv"), newer)
               ? 0
               : 1;
}

void paint(QTableView *table)
{
    QCoreApplication::processEvents();
    table->viewport()->repaint();
}

// What a user does next in the first window, timed for stderr.
void exercise(HistoryWindow *w)
{
    auto *table = w->findChild<QTableView *>(QStringLiteral("attemptTable"));
    QScrollBar *bar = table->verticalScrollBar();
    double worst = 0, total = 0;
    const int jumps = 50;
    for (int k = 0; k < jumps; ++k) {
        const double t0 = bench::now();
        bar->setValue(int(qint64(bar->maximum()) * ((k * 37) % jumps) / jumps));
        paint(table);
        const double t = bench::now() - t0;
        worst = std::max(worst, t);
        total += t;
    }
    std::fprintf(stderr, "  scroll: %d jumps across the table, mean %.1f ms, slowest %.1f ms\n", jumps,
                 1000 * total / jumps, 1000 * worst);
    double t0 = bench::now();
    for (int k = 0; k < 20; ++k) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        paint(table);
    }
    std::fprintf(stderr, "  scroll: 20 pages down, %.1f ms each\n", 1000 * (bench::now() - t0) / 20);

    auto *search = w->findChild<QLineEdit *>(QStringLiteral("searchEdit"));
    auto *outcome = w->findChild<QComboBox *>(QStringLiteral("outcomeBox"));
    for (const char *text : {"timed out", "12-24 18:", "Ärger"}) {
        t0 = bench::now();
        search->setText(QString::fromUtf8(text));
        paint(table);
        std::fprintf(stderr, "  filter: search \"%s\" %.0f ms, %d rows\n", text, 1000 * (bench::now() - t0),
                     table->model()->rowCount());
    }
    search->clear();
    t0 = bench::now();
    outcome->setCurrentIndex(outcome->findData(QStringLiteral("failed")));
    paint(table);
    std::fprintf(stderr, "  filter: outcome failed %.0f ms, %d rows\n", 1000 * (bench::now() - t0),
                 table->model()->rowCount());
    outcome->setCurrentIndex(0);
    paint(table);

    auto *older = w->findChild<QComboBox *>(QStringLiteral("olderBox"));
    t0 = bench::now();
    older->showPopup();
    QCoreApplication::processEvents();
    std::fprintf(stderr, "  picker: %d copies, popup shown in %.0f ms\n", older->count(), 1000 * (bench::now() - t0));
    older->hidePopup();
}

// One window opened in a process of its own, as `fetchora --history` opens
// it: prints its time to the painted table and the resident memory it added.
int openOnce(const QString &dir, bool exerciseToo)
{
    // Qt's own start (platform, style, fonts) comes first: the growth is the window's.
    {
        QTableView warm;
        warm.show();
        paint(&warm);
    }
    const long long before = residentBytes();
    const double t0 = bench::now(), cpu0 = cpuSeconds();
    HistoryWindow w(dir, Language::English, QString());
    w.show();
    auto *table = w.findChild<QTableView *>(QStringLiteral("attemptTable"));
    paint(table);
    const double t = bench::now() - t0;
    std::printf("OPENED\t%.6f\t%lld\t%d\t%.6f\n", t, residentBytes() - before, table->model()->rowCount(),
                cpuSeconds() - cpu0);
    std::fflush(stdout);
    if (exerciseToo)
        exercise(&w);
    return 0;
}

int measure(const QString &dir, int lines, int copies, qint64 diffBytes, int runs)
{
    {
        double t0 = bench::now();
        const auto lines = HistoryLines::index(logName(dir, 0));
        const double index = bench::now() - t0;
        t0 = bench::now();
        const qsizetype listed = readManifest(manifestIn(dir)).copies.size();
        std::fprintf(stderr, "  parts: the log's %lld lines indexed in %.3f s, the manifest's %lld copies read in %.3f s\n",
                     qlonglong(lines->size()), index, qlonglong(listed), bench::now() - t0);
    }
    std::vector<double> ours, peer, grown;
    std::vector<std::string> wc = {"wc", "-l"};
    for (int k = 11; k >= 0; --k)
        wc.push_back(logName(dir, k).toStdString());
    for (int r = 0; r < runs; ++r) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList args{QStringLiteral("--open"), QStringLiteral("--dir"), dir};
        if (r == 0)
            args << QStringLiteral("--exercise");
        child.start(QStringLiteral("/proc/self/exe"), args);
        child.waitForFinished(-1);
        const QList<QByteArray> said = child.readAllStandardOutput().trimmed().split('\t');
        if (child.exitCode() != 0 || said.size() != 5 || said[0] != "OPENED") {
            std::fprintf(stderr, "the window did not open\n");
            return 1;
        }
        ours.push_back(said[1].toDouble());
        grown.push_back(said[2].toDouble());

        const double a = bench::runTimed({"tail", "-n", "1000", logName(dir, 0).toStdString()}, true);
        const double b = bench::runTimed(wc, true);
        if (a < 0 || b < 0)
            return 1;
        peer.push_back(a + b);
        std::fprintf(stderr, "  run %d: window %.3f s (CPU %.3f s; %s rows, VmRSS +%.1f MiB), tail + wc -l %.3f s\n",
                     r + 1, ours.back(), said[4].toDouble(), said[3].constData(), grown.back() / 1048576.0, peer.back());
    }
    qint64 logBytes = 0;
    for (int k = 0; k <= 11; ++k)
        logBytes += QFileInfo(logName(dir, k)).size();

    const std::string year = "history window over a year (" + std::to_string(lines) + " lines in 12 files, "
                             + std::to_string(copies) + " copies)";
    const std::string each = ", a fresh process each time, median of " + std::to_string(runs);
    const double to = bench::median(ours), tp = bench::median(peer), rss = bench::median(grown);
    bench::row(year + ": open to table painted" + each, bench::fmt("%.2f s", to),
               "tail -n 1000 + wc -l " + bench::fmt("%.3f s", tp), bench::fmt("%.1fx", to / tp), "< 1 s");
    bench::row(year + ": resident memory the window adds (VmRSS)" + each, bench::mib(rss),
               "the log's files " + bench::mib(double(logBytes)), bench::fmt("%.2fx", rss / double(logBytes)),
               "< 150 MiB");

    const QString older = dir + QStringLiteral("/diff/older.csv"), newer = dir + QStringLiteral("/diff/newer.csv");
    std::vector<double> diffOurs, diffPeer;
    CopyComparison c;
    DiffView view(Language::English);
    view.setOnlyChanges(true);  // as the window shows a text this long
    for (int r = 0; r < runs; ++r) {
        const double t0 = bench::now();
        c = compareCopies(older, newer, QString());
        const double compared = bench::now() - t0;
        view.show(c);
        diffOurs.push_back(bench::now() - t0);
        // diff says 1 for copies that differ.
        const double b = bench::runTimed({"sh", "-c", "diff \"$1\" \"$2\" >/dev/null; [ $? -le 1 ]", "sh",
                                          older.toStdString(), newer.toStdString()});
        if (b < 0)
            return 1;
        diffPeer.push_back(b);
        std::fprintf(stderr, "  diff run %d: ours %.3f s (compared in %.3f s: %lld lines, %d changes), diff %.3f s\n",
                     r + 1, diffOurs.back(), compared, qlonglong(c.lines.size()), c.changes, b);
    }
    {
        const double t0 = bench::now();
        const QString html = diffHtml(c, true, false, Language::English);
        std::fprintf(stderr, "  the same as HTML unfolded (not shown): %.3f s, %lld characters\n", bench::now() - t0,
                     qlonglong(html.size()));
    }
    const double dO = bench::median(diffOurs), dP = bench::median(diffPeer);
    bench::row("compare two " + bench::sizeLabel(quint64(diffBytes)) + " text copies, five lines apart (read, SHA-256, dtl, shown folded), median of "
                   + std::to_string(runs),
               bench::fmt("%.2f s", dO), "diff " + bench::fmt("%.3f s", dP), bench::fmt("%.1fx", dO / dP), "< 1 s");
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    QString dir;
    int lines = 525600, copies = 100000, runs = 3;
    qint64 diffBytes = 10 << 20;
    bool generateOnly = false, openOnly = false, exerciseToo = false;
    for (int i = 1; i < argc; ++i) {
        const bool value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--generate"))
            generateOnly = true;
        else if (!std::strcmp(argv[i], "--open"))
            openOnly = true;
        else if (!std::strcmp(argv[i], "--exercise"))
            exerciseToo = true;
        else if (!std::strcmp(argv[i], "--dir") && value)
            dir = QString::fromLocal8Bit(argv[++i]);
        else if (!std::strcmp(argv[i], "--lines") && value)
            lines = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--copies") && value)
            copies = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--diff-bytes") && value)
            diffBytes = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--runs") && value)
            runs = std::atoi(argv[++i]);
    }
    if (dir.isEmpty() || runs < 1 || lines < 1 || copies < 0 || copies > lines) {
        std::fprintf(stderr, "usage: %s --dir DIR [--lines N] [--copies N] [--diff-bytes N] [--runs N]\n", argv[0]);
        return 2;
    }
    dir = QDir(dir).absolutePath();
    if (generateOnly)
        return generate(dir, lines, copies, diffBytes);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (openOnly) {
        QApplication app(argc, argv);
        return openOnce(dir, exerciseToo);
    }
    const double t0 = bench::now();
    if (bench::runTimed({"/proc/self/exe", "--generate", "--dir", dir.toStdString(), "--lines", std::to_string(lines),
                         "--copies", std::to_string(copies), "--diff-bytes", std::to_string(diffBytes)})
        < 0)
        return 1;
    std::fprintf(stderr, "  generated the year in %.1f s\n", bench::now() - t0);
    QApplication app(argc, argv);
    return measure(dir, lines, copies, diffBytes, runs);
}
