#include "support/QtTestMain.h"
#include "support/ScriptedPrompt.h"
#include "trace/modTraceLITE.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <new>

using namespace fetchora;

namespace {

const QString kElapsed = QStringLiteral("\\[\\d{5}\\.\\d{3}\\]");

class Trace : public ::testing::Test {
protected:
    void SetUp() override
    {
        tracetest::reset();
        tracetest::setLineSink([this](const QString &line) { lines << line; });
        setTracePrompt(&prompt);
    }
    void TearDown() override
    {
        tracetest::setLineSink({});
        tracetest::setDecimalSeparator(QChar());
        tracetest::reset();
        setTracePrompt(nullptr);
    }
    // The lines after START, with the elapsed field (checked) as [T].
    QStringList traced() const
    {
        QStringList out;
        for (QString line : lines.mid(1)) {
            EXPECT_TRUE(line.contains(QRegularExpression(kElapsed)) || line.contains("] ERROR ")) << qPrintable(line);
            out << line.replace(QRegularExpression(kElapsed), "[T]");
        }
        return out;
    }

    QStringList lines;
    fetchora::testing::ScriptedPrompt prompt;
    const QString exe = "[" + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + "] ";
};

TEST_F(Trace, FirstCallSendsTheStartLine)
{
    TraceEnter("modGlobal", "Sub Main");
    ASSERT_EQ(lines.size(), 2);
    const QRegularExpression start("^" + exe.mid(1, exe.size() - 3) +
                                   " START TRACEWRIGHT 6\\.60 LITE (\\d\\d-\\d\\d-\\d{4}),\\d\\d:\\d\\d:\\d\\d\r\n$");
    const auto match = start.match(lines[0]);
    ASSERT_TRUE(match.hasMatch()) << qPrintable(lines[0]);
    EXPECT_EQ(match.captured(1), QDate::currentDate().toString("MM-dd-yyyy"));
}

TEST_F(Trace, NestedCallsIndentAndCountEveryLine)
{
    {
        TraceScope outer("frmMain", "Sub cmdStart_Click");
        TraceScope inner("frmMain", "Sub Start");
        TraceEnter("modINIHandler", "Function GetINIString", "x");
        TraceExit("modINIHandler", "Function GetINIString", "x");
    }
    EXPECT_EQ(traced(), QStringList({
                            exe + "[00001] [T] ->frmMain : Sub cmdStart_Click : \r\n",
                            exe + "[00002] [T] ->\tfrmMain : Sub Start : \r\n",
                            exe + "[00003] [T] ->\t\tmodINIHandler : Function GetINIString : x\r\n",
                            exe + "[00004] [T] <-\t\tmodINIHandler : Function GetINIString : x\r\n",
                            exe + "[00005] [T] <-\tfrmMain : Sub Start : \r\n",
                            exe + "[00006] [T] <-frmMain : Sub cmdStart_Click : \r\n",
                        }));
}

TEST_F(Trace, DepthNeverFallsBelowZero)
{
    for (int i = 0; i < 3; ++i)
        TraceExit("frmMain", "Sub Stray");
    TraceEnter("frmMain", "Sub A");
    TraceEnter("frmMain", "Sub B");
    EXPECT_EQ(traced().mid(3), QStringList({exe + "[00004] [T] ->frmMain : Sub A : \r\n",
                                            exe + "[00005] [T] ->\tfrmMain : Sub B : \r\n"}));
}

TEST_F(Trace, ElapsedFieldUsesAPointWhateverTheLocale)
{
    for (QChar sep : {QChar(','), QChar('.')}) {
        tracetest::reset();
        lines.clear();
        tracetest::setDecimalSeparator(sep);
        TraceEnter("frmMain", "Sub Start");
        EXPECT_TRUE(QRegularExpression("^\\[\\S+\\] \\[00001\\] " + kElapsed + " ->").match(lines.value(1)).hasMatch())
            << qPrintable(lines.value(1));
    }
}

struct ErrorCase {
    const char *source;
    int answer;    // button pressed
    int returned;  // TraceError's value
    QString note;  // "%1": the executable's path
};

TEST_F(Trace, ErrorSendsItsLineShowsTheBoxAndMapsTheAnswer)
{
    const QString path = QCoreApplication::applicationFilePath();
    const ErrorCase cases[] = {
        {"", mb::Abort, 3, "."},
        {"fetchora", mb::Retry, 1, "."},
        {"0Thing!x", mb::Ignore, 2, "."},
        {"1taqDwnld!classFileDownload", mb::Ignore, 2,
         ". This error was generated remotely by taqDwnld, a component of %1."},
    };
    for (const ErrorCase &c : cases) {
        tracetest::reset();
        lines.clear();
        prompt.clear();
        prompt.answerNext(c.answer);
        TraceEnter("frmMain", "Sub Start");
        EXPECT_EQ(TraceError("frmMain", "Sub Start", RuntimeError(53, "File not found", c.source)), c.returned);
        TraceExit("frmMain", "Sub Start");
        EXPECT_EQ(traced(), QStringList({exe + "[00001] [T] ->frmMain : Sub Start : \r\n",
                                         exe + "ERROR 53 \"File not found\" at frmMain : Sub Start : 0\r\n",
                                         exe + "[00002] [T] <-frmMain : Sub Start : \r\n"}));
        ASSERT_EQ(prompt.count(), 1);
        EXPECT_EQ(prompt.last().text, "Tracewright reports " + path +
                                          " program error #53 (File not found) occurred in module frmMain, "
                                          "Sub Start, line 0" + QString(c.note).arg(path));
        EXPECT_EQ(prompt.last().title, "Unexpected Error");
        EXPECT_EQ(prompt.last().style, mb::Critical | mb::AbortRetryIgnore);
    }
}

// A failing step is reported under its procedure, and the procedure goes on.
TEST_F(Trace, AFailingStepIsReportedAndTheNextStepRuns)
{
    bool nextRan = false;
    {
        TraceScope t("frmMain", "Sub FileDownload_Finished");
        EXPECT_FALSE(t.step([] { throw std::bad_alloc(); }));
        EXPECT_FALSE(t.step([] { raiseError(err::TypeMismatch); }));
        EXPECT_TRUE(t.step([&] { nextRan = true; }));
    }
    EXPECT_TRUE(nextRan);
    const QStringList got = traced();
    ASSERT_EQ(got.size(), 4);
    EXPECT_TRUE(got[1].startsWith(exe + "ERROR 7 ")) << qPrintable(got[1]);
    EXPECT_TRUE(got[2].startsWith(exe + "ERROR 13 ")) << qPrintable(got[2]);
    EXPECT_TRUE(got[2].endsWith(" at frmMain : Sub FileDownload_Finished : 0\r\n")) << qPrintable(got[2]);
    EXPECT_EQ(prompt.count(), 2);
}

// Tracing is decided at the first call: a viewer that turns up later gets nothing.
TEST_F(Trace, NoViewerAtTheFirstCallMeansNothingIsEverSent)
{
    tracetest::setLineSink({});
    TraceEnter("modGlobal", "Sub Main");
    tracetest::setLineSink([this](const QString &line) { lines << line; });
    TraceEnter("frmMain", "Sub Form_Load");
    TraceError("frmMain", "Sub Form_Load", RuntimeError(5));
    TraceExit("frmMain", "Sub Form_Load");
    EXPECT_TRUE(lines.isEmpty()) << qPrintable(lines.join(""));
    EXPECT_EQ(prompt.count(), 1) << "the error box is shown all the same";
}

}  // namespace

FETCHORA_QT_TEST_MAIN("fetchora-trace-tests-no-viewer")
