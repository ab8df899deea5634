// The cycle in a world where anything can happen at any moment: several
// seeds of simulated days each, every promise checked after every event.
// FETCHORA_WORLD_SEED and FETCHORA_WORLD_DAYS run one seed for as long as
// asked; FETCHORA_WORLD_EVENTS=<file> replays a printed list of events.

#include "World.h"

#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

long residentKiB()
{
    return readAll(QStringLiteral("/proc/self/statm")).split(' ').value(1).toLong() * 4;
}

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

WorldConfig configFromEnvironment(quint32 seed, double days)
{
    WorldConfig c;
    c.seed =
        qEnvironmentVariableIsSet("FETCHORA_WORLD_SEED") ? qEnvironmentVariableIntValue("FETCHORA_WORLD_SEED") : seed;
    c.days = qEnvironmentVariableIsSet("FETCHORA_WORLD_DAYS") ? qgetenv("FETCHORA_WORLD_DAYS").toDouble() : days;
    if (const QByteArray file = qgetenv("FETCHORA_WORLD_EVENTS"); !file.isEmpty())
        c.replay = QString::fromUtf8(readAll(QString::fromLocal8Bit(file))).split(u'\n', Qt::SkipEmptyParts);
    return c;
}

}  // namespace

TEST(World, EveryPromiseHoldsWhateverHappens)
{
    const quint32 seeds[] = {1, 2, 3};
    for (const quint32 seed : seeds) {
        World world(configFromEnvironment(seed, 1));
        world.run();
        ASSERT_FALSE(world.failure) << world.report().toStdString();
        if (qEnvironmentVariableIsSet("FETCHORA_WORLD_SEED") || qEnvironmentVariableIsSet("FETCHORA_WORLD_EVENTS"))
            break;
    }
}

TEST(World, MemoryAndOpenFilesStayFlat)
{
    World world(configFromEnvironment(7, 0.5));
    world.run();
    const long kib = residentKiB();
    const int files = openFiles();
    WorldConfig more = configFromEnvironment(8, 1);
    World longer(more);
    longer.run();
    ASSERT_FALSE(world.failure || longer.failure) << world.report().toStdString() << longer.report().toStdString();
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers keep freed memory back on purpose.
    EXPECT_LT(residentKiB() - kib, 4096) << "memory grows with the days";
#endif
    EXPECT_LE(openFiles(), files) << "files left open";
}
