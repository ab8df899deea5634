// The central error report: the ERROR line, the "Unexpected Error" box and
// its answers, the remote note, and how a procedure goes on after an error.

#include "TraceFixture.h"

#include "trace/PromptService.h"

#include <new>
#include <stdexcept>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

using ErrorReport = TraceFixture;

QString boxText(const QString &path, long number, const QString &description, const QString &module,
                const QString &procedure, const QString &note = QStringLiteral("."))
{
    return QStringLiteral("Tracewright reports %1 program error #%2 (%3) occurred in module %4, %5, line 0%6")
        .arg(path)
        .arg(number)
        .arg(description, module, procedure, note);
}

// With and without a viewer: the box is the same either way.
class ErrorBox : public TraceFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(ErrorBox, ShowsTheReportTextWithCriticalIconAndAbortRetryIgnore)
{
    if (GetParam())
        startViewer();
    {
        TraceScope t("frmMain", "Sub Start");
        t.step([] { raiseError(err::FileNotFound); });
    }
    ASSERT_EQ(prompt.count(), 1);
    const ShownPrompt &box = prompt.last();
    EXPECT_EQ(box.title, "Unexpected Error");
    EXPECT_EQ(box.text, boxText(exePath(), 53, "File not found", "frmMain", "Sub Start"));
    EXPECT_EQ(mb::buttonsOf(box.style), mb::AbortRetryIgnore);
    EXPECT_EQ(mb::iconOf(box.style), mb::Critical);
    EXPECT_EQ(mb::defaultOf(box.style), mb::DefaultButton1);
}

INSTANTIATE_TEST_SUITE_P(Trace, ErrorBox, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "WithViewer" : "WithoutViewer"; });

struct AnswerCase {
    int button;
    int returned;
    const char *name;
};

void PrintTo(const AnswerCase &c, std::ostream *os)
{
    *os << c.name;
}

class ErrorAnswer : public TraceFixture, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ErrorAnswer, IsMappedAndTheProcedureGoesOnWhateverWasPressed)
{
    prompt.answerNext(GetParam().button);
    EXPECT_EQ(TraceError("frmMain", "Sub Finished", RuntimeError(err::PermissionDenied)), GetParam().returned);

    // The same answer inside a procedure: the next step still runs.
    prompt.answerNext(GetParam().button);
    bool nextRan = false;
    {
        TraceScope t("frmMain", "Sub Finished");
        EXPECT_FALSE(t.step([] { raiseError(err::PermissionDenied); }));
        EXPECT_TRUE(t.step([&] { nextRan = true; }));
    }
    EXPECT_TRUE(nextRan);
    EXPECT_EQ(prompt.count(), 2);  // the box is not repeated after Retry
}

INSTANTIATE_TEST_SUITE_P(Trace, ErrorAnswer,
                         ::testing::Values(AnswerCase{mb::Abort, 3, "Abort"}, AnswerCase{mb::Retry, 1, "Retry"},
                                           AnswerCase{mb::Ignore, 2, "Ignore"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ErrorReport, ErrorLineIsSentBetweenEntryAndExitAndTakesNoSequenceNumber)
{
    startViewer();
    {
        TraceScope outer("frmMain", "Sub cmdStart_Click");
        TraceScope t("frmMain", "Sub Start");
        t.step([] { raiseError(err::FileNotFound); });
    }
    const QString exe = exeName();
    EXPECT_EQ(traceLines(), QStringList({
                                head(1, "->") + "frmMain : Sub cmdStart_Click : \r\n",
                                head(2, "->") + "\tfrmMain : Sub Start : \r\n",
                                "[" + exe + "] ERROR 53 \"File not found\" at frmMain : Sub Start : 0\r\n",
                                head(3, "<-") + "\tfrmMain : Sub Start : \r\n",
                                head(4, "<-") + "frmMain : Sub cmdStart_Click : \r\n",
                            }));
}

TEST_F(ErrorReport, ErrorAsTheFirstCallStartsTheTraceFirst)
{
    TestViewer &v = startViewer();
    TraceError("modGlobal", "Sub Main", RuntimeError(err::TypeMismatch));
    const QList<QByteArray> lines = v.lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith((exeName() + " START TRACEWRIGHT 6.60 LITE ").toUtf8()));
    EXPECT_EQ(QString::fromUtf8(lines[1]),
              "[" + exeName() + "] ERROR 13 \"Type mismatch\" at modGlobal : Sub Main : 0\r\n");
    EXPECT_EQ(prompt.count(), 1);
}

struct SourceCase {
    const char *source;
    const char *component;  // nullptr: the program's own error, note "."
    const char *name;
};

void PrintTo(const SourceCase &c, std::ostream *os)
{
    *os << c.name;
}

class RemoteNote : public TraceFixture, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(RemoteNote, FollowsTheSourceOfTheError)
{
    startViewer();
    const SourceCase &c = GetParam();
    TraceError("frmMain", "Sub FileDownload_Finished",
               RuntimeError(err::PathFileAccessError, {}, QString::fromUtf8(c.source)));

    const QString note = c.component ? QStringLiteral(". This error was generated remotely by %1, a component of %2.")
                                           .arg(QString::fromUtf8(c.component), exePath())
                                     : QStringLiteral(".");
    ASSERT_EQ(prompt.count(), 1);
    EXPECT_EQ(prompt.last().text, boxText(exePath(), 75, "Path/File access error", "frmMain",
                                          "Sub FileDownload_Finished", note));
    // The trace line does not carry the source.
    EXPECT_EQ(traceLines().last(),
              "[" + exeName() + "] ERROR 75 \"Path/File access error\" at frmMain : Sub FileDownload_Finished : 0\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Trace, RemoteNote,
    ::testing::Values(SourceCase{"", nullptr, "Empty"}, SourceCase{"Fetchora", nullptr, "ProgramName"},
                      SourceCase{"taqDwnld.classFileDownload", nullptr, "ComponentWithoutNumber"},
                      SourceCase{"0taqDwnld!classFileDownload", nullptr, "NumberZero"},
                      SourceCase{"000taqDwnld!x", nullptr, "LeadingZeros"},
                      SourceCase{"1taqDwnld!classFileDownload.StartDownload", "taqDwnld", "Remote"},
                      SourceCase{"7sevZip32!ZipFile!inner", "sevZip32", "UpToTheFirstBang"},
                      // The name starts at the second character, whatever it is.
                      SourceCase{"12taqDwnld!x", "2taqDwnld", "TwoDigitNumber"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ErrorReport, RemoteSourceWithoutBangStillReportsTheError)
{
    TraceError("frmMain", "Sub Start", RuntimeError(err::FileNotFound, {}, QStringLiteral("5taqDwnld")));
    ASSERT_EQ(prompt.count(), 1);
    EXPECT_TRUE(prompt.last().text.startsWith(boxText(exePath(), 53, "File not found", "frmMain", "Sub Start",
                                                      QString())))
        << prompt.last().text.toStdString();
}

// What a step may throw, and what the report then says.
struct ThrowCase {
    std::function<void()> raise;
    long number;
    const char *description;
    const char *name;
};

void PrintTo(const ThrowCase &c, std::ostream *os)
{
    *os << c.name;
}

class StepTrap : public TraceFixture, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(StepTrap, ReportsTheErrorAndResumesWithTheNextStep)
{
    startViewer();
    const ThrowCase &c = GetParam();
    QStringList ran;
    bool failedStepReported = true;
    {
        TraceScope t("modBrowseFolders", "Function BrowseForFolder");
        t.step([&] { ran << "first"; });
        failedStepReported = !t.step([&] {
            ran << "second";
            c.raise();
            ran << "rest of second";
        });
        t.step([&] { ran << "third"; });
    }
    EXPECT_TRUE(failedStepReported);
    EXPECT_EQ(ran, QStringList({"first", "second", "third"}));
    ASSERT_EQ(prompt.count(), 1);
    EXPECT_EQ(prompt.last().text, boxText(exePath(), c.number, QString::fromUtf8(c.description),
                                          "modBrowseFolders", "Function BrowseForFolder"));
    const QStringList lines = traceLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1], QStringLiteral("[%1] ERROR %2 \"%3\" at modBrowseFolders : Function BrowseForFolder : 0\r\n")
                            .arg(exeName())
                            .arg(c.number)
                            .arg(QString::fromUtf8(c.description)));
    EXPECT_EQ(lines[2], head(2, "<-") + "modBrowseFolders : Function BrowseForFolder : \r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Trace, StepTrap,
    ::testing::Values(
        ThrowCase{[] { raiseError(err::PathNotFound); }, 76, "Path not found", "RuntimeError"},
        ThrowCase{[] { raiseError(err::FileNotFound, QStringLiteral("Datei fehlt")); }, 53, "Datei fehlt",
                  "RuntimeErrorWithOwnDescription"},
        ThrowCase{[] { throw std::runtime_error("disk on fire"); }, 5, "disk on fire", "StdException"},
        ThrowCase{[] { throw std::bad_alloc(); }, 7, "Out of memory", "BadAlloc"},
        ThrowCase{[] { throw 42; }, 5, "Invalid procedure call or argument", "UnknownException"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ErrorReport, EveryFailingStepIsReportedOnce)
{
    int reached = 0;
    {
        TraceScope t("frmMain", "Sub Form_Unload");
        t.step([] { raiseError(err::ObjectVariableNotSet); });
        t.step([] { throw std::logic_error("second"); });
        t.step([&] { ++reached; });
    }
    EXPECT_EQ(reached, 1);
    ASSERT_EQ(prompt.count(), 2);
    EXPECT_TRUE(prompt.shown()[0].text.contains("#91 (Object variable or With block variable not set)"));
    EXPECT_TRUE(prompt.shown()[1].text.contains("#5 (second)"));
}

TEST_F(ErrorReport, CodeRunWhileTheBoxIsOpenIsTracedAtTheCurrentDepth)
{
    // Timer and download events run while a real box would be up.
    startViewer();
    prompt.onShow([](const ShownPrompt &) { TraceScope t("frmMain", "Sub Timer1_Timer"); });
    {
        TraceScope t("frmMain", "Sub Start");
        t.step([] { raiseError(err::DiskFull); });
    }
    const QStringList lines = traceLines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[2], head(2, "->") + "\tfrmMain : Sub Timer1_Timer : \r\n");
    EXPECT_EQ(lines[3], head(3, "<-") + "\tfrmMain : Sub Timer1_Timer : \r\n");
    EXPECT_EQ(lines[4], head(4, "<-") + "frmMain : Sub Start : \r\n");
}

}  // namespace
