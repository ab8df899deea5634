// The lines the viewer receives: the START line, entry and exit lines with
// their running number, elapsed time and indentation, and when tracing is on.

#include "TraceFixture.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

using TraceLines = TraceFixture;

const QRegularExpression kElapsed(QStringLiteral(R"(^\[[^\]]*\] \[\d+\] \[(\d{5,}\.\d{3})\] )"));

double elapsedOf(const QString &line)
{
    const auto m = kElapsed.match(line);
    return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
}

// cmdStart_Click calls Start, which reads a setting.
void clickStart()
{
    TraceScope t("frmMain", "Sub cmdStart_Click");
    TraceScope inner("frmMain", "Sub Start");
    {
        TraceScope leaf("modINIHandler", "Function GetINIString");
    }
}

// What one clickStart() traces, after the sequence and elapsed fields.
const QStringList kClickStartTails = {
    "->frmMain : Sub cmdStart_Click : \r\n",
    "->\tfrmMain : Sub Start : \r\n",
    "->\t\tmodINIHandler : Function GetINIString : \r\n",
    "<-\t\tmodINIHandler : Function GetINIString : \r\n",
    "<-\tfrmMain : Sub Start : \r\n",
    "<-frmMain : Sub cmdStart_Click : \r\n",
};

TEST_F(TraceLines, FirstCallConnectsOnceAndSendsTheStartLine)
{
    TestViewer &v = startViewer();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    TraceEnter("modGlobal", "Sub Main");
    TraceExit("modGlobal", "Sub Main");
    TraceEnter("modGlobal", "Sub Main");
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    EXPECT_EQ(v.connections(), 1);
    const QList<QByteArray> lines = v.lines();
    ASSERT_EQ(lines.size(), 4);
    const QString start = QString::fromUtf8(lines.first());
    const QString prefix = exeName() + QStringLiteral(" START TRACEWRIGHT 6.60 LITE ");
    ASSERT_TRUE(start.startsWith(prefix)) << start.toStdString();
    ASSERT_TRUE(start.endsWith(QLatin1String("\r\n")));
    const QString stamp = start.mid(prefix.size()).chopped(2);
    ASSERT_TRUE(QRegularExpression(QStringLiteral(R"(^\d\d-\d\d-\d{4},\d\d:\d\d:\d\d$)")).match(stamp).hasMatch())
        << stamp.toStdString();
    // Month first, 24-hour clock: read back, it must be the current moment.
    const QDateTime when = QDateTime::fromString(stamp, QStringLiteral("MM-dd-yyyy,HH:mm:ss"));
    ASSERT_TRUE(when.isValid()) << stamp.toStdString();
    EXPECT_GE(when, before.addMSecs(-before.time().msec()));
    EXPECT_LE(when, after);
}

TEST_F(TraceLines, EntryAndExitLinesAreExact)
{
    startViewer();
    TraceEnter("frmMain", "Sub Form_Load");
    TraceExit("frmMain", "Sub Form_Load");
    TraceEnter("frmSettings", "Sub cmdSave_Click", "extra text");
    TraceExit("frmSettings", "Sub cmdSave_Click", "extra text");

    EXPECT_EQ(traceLines(), QStringList({
                                head(1, "->") + "frmMain : Sub Form_Load : \r\n",
                                head(2, "<-") + "frmMain : Sub Form_Load : \r\n",
                                head(3, "->") + "frmSettings : Sub cmdSave_Click : extra text\r\n",
                                head(4, "<-") + "frmSettings : Sub cmdSave_Click : extra text\r\n",
                            }));
}

TEST_F(TraceLines, NestedProceduresCarryOneTabPerLevelOnEntryAndExit)
{
    startViewer();
    clickStart();
    clickStart();

    QStringList expected;
    for (int i = 0; i < 12; ++i) {
        const QString &tail = kClickStartTails[i % 6];
        expected << head(i + 1, tail.left(2).toLatin1().constData()) + tail.mid(2);
    }
    EXPECT_EQ(traceLines(), expected);
}

class ExitsWithoutEntry : public TraceFixture, public ::testing::WithParamInterface<int> {};

TEST_P(ExitsWithoutEntry, LeaveTheDepthAtZero)
{
    startViewer();
    const int unmatched = GetParam();
    for (int i = 0; i < unmatched; ++i)
        TraceExit("frmMain", "Sub Timer1_Timer");
    clickStart();

    QStringList expected;
    int seq = 0;
    for (int i = 0; i < unmatched; ++i)
        expected << head(++seq, "<-") + "frmMain : Sub Timer1_Timer : \r\n";
    for (const QString &tail : kClickStartTails)
        expected << head(++seq, tail.left(2).toLatin1().constData()) + tail.mid(2);
    EXPECT_EQ(traceLines(), expected);
}

INSTANTIATE_TEST_SUITE_P(Trace, ExitsWithoutEntry, ::testing::Values(1, 3));

TEST_F(TraceLines, ExitInsideANestedCallWithoutItsEntryStillNeverGoesBelowTopLevel)
{
    startViewer();
    TraceEnter("frmMain", "Sub cmdStart_Click");
    TraceExit("frmMain", "Sub cmdStart_Click");
    TraceExit("frmMain", "Sub cmdStart_Click");  // one too many
    TraceExit("frmMain", "Sub cmdStart_Click");  // and another
    TraceEnter("frmMain", "Sub Start");

    const QStringList lines = traceLines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[4], head(5, "->") + "frmMain : Sub Start : \r\n");
}

TEST_F(TraceLines, ElapsedFieldCountsSecondsFromTheStartLine)
{
    startViewer();
    TraceEnter("modGlobal", "Sub Main");
    QThread::msleep(150);
    TraceEnter("frmMain", "Sub Form_Load");
    TraceExit("frmMain", "Sub Form_Load");
    TraceExit("modGlobal", "Sub Main");

    QStringList lines;
    for (const QByteArray &raw : viewer->lines())
        lines << QString::fromUtf8(raw);
    ASSERT_EQ(lines.size(), 5);
    const double first = elapsedOf(lines[1]);
    const double afterSleep = elapsedOf(lines[2]);
    ASSERT_GE(first, 0.0) << lines[1].toStdString();
    ASSERT_GE(afterSleep, 0.0) << lines[2].toStdString();
    EXPECT_LT(first, 0.150);
    EXPECT_GE(afterSleep - first, 0.149);  // millisecond grain
    EXPECT_LT(afterSleep, 30.0);           // seconds, not milliseconds
    EXPECT_LE(afterSleep, elapsedOf(lines[3]));
    EXPECT_LE(elapsedOf(lines[3]), elapsedOf(lines[4]));
}

class DecimalSeparator : public TraceFixture, public ::testing::WithParamInterface<char16_t> {};

TEST_P(DecimalSeparator, ElapsedFieldAlwaysUsesAPoint)
{
    tracetest::setDecimalSeparator(QChar(GetParam()));
    startViewer();
    TraceEnter("frmMain", "Sub Start");
    QThread::msleep(20);
    TraceExit("frmMain", "Sub Start");

    const QStringList lines = traceLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], head(1, "->") + "frmMain : Sub Start : \r\n");
    EXPECT_EQ(lines[1], head(2, "<-") + "frmMain : Sub Start : \r\n");
}

INSTANTIATE_TEST_SUITE_P(Trace, DecimalSeparator, ::testing::Values(u',', u'.', u'\u066B'),
                         [](const auto &info) { return "U" + std::to_string(int(info.param)); });

TEST_F(TraceLines, NoViewerAtTheFirstCallMeansNothingIsEverSent)
{
    // The module looks under this name; the viewer only appears afterwards.
    const QString name = TestViewer::uniqueName();
    tracetest::setViewerName(name);
    TraceEnter("modGlobal", "Sub Main");

    viewer = std::make_unique<TestViewer>(name);
    ASSERT_TRUE(viewer->listening());
    clickStart();
    {
        TraceScope t("frmMain", "Sub Start");
        t.step([] { raiseError(err::FileNotFound); });
    }
    TraceExit("modGlobal", "Sub Main");

    EXPECT_EQ(viewer->connections(), 0);
    EXPECT_TRUE(viewer->lines().isEmpty());
    // The error report does not depend on the trace.
    ASSERT_EQ(prompt.count(), 1);
    EXPECT_EQ(prompt.last().title, "Unexpected Error");
}

TEST_F(TraceLines, ViewerThatGoesAwayDoesNotDisturbTheProgram)
{
    TestViewer &v = startViewer();
    TraceEnter("modGlobal", "Sub Main");
    v.stop();

    QElapsedTimer clock;
    clock.start();
    bool laterStepRan = false;
    {
        TraceScope t("frmMain", "Sub Start");
        t.step([] { raiseError(err::PathNotFound); });
        t.step([&] { laterStepRan = true; });
    }
    TraceExit("modGlobal", "Sub Main");
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(laterStepRan);
    EXPECT_EQ(prompt.count(), 1);
}

TEST_F(TraceLines, ViewerThatNeverAnswersIsGivenUpAfterOneWait)
{
    TestViewer &v = startViewer(TestViewer::Mode::Silent);
    QElapsedTimer clock;
    clock.start();
    TraceEnter("modGlobal", "Sub Main");  // waits once for the answer to START
    EXPECT_LT(clock.elapsed(), 10000);

    clock.restart();
    for (int i = 0; i < 5; ++i)
        clickStart();
    TraceExit("modGlobal", "Sub Main");
    EXPECT_LT(clock.elapsed(), 1000);  // no further waits
    ASSERT_GE(v.lines().size(), 1);
    EXPECT_TRUE(v.lines().first().contains(" START TRACEWRIGHT "));
    EXPECT_LE(v.lines().size(), 2);
}

}  // namespace
