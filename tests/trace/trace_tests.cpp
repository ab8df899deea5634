#include "TraceLog.h"
#include "support/QtTestMain.h"
#include "support/ScriptedPrompt.h"
#include "support/TestFiles.h"
#include "trace/TraceSocket.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

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

TEST_F(Trace, AfterTheStartLineLinesAreCountedAndIndentedByANeverNegativeDepth)
{
    tracetest::setDecimalSeparator(',');  // the elapsed field keeps its point all the same
    TraceExit("frmMain", "Sub Stray");
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
    EXPECT_EQ(lines.mid(3), QStringList({
                                exe + "[00003] [T] ->frmMain : Sub cmdStart_Click : \r\n",
                                exe + "[00004] [T] ->\tfrmMain : Sub Start : \r\n",
                                exe + "[00005] [T] ->\t\tmodINIHandler : Function GetINIString : x\r\n",
                                exe + "[00006] [T] <-\t\tmodINIHandler : Function GetINIString : x\r\n",
                                exe + "[00007] [T] <-\tfrmMain : Sub Start : \r\n",
                                exe + "[00008] [T] <-frmMain : Sub cmdStart_Click : \r\n",
                            }));
}

TEST_F(Trace, AnErrorSendsItsLineShowsTheBoxAndMapsTheAnswer)
{
    const std::tuple<const char *, int, int, QString> cases[] = {
        {"", mb::Abort, 3, "."},
        {"fetchora", mb::Retry, 1, "."},
        {"0Thing!x", mb::Ignore, 2, "."},
        {"1taqDwnld!classFileDownload", mb::Ignore, 2,
         ". This error was generated remotely by taqDwnld, a component of " + path + "."},
    };
    for (const auto &[source, button, returned, note] : cases) {
        tracetest::reset();
        lines.clear();
        prompt.clear();
        prompt.answerNext(button);
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
        EXPECT_EQ(prompt.last().title, "Unexpected Error");
        EXPECT_EQ(prompt.last().style, mb::Critical | mb::AbortRetryIgnore);
    }
}

TEST(TraceLogFile, ALogThatCannotBeWrittenSaysSoAndCatchesUpWhenItCan)
{
    QTemporaryDir dir;
    const QString later = dir.filePath("later/trace.log");
    TraceLog log(later);
    log.append("one\r\n");
    log.append("two\r\n");
    EXPECT_TRUE(log.problem().startsWith("cannot write the log " + later + " (")) << qPrintable(log.problem());
    ASSERT_TRUE(QDir(dir.path()).mkdir("later"));
    EXPECT_TRUE(log.retry());
    log.append("three\r\n");
    EXPECT_EQ(log.problem(), "");
    EXPECT_EQ(fetchora::testing::readAll(later), "one\r\ntwo\r\nthree\r\n");

    // A full disk; what does not fit in the wait is told as missing.
    TraceLog full("/dev/full", 8);
    for (const char *line : {"1234\r\n", "5678\r\n"})
        full.append(line);
    EXPECT_EQ(full.problem(), "cannot write the log /dev/full (No space left on device), trying again; "
                              "1 lines missing from the log /dev/full");
}

// A trace viewer on the local socket that takes every line in but, while held,
// answers none of them, as a viewer whose window is frozen.
class HeldViewer {
public:
    explicit HeldViewer(const QString &name) : m_path(QFile::encodeName(traceSocketPath(name)))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.constData(), sizeof address.sun_path - 1);
        ::unlink(m_path.constData());
        m_listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(m_listening, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            ::listen(m_listening, 1);
        m_thread = std::thread([this] { serve(); });
    }
    ~HeldViewer()
    {
        hold(false);
        ::shutdown(m_listening, SHUT_RDWR);
        ::shutdown(m_client.load(), SHUT_RDWR);
        m_thread.join();
        ::close(m_listening);
        ::close(m_client.load());
        ::unlink(m_path.constData());
    }
    void hold(bool on)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_held = on;
        m_changed.notify_all();
    }
    // The lines answered so far, once there are `count` of them (or after 10 s).
    QStringList answered(qsizetype count)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait_for(guard, std::chrono::seconds(10), [&] { return m_lines.size() >= count; });
        return m_lines;
    }

private:
    void serve()
    {
        m_client = ::accept(m_listening, nullptr, nullptr);
        QByteArray pending;
        char buffer[4096];
        for (ssize_t n; (n = ::read(m_client.load(), buffer, sizeof buffer)) > 0;) {
            pending.append(buffer, n);
            for (qsizetype end; (end = pending.indexOf("\r\n")) >= 0; pending.remove(0, end + 2)) {
                std::unique_lock<std::mutex> guard(m_lock);
                m_changed.wait(guard, [&] { return !m_held; });
                m_lines << QString::fromUtf8(pending.left(end));
                if (::write(m_client.load(), "+", 1) != 1)
                    return;
                m_changed.notify_all();
            }
        }
    }

    QByteArray m_path;
    int m_listening = -1;
    std::atomic<int> m_client{-1};
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_held = false;
    QStringList m_lines;
    std::thread m_thread;
};

TEST_F(Trace, AViewerThatFallsBehindCostsAShortWaitAndIsToldWhatItMissed)
{
    tracetest::setLineSink({});
    tracetest::setViewerName(QStringLiteral("fetchora-trace-tests-%1").arg(QCoreApplication::applicationPid()));
    {
        HeldViewer viewer(QStringLiteral("fetchora-trace-tests-%1").arg(QCoreApplication::applicationPid()));
        TraceEnter("frmMain", "Sub A");
        ASSERT_EQ(viewer.answered(2).size(), 2) << "the start line and A";
        viewer.hold(true);
        TraceEnter("frmMain", "Sub B");  // sent; its answer does not come in time
        for (const char *late : {"Sub C", "Sub D", "Sub E"})
            TraceEnter("frmMain", late);
        viewer.hold(false);
        ASSERT_EQ(viewer.answered(3).size(), 3) << "B";
        TraceEnter("frmMain", "Sub F");
        TraceNote("modGlobal", "Sub Main", "fcr.ini was open");
        QStringList got = viewer.answered(6).mid(1);
        got.replaceInStrings(QRegularExpression("\\[\\d{5}\\.\\d{3}\\]"), "[T]");
        EXPECT_EQ(got,
                  QStringList({exe + "[00001] [T] ->frmMain : Sub A : ", exe + "[00002] [T] ->\tfrmMain : Sub B : ",
                               exe + "NOTE \"3 lines dropped while the viewer did not answer\"",
                               exe + "[00006] [T] ->\t\t\t\t\tfrmMain : Sub F : ",
                               exe + "NOTE \"fcr.ini was open\" at modGlobal : Sub Main"}));
    }
    EXPECT_EQ(prompt.count(), 0);
    tracetest::reset();
    tracetest::setViewerName(QStringLiteral("fetchora-trace-tests-no-viewer"));
}

}  // namespace

FETCHORA_CORE_TEST_MAIN("fetchora-trace-tests-no-viewer")
