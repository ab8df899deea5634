#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"
#include "support/ScriptedPrompt.h"
#include "trace/TraceSocket.h"
#include "core/Trace.h"
#include "trace/Tracewright.h"

#include <QDate>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace fetchora;

namespace {

class Trace : public ::testing::Test {
protected:
    void SetUp() override
    {
        tracetest::reset();
        tracetest::setLineSink(sink);
        setTracePrompt(&prompt);
    }
    void TearDown() override
    {
        tracetest::setLineSink({});
        tracetest::setDecimalSeparator(QChar());
        setTracePrompt(nullptr);
    }
    QStringList lines;  // a well-formed elapsed field shows as [T]
    const std::function<void(QString)> sink = [this](QString line) {
        lines << line.replace(QRegularExpression("\\[\\d{5}\\.\\d{3}\\]"), "[T]");
    };
    fetchora::testing::ScriptedPrompt prompt;
    const QString path = QCoreApplication::applicationFilePath(), name = QFileInfo(path).completeBaseName();
    const QString exe = "[" + name + "] ";
};

TEST_F(Trace, LinesAreCountedAndIndentedByANeverNegativeDepthAndAnErrorShowsTheBox)
{
    tracetest::setDecimalSeparator(',');  // the elapsed field keeps its point all the same
    TraceExit("frmMain", "Sub Stray");
    {
        TraceScope outer("frmMain", "Sub cmdStart_Click");
        TraceScope inner("frmMain", "Sub Start");
        TraceEnter("modINIHandler", "Function GetINIString", "x");
        TraceExit("modINIHandler", "Function GetINIString", "x");
    }
    const QRegularExpression start("^" + name
                                   + " START TRACEWRIGHT 6\\.60 LITE (\\d\\d-\\d\\d-\\d{4}),\\d\\d:\\d\\d:\\d\\d\r\n$");
    EXPECT_EQ(start.match(lines.value(0)).captured(1), QDate::currentDate().toString("MM-dd-yyyy"))
        << qPrintable(lines.value(0));
    EXPECT_EQ(lines.mid(2), QStringList({
                                exe + "[00002] [T] ->frmMain : Sub cmdStart_Click : \r\n",
                                exe + "[00003] [T] ->\tfrmMain : Sub Start : \r\n",
                                exe + "[00004] [T] ->\t\tmodINIHandler : Function GetINIString : x\r\n",
                                exe + "[00005] [T] <-\t\tmodINIHandler : Function GetINIString : x\r\n",
                                exe + "[00006] [T] <-\tfrmMain : Sub Start : \r\n",
                                exe + "[00007] [T] <-frmMain : Sub cmdStart_Click : \r\n",
                            }));
    // An error sends its line, shows the box and maps the answer.
    const std::tuple<const char *, int, int, QString> cases[] = {
        {"", mb::Abort, 3, "."},
        {"0Thing!x", mb::Retry, 1, "."},
        {"1taqDwnld!classFileDownload", mb::Ignore, 2,
         ". This error was generated remotely by taqDwnld, a component of " + path + "."},
    };
    for (const auto &[source, button, returned, note] : cases) {
        tracetest::reset(), lines.clear(), prompt.clear(), prompt.answerNext(button);
        TraceEnter("frmMain", "Sub Start");
        EXPECT_EQ(TraceError("frmMain", "Sub Start", RuntimeError(53, "File not found", source)), returned);
        TraceExit("frmMain", "Sub Start");
        EXPECT_EQ(lines.mid(1), QStringList({exe + "[00001] [T] ->frmMain : Sub Start : \r\n",
                                             exe + "ERROR 53 \"File not found\" at frmMain : Sub Start : 0\r\n",
                                             exe + "[00002] [T] <-frmMain : Sub Start : \r\n"}));
        ASSERT_EQ(prompt.count(), 1);
        EXPECT_EQ(prompt.last().text,
                  QString("Tracewright reports %1 program error #53 (File not found) occurred in module frmMain, "
                          "Sub Start, line 0%2")
                      .arg(path, note));
        EXPECT_EQ(std::pair(prompt.last().title, prompt.last().style),
                  std::pair(QString("Unexpected Error"), mb::Critical | mb::AbortRetryIgnore));
    }
}

// The viewer is this thread: it cannot answer while a line waits, only between the calls.
TEST_F(Trace, AViewerThatFallsBehindCostsAShortWaitAndIsToldWhatItMissed)
{
    const QString name = QStringLiteral("fetchora-trace-tests-%1").arg(QCoreApplication::applicationPid());
    QLocalServer viewer;
    tracetest::setLineSink({});
    tracetest::setViewerName(name);
    TraceEnter("frmMain", "Sub Before");  // no viewer at start: the run is never traced
    ASSERT_TRUE(viewer.listen(traceSocketPath(name)));
    TraceEnter("frmMain", "Sub After");
    EXPECT_FALSE(viewer.waitForNewConnection(200));
    tracetest::reset();
    QLocalSocket *client = nullptr;
    QStringList got;
    const auto answer = [&] {  // every line sent so far, each with its one byte
        if (!client && viewer.waitForNewConnection(5000))
            client = viewer.nextPendingConnection();
        QByteArray in;
        while (!in.endsWith("\r\n") && client->waitForReadyRead(5000))
            in += client->readAll();
        got +=
            QString(in).replace(QRegularExpression("\\[\\d{5}\\.\\d{3}\\]"), "[T]").split("\r\n", Qt::SkipEmptyParts);
        client->write(QByteArray(in.count("\r\n"), '+'));
        client->waitForBytesWritten(5000);
    };
    TraceEnter("frmMain", "Sub A");  // the start line waits in vain; A comes while it does
    answer();
    TraceEnter("frmMain", "Sub B");
    answer();
    EXPECT_EQ(got.mid(1), QStringList({exe + "NOTE \"1 lines dropped while the viewer did not answer\"",
                                       exe + "[00002] [T] ->\tfrmMain : Sub B : "}));
    tracetest::reset();
    tracetest::setViewerName(QStringLiteral("fetchora-trace-tests-no-viewer"));
}

}  // namespace

FETCHORA_CORE_TEST_MAIN("fetchora-trace-tests-no-viewer")
