// What the window relies on when it replaces or drops a component: aborts
// end with one Abort, a destroyed instance is silent at once, and a start
// that cannot run says so without any event.

#include "EventRecorder.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fetchora;
using fetchora::testing::EventRecorder;
using fetchora::testing::Reply;
using fetchora::testing::TestHttpServer;

namespace {

class Lifetime : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listening());
        target = dir.filePath("file.bin");
        Reply slow = Reply::ok(400 * 1024);
        slow.dripDelayMs = 10;
        slow.dripChunk = 4096;
        server.route("/slow", slow);
        server.route("/quick", Reply::ok(1000));
    }

    std::unique_ptr<classFileDownload> make(EventRecorder &r)
    {
        DownloadOptions o;
        o.stallTimeoutSec = 2;
        o.progressIntervalMs = 10;
        o.syncToDisk = false;
        auto c = std::make_unique<classFileDownload>(&r, o);
        r.component = c.get();
        return c;
    }

    QStringList files() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    TestHttpServer server;
    QTemporaryDir dir;
    QString target;
};

TEST_F(Lifetime, AbortDuringTheBodyEndsWithOneAbortAndNoFile)
{
    EventRecorder r;
    auto c = make(r);
    ASSERT_TRUE(c->StartDownload(server.url("/slow"), target));
    ASSERT_TRUE(EventRecorder::waitUntil([&] { return r.count("Progress") > 0; }, 10000));
    c->AbortDownload();
    c->AbortDownload();  // a second click changes nothing
    ASSERT_TRUE(r.waitForEnd());
    EventRecorder::settle(150);
    EXPECT_EQ(r.outline(), QStringList({"Start", "Abort"}));
    EXPECT_TRUE(files().isEmpty()) << files().join(',').toStdString();
}

TEST_F(Lifetime, AbortWithNothingRunningRaisesNothing)
{
    EventRecorder r;
    auto c = make(r);
    c->AbortDownload();
    ASSERT_TRUE(c->StartDownload(server.url("/quick"), target));
    ASSERT_TRUE(r.waitForEnd());
    EventRecorder::settle(100);
    c->AbortDownload();  // after the last event
    EventRecorder::settle(100);
    EXPECT_EQ(r.outline(), QStringList({"Start", "Finished"}));
}

TEST_F(Lifetime, StartIsRefusedWithoutAnyEventWhenItCannotRun)
{
    EventRecorder r;
    auto c = make(r);
    EXPECT_FALSE(c->StartDownload(QString(), target));
    EXPECT_FALSE(c->StartDownload(QStringLiteral("   "), target));
    EXPECT_FALSE(c->StartDownload(server.url("/quick"), QString()));
    EXPECT_FALSE(c->StartDownload(QStringLiteral("ftp://127.0.0.1/file"), target));
    EXPECT_FALSE(c->StartDownload(QStringLiteral("file:///etc/passwd"), target));
    EventRecorder::settle(100);
    EXPECT_TRUE(r.events.isEmpty());

    ASSERT_TRUE(c->StartDownload(server.url("/slow"), target));
    EXPECT_FALSE(c->StartDownload(server.url("/quick"), target)) << "one transfer at a time";
    c->AbortDownload();
    ASSERT_TRUE(r.waitForEnd());
}

TEST_F(Lifetime, AnInstanceCanBeStartedAgainOnceItsTransferHasEnded)
{
    EventRecorder r;
    auto c = make(r);
    for (int round = 0; round < 3; ++round) {
        r.events.clear();
        ASSERT_TRUE(c->StartDownload(server.url("/quick"), target)) << "round " << round;
        ASSERT_TRUE(r.waitForEnd());
        EventRecorder::settle(20);
        EXPECT_EQ(r.outline(), QStringList({"Start", "Finished"}));
    }
}

// The Finished handler of the window drops the component it is called by,
// and a new Start drops the running one: neither may crash nor let one more
// event through.
struct DropPoint {
    const char *name;
    const char *event;  // dropped inside this event
};

class DroppedInsideAnEvent : public Lifetime, public ::testing::WithParamInterface<DropPoint> {};

TEST_P(DroppedInsideAnEvent, DeliversNothingAfterwards)
{
    const DropPoint p = GetParam();
    for (int round = 0; round < 10; ++round) {
        EventRecorder r;
        auto c = make(r);
        r.onEvent = [&](const auto &e) {
            if (e.name == QLatin1String(p.event))
                c.reset();
        };
        ASSERT_TRUE(c->StartDownload(server.url("/slow"), target));
        ASSERT_TRUE(EventRecorder::waitUntil([&] { return !c; }, 15000)) << "round " << round;
        const qsizetype seen = r.events.size();
        EventRecorder::settle(60);
        EXPECT_EQ(r.events.size(), seen) << "round " << round << ": " << r.outline().join(',').toStdString();
        EXPECT_EQ(r.events.back().name, QString::fromLatin1(p.event));
    }
    EXPECT_FALSE(QFile::exists(target + ".part"));
}

INSTANTIATE_TEST_SUITE_P(Events, DroppedInsideAnEvent,
                         ::testing::Values(DropPoint{"InStart", "Start"}, DropPoint{"InProgress", "Progress"},
                                           DropPoint{"InFinished", "Finished"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Lifetime, AReplacedInstanceIsSilentEvenForEventsAlreadyQueued)
{
    for (int round = 0; round < 10; ++round) {
        EventRecorder oldSink;
        EventRecorder newSink;
        auto c = make(oldSink);
        ASSERT_TRUE(c->StartDownload(server.url("/quick"), target));
        // Let the worker run to its end without delivering: its events sit
        // in the queue when the instance is replaced.
        QThread::msleep(150);
        c = make(newSink);
        EventRecorder::settle(60);
        EXPECT_TRUE(oldSink.events.isEmpty()) << oldSink.outline().join(',').toStdString();
        EXPECT_TRUE(newSink.events.isEmpty());
    }
}

TEST_F(Lifetime, DroppingAStalledTransferReturnsPromptly)
{
    Reply stall = Reply::ok(100000);
    stall.fault = Reply::Fault::StallAfter;
    stall.faultAt = 1000;
    server.route("/stall", stall);
    EventRecorder r;
    auto c = make(r);
    ASSERT_TRUE(c->StartDownload(server.url("/stall"), target));
    ASSERT_TRUE(EventRecorder::waitUntil([&] { return r.count("Start") > 0; }, 10000));
    QElapsedTimer clock;
    clock.start();
    c.reset();
    EXPECT_LT(clock.elapsed(), 1500);
    EventRecorder::settle(100);
    EXPECT_EQ(r.outline(), QStringList({"Start"}));
}

}  // namespace
