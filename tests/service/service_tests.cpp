// What decides in the service mode and the reactions to an attempt, without the real program (which the shell
// checks beside this file run).

#include "service/CommandLine.h"
#include "service/Hooks.h"
#include "service/Reactions.h"
#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"

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
        {{"--headless"}, Mode::Headless, "", {}, false},
        {{"--once", "--config", "/p-s-m"}, Mode::Once, "/p-s-m", {}, false},
        {{"-s", "--config=/a -s", "-m"}, Mode::Window, "/a -s", {"-s", "-m"}, false},
        {{"--config"}, Mode::Window, "", {}, true},
        {{"--config="}, Mode::Window, "", {}, true},
        {{"--headless", "--once"}, Mode::Once, "", {}, true},
        {{"--headles"}, Mode::Window, "", {}, true},
    };
    for (const Case &c : cases) {
        const CommandLine got = parseCommandLine(c.args);
        EXPECT_EQ(got.mode, c.mode) << c.args.join(' ').toStdString();
        EXPECT_EQ(got.configFolder, c.config) << c.args.join(' ').toStdString();
        EXPECT_EQ(got.rest, c.rest) << c.args.join(' ').toStdString();
        EXPECT_EQ(!got.error.isEmpty(), c.error) << c.args.join(' ').toStdString();
    }
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
    EXPECT_TRUE(parseCommandLine({"--version"}).version);
}

TEST(Hooks, SplitLikeAShellWithoutRunningOne)
{
    const std::pair<QString, std::optional<QStringList>> cases[] = {
        {R"(curl -d "a b" 'x y')", QStringList{"curl", "-d", "a b", "x y"}},
        {R"(a\ b "c\"d\\" 'e\f' x"y"'z')", QStringList{"a b", "c\"d\\", "e\\f", "xyz"}},
        {R"("" '')", QStringList{"", ""}},
        {" \t ", QStringList{}},
        {"echo $HOME ~ * `id` ;|", QStringList{"echo", "$HOME", "~", "*", "`id`", ";|"}},
        {"sh -c 'open", std::nullopt},
        {R"(say "open\")", std::nullopt},
    };
    for (const auto &[command, words] : cases)
        EXPECT_EQ(splitShellWords(command), words) << command.toStdString();
}

TEST(Notices, OnlyWhenFailuresBeginAndWhenTheyEnd)
{
    struct Step {
        const char *outcome;
        int level;
        Notice notice;
    };
    const Step steps[] = {
        {"failed", 1, Notice::Failing}, {"failed", 1, Notice::None},       {"not-found", 1, Notice::None},
        {"cancelled", 1, Notice::None}, {"unchanged", 1, Notice::Working}, {"stored", 1, Notice::None},
        {"stored", 2, Notice::Stored},  {"unchanged", 2, Notice::None},    {"not-found", 2, Notice::Failing},
        {"stored", 2, Notice::Working}, {"failed", 0, Notice::None},       {"stored", 0, Notice::None},
        {"failed", 1, Notice::Failing},
    };
    bool failing = false;
    int i = 0;
    for (const Step &s : steps)
        EXPECT_EQ(noticeFor(QString::fromLatin1(s.outcome), s.level, failing), s.notice) << "step " << i++;
}

TEST(Hooks, OneAtATimeAndEndedAfterItsTime)
{
    HookRunner hooks;
    QStringList said, failed;
    int idle = 0;
    QObject::connect(&hooks, &HookRunner::said, [&](const QString &line) { said << line; });
    QObject::connect(&hooks, &HookRunner::failed, [&](const QString &text) { failed << text; });
    QObject::connect(&hooks, &HookRunner::idle, [&] { ++idle; });
    HistoryEntry attempt;
    attempt.outcome = QStringLiteral("stored");
    hooks.run("OnStored", "sleep 60", attempt, 1, Language::English);
    hooks.run("OnFailed", "true", attempt, 1, Language::English);
    EXPECT_EQ(said, QStringList{"hook OnFailed skipped: OnStored (sleep) is still running"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle > 0; }, 20000));
    EXPECT_EQ(failed, QStringList{"hook OnStored (sleep): ran longer than 1 s and was ended"});
    EXPECT_EQ(idle, 1);
    EXPECT_FALSE(hooks.busy());
}

FETCHORA_CORE_TEST_MAIN("FetchoraServiceTestsNoViewer")
