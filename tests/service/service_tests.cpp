// What decides in the service mode, without the real program (which the shell checks beside this file run).

#include "core/CommandLine.h"
#include "reactions/Hooks.h"
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
    };
    for (const Case &c : cases) {
        const CommandLine got = parseCommandLine(c.args);
        EXPECT_EQ(std::tuple(got.mode, got.configFolder, got.rest, !got.error.isEmpty()),
                  std::tuple(c.mode, c.config, c.rest, c.error))
            << c.args.join(' ').toStdString();
    }
}

TEST(Hooks, SplitLikeAShellWithoutRunningOneRunOneAtATimeAndEndAfterTheirTime)
{
    const std::pair<QString, std::optional<QStringList>> cases[] = {
        {R"(a\ b "c\"d\\" 'e\f' x"y"'z')", QStringList{"a b", "c\"d\\", "e\\f", "xyz"}},
        {R"("" '')", QStringList{"", ""}},
        {" \t ", QStringList{}},
        {"echo $HOME ~ * `id` ;|", QStringList{"echo", "$HOME", "~", "*", "`id`", ";|"}},
        {"sh -c 'open", std::nullopt},
        {R"(say "open\")", std::nullopt},
    };
    for (const auto &[command, words] : cases)
        EXPECT_EQ(splitShellWords(command), words) << command.toStdString();
    // One at a time, and ended after its time.
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
