// What decides in the service mode, without the real program (which the shell checks beside this file run).

#include "core/CommandLine.h"
#include "reactions/Hooks.h"
#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace fetchora;
using Mode = CommandLine::Mode;

TEST(CommandLine, TakesTheLongOptionsOutBeforeTheSwitchesAreSought)
{
    struct Case {
        QStringList args;
        Mode mode;
        QString config;
        QStringList rest;
        bool error;
    };
    const Case cases[] = {
        {{"--once", "--config", "/p-s-m"}, Mode::Once, "/p-s-m", {}, false},
        {{"-s", "--config=/a -s", "-m"}, Mode::Window, "/a -s", {"-s", "-m"}, false},
        {{"--config"}, Mode::Window, "", {}, true},
        {{"--config="}, Mode::Window, "", {}, true},
        {{"--headless", "--once"}, Mode::Once, "", {}, true},
        {{"--history", "--once"}, Mode::Once, "", {}, true},
    };
    for (const Case &c : cases) {
        const CommandLine got = parseCommandLine(c.args);
        EXPECT_EQ(std::tuple(got.mode, got.configFolder, got.rest, !got.error.isEmpty()),
                  std::tuple(c.mode, c.config, c.rest, c.error))
            << c.args.join(' ').toStdString();
    }
}

TEST(Hooks, SplitLikeAShell)
{
    const std::pair<QString, std::optional<QStringList>> cases[] = {
        {R"(a\ b "c\"d\\" 'e\f' x"y"'z')", QStringList{"a b", "c\"d\\", "e\\f", "xyz"}},
        {R"("" '')", QStringList{"", ""}},
        {" \t ", QStringList{}},
        {"echo $HOME ~ * `id` ;|", QStringList{"echo", "$HOME", "~", "*", "`id`", ";|"}},
        {"sh -c 'open", std::nullopt},
    };
    for (const auto &[command, words] : cases)
        EXPECT_EQ(splitShellWords(command), words) << command.toStdString();
}

namespace {

// Ended, or ended and never collected by its new parent.
bool gone(const QString &pid)
{
    QFile stat("/proc/" + pid + "/stat");
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

}  // namespace

TEST(Hooks, RunOneAtATimeAndEndWithAllTheyStarted)
{
    // Each leaves a child behind, which notes its pid; the second and its child ignore SIGTERM.
    struct Row {
        QString command;
        int timeoutSec;
        bool endAll;
        QString problem;
    };
    const Row rows[] = {
        {"sh -c 'sleep 100 & echo $! > \"$0\"'", 60, false, ""},
        {"sh -c 'trap \"\" TERM; sleep 100 & echo $! > \"$0\"; wait'", 1, false,
         "hook OnStored (sh): ran longer than 1 s and was ended"},
        {"sh -c 'sleep 100 & echo $! > \"$0\"; wait'", 60, true, "hook OnStored (sh): was ended as the program ended"},
    };
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("pid");
    HistoryEntry attempt;
    attempt.outcome = QStringLiteral("stored");
    for (const Row &row : rows) {
        QFile::remove(pidFile);
        HookRunner hooks;
        QStringList said;
        int idle = 0;
        QObject::connect(&hooks, &HookRunner::said, [&](const QString &line) { said << line; });
        QObject::connect(&hooks, &HookRunner::idle, [&] { ++idle; });
        hooks.run("OnStored", row.command + ' ' + pidFile, attempt, row.timeoutSec, Language::English);
        hooks.run("OnFailed", "true", attempt, 1, Language::English);
        QString child;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                QFile f(pidFile);
                return f.open(QIODevice::ReadOnly) && !(child = f.readAll().trimmed()).isEmpty();
            },
            10000))
            << row.command.toStdString();
        if (row.endAll)
            hooks.endAll(QDeadlineTimer(10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return idle > 0; }, 20000)) << row.command.toStdString();
        EXPECT_EQ(said.value(0), "hook OnFailed skipped: OnStored (sh) is still running");
        EXPECT_EQ(said.mid(1), row.problem.isEmpty() ? QStringList() : QStringList{row.problem});
        EXPECT_EQ(idle, 1);
        EXPECT_TRUE(gone(child)) << row.command.toStdString();
    }
}

FETCHORA_CORE_TEST_MAIN("FetchoraServiceTestsNoViewer")
