#pragma once
// A simulated world around the real main window or the real service (--headless, --once): one seed drives a server, the
// save folder, the disk, the clock, signals and a user who acts at any moment, boxes and dialogs open or not. Only the
// engine, the storing job's thread, the boxes and the clock are the world's. After every event the promises a user
// relies on are checked; events are plain words, so a failing run prints a list that replays exactly. Each seed draws
// its own front end and its own mix and rate of faults.

#include "core/Clock.h"
#include "core/FileSystem.h"
#include "core/ProfileLock.h"
#include "headless/ServiceHost.h"
#include "store/StoreJob.h"
#include "mainwindow/WindowStartup.h"
#include "widgets/Controls.h"
#include "core/Texts.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/FakeTray.h"
#include "support/TestFiles.h"
#include "support/ZipRead.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QPromise>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fetchora::testing {

// Boot time runs on while the machine sleeps; wall time can also jump back or change its offset, as summer time does.
struct WorldClock : Clock {
    qint64 bootMs = 0;
    qint64 wallMs = QDateTime(QDate(2026, 10, 24), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
    int offsetSec = 7200;
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(wallMs, Qt::OffsetFromUTC, offsetSec); }
    qint64 elapsedMs() const override { return bootMs; }
};

// What each mode of the server makes of a transfer, and the seconds it takes.
inline const std::map<QString, std::pair<FakeReply::Plan, int>> kServerModes = {
    {"fine", {FakeReply::Finish, 3}},       {"missing", {FakeReply::NotFound, 1}},
    {"failing", {FakeReply::HttpError, 1}}, {"refusing", {FakeReply::Refused, 2}},
    {"slow", {FakeReply::Finish, 150}},     {"stalling", {FakeReply::Stall, 65}},
    {"down", {FakeReply::Refused, 0}}};  // the engine will not even begin

// A bus that never answers keeps Qt's own connection thread busy, whose hand-over to the UI thread the thread sanitizer
// cannot see into (its reports name only Qt's frames): under it the world leaves that fault out.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kUninstrumentedBus = true;
#else
inline constexpr bool kUninstrumentedBus = false;
#endif

// How long the program's quit waits for a storing job that does not report (its own default is longer).
inline constexpr int kQuitWaitMs = 300;

struct WorldConfig {
    quint32 seed = 1;
    double days = 1;
    QStringList replay = {};  // events to run instead of drawing them, one or more to a line
    QByteArray options = "Intervall=1\nMode1=1\nCheckVersion=1\n";  // of the settings file, beside folder and URL
    QStringList args = {QStringLiteral("-s")};
    QString front = {};  // "window", "headless" or "once"; empty: the seed draws one (a replay: the window, or its first word)
    QByteArray language = {};  // empty: every third seed German, a replay English
    std::function<void(MainWindowSeams &)> adjust = [](MainWindowSeams &) {};  // a test's own seams
};

// Boxes as a user meets them: a question waits for its answer while the world goes on; a notice stays up until the user
// closes it.
class World : public PromptService {
public:
    explicit World(WorldConfig config) : m_config(std::move(config)), m_random(m_config.seed)
    {
        queue(m_config.replay.join(u' '));
        if (!m_scripted)
            drawMix();
        // One clock for the whole run, the profile's: whatever reads the time reads the world's.
        box.profile = std::make_shared<Profile>(box.folder(), &clock);
        // Every third seed in German, whose longer texts crowd the window's status row (the seed's events stay).
        const QByteArray language = !m_config.language.isEmpty()      ? m_config.language
                                    : m_scripted || m_config.seed % 3 ? "English"
                                                                      : "Deutsch";
        box.profile->setLanguageName(QString::fromLatin1(language));
        SetLanguage(*box.profile);
        save = box.makeFolder(QStringLiteral("save"));
        box.writeIni("[Global]\nLanguage=" + language + "\n[Options]\nSavePath=" + save.toUtf8()
                     + "\nURL=http://127.0.0.1:9/files/report.txt\n" + m_config.options);
        setTracePrompt(this);
        // A move the cycle's table does not have is a failure of whatever test it happens in.
        DownloadCycle::setIllegalMoveReport([this](const QString &why) {
            ADD_FAILURE() << why.toStdString();
            fail(why);
        });
        server.body = body(0);
        setFileSystemHook([this](const FsCall &call) { return diskFault(call); });
        qputenv("DBUS_SESSION_BUS_ADDRESS", "");  // no notices: nothing outside the world answers
        std::signal(SIGPIPE, SIG_IGN);  // the service's output closed; see the faults this world finds
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
            m_outRead = ends[0];
            m_out = ::fdopen(ends[1], "w");
        }
        if (::pipe2(m_hookOut, O_CLOEXEC) == 0)
            ::fcntl(m_hookOut[0], F_SETFL, O_NONBLOCK);
    }
    ~World() override
    {
        job.reset();  // a copy still on its way is given up, so that the window does not wait for it
        m_window.reset();
        m_host.reset();
        setFileSystemHook({});
        if (m_out)
            std::fclose(m_out);
        if (m_outRead >= 0)
            ::close(m_outRead);
        for (const int end : m_hookOut)
            if (end >= 0)
                ::close(end);
        if (m_historyLock >= 0)
            ::close(m_historyLock);
        thawBus();
        DownloadCycle::setIllegalMoveReport({});
        setTracePrompt(nullptr);
    }

    int msgBox(const QString &text, int style, const QString &title) override
    {
        ++open;
        notify(text, style, title);  // on top of any notice: never "two boxes open" by itself
        const int about = live ? live->id : 0;  // the transfer running as the question comes up
        const QString answer = runModal(mb::buttonsOf(style));
        --open;
        m_yesFor = answer == QLatin1String("yes") ? about : 0;
        static const std::map<QString, int> answers = {
            {"yes", mb::Yes}, {"no", mb::No}, {"abort", mb::Abort}, {"retry", mb::Retry}, {"ignore", mb::Ignore}};
        if (const auto a = answers.find(answer); a != answers.end())
            return a->second;
        return mb::buttonsOf(style) == mb::YesNo              ? mb::No
               : mb::buttonsOf(style) == mb::AbortRetryIgnore ? mb::Ignore
                                                              : mb::OK;
    }
    void notify(const QString &text, int, const QString &title) override  // one notice on screen at a time
    {
        shown << (title.isEmpty() ? text : title + QStringLiteral(" | ") + text);
        open = std::max(open, 1);
    }
    int open = 0;       // boxes on screen now
    QStringList shown;  // every box, as "title | text"

    struct Engine : FakeEngine {
        Engine(World &world, DownloadEvents *sink)
            : FakeEngine(sink, [this](const QString &url, const QString &stored) { return begin(url, stored); }),
              world(world)
        {
            ++world.engines;
        }
        ~Engine() override { --world.engines; }
        std::shared_ptr<FakeTransfer> begin(const QString &url, const QString &stored)
        {
            world.startCalls << url;
            world.askedWith << stored;
            return world.server.mode == QLatin1String("down") ? nullptr : world.begin();
        }
        void SameVersion(bool &same) override
        {
            world.sameAnswers << same;
            FakeEngine::SameVersion(same);
        }
        void AbortDownload() override
        {
            if (t && t->id != world.m_yesFor)
                world.fail(QStringLiteral("a Yes cancelled transfer %1, not the one it was asked about").arg(t->id));
            FakeEngine::AbortDownload();
        }
        World &world;
    };

    // Days drawn at random, or the events given; a test can go on with more.
    void run(const QString &more = {})
    {
        queue(more);
        if (!std::exchange(m_started, true)) {
            // What the seed drew before the first event, as the first word: "front:once:KeepDays=1".
            const bool drawn = !m_mix.isEmpty() || (!m_replay.empty() && m_replay.front().startsWith(QLatin1String("front:")));
            if (m_mix.isEmpty() && drawn)
                m_config.front = m_replay.front().section(u':', 1, 1), m_keep = m_replay.front().section(u':', 2, 2),
                m_hook = m_replay.front().section(u':', 3, 3), m_replay.pop_front();
            if (m_config.front.isEmpty())
                m_config.front = QStringLiteral("window");
            if (drawn) {
                log << QStringLiteral("front:%1:%2:%3").arg(m_config.front, m_keep, m_hook);
                box.writeIni(box.readIni().replace("[Options]\n", "[Options]\n" + m_keep.toUtf8() + '\n' + hookOptions()));
                ownFiles();
            }
            startProgram(m_config.args);
        }
        // What hooks print goes where the service's lines go, not into the test's log.
        std::fflush(stdout);
        const int testOutput = m_hook.isEmpty() || m_hookOut[1] < 0 ? -1 : ::dup(STDOUT_FILENO);
        if (testOutput >= 0)
            ::dup2(m_hookOut[1], STDOUT_FILENO);
        const qint64 endMs = qint64(m_config.days * 86400000.0);
        while (!failure && clock.bootMs < endMs && (!m_scripted || !m_replay.empty()))
            step(next(false));
        if (testOutput >= 0)
            std::fflush(stdout), ::dup2(testOutput, STDOUT_FILENO), ::close(testOutput);
    }

    // Runs of one event as "tick*60", which the replay reads back.
    QString report() const
    {
        QStringList out;
        for (qsizetype i = 0; i < log.size();) {
            qsizetype n = 1;
            while (i + n < log.size() && log[i + n] == log[i])
                ++n;
            out << (n > 1 ? log[i] + u'*' + QString::number(n) : log[i]);
            i += n;
        }
        return QStringLiteral("seed %1: %2\nevents (replay with FETCHORA_WORLD_EVENTS=<file of these lines>):\n%3")
            .arg(m_config.seed)
            .arg(failure.value_or(QStringLiteral("no failure")), out.join(u'\n'));
    }

    struct Server {
        QString mode = QStringLiteral("fine");
        QByteArray body, etag = "\"e0\"";
        bool namesVersion = true;
        int bodies = 0;
    } server;

    AppSandbox box;
    WorldClock clock;
    QString save;
    std::optional<QString> failure;
    QStringList log;
    std::shared_ptr<FakeTransfer> live;   // the one instance the window holds, if any
    int acceptedStarts = 0, engines = 0;  // transfers begun; engine instances alive
    QStringList startCalls, askedWith;  // of every start asked of the engine: the URL, and the version given as stored
    QList<bool> sameAnswers;
    int ended = 0;  // transfers that delivered their last event or were let go
    std::optional<QPromise<StoreResult>> job;
    StoreRequest jobRequest;
    QMap<QString, QByteArray> bodiesBySha;  // every body served, by its SHA-256
    QMap<QString, QByteArray> copies;       // the fingerprint of each copy stored and still there
    qint64 lastAttemptMs = 0;

    MainWindow *window() const { return m_window.get(); }
    ServiceHost *service() const { return m_host.get(); }
    bool running() const { return window() || service(); }
    int exitCode = -1;  // the service's last
    template <class T = QWidget>
    T *control(const char *name) const
    {
        return window() ? window()->findChild<T *>(QLatin1String(name)) : nullptr;
    }
    bool on() const { return window() && window()->windowTitle().contains(text(&Texts::capActive)); }
    // One of the window's interface texts, in its language of the moment.
    QString text(QString Texts::*member) const { return window() ? window()->profile().texts().*member : QString(); }

    std::shared_ptr<FakeTransfer> begin()
    {
        auto t = std::make_shared<FakeTransfer>();
        t->id = ++acceptedStarts;
        t->startMs = clock.bootMs;
        t->reply = {kServerModes.at(server.mode).first, server.body, server.namesVersion ? server.etag : QByteArray()};
        t->endMs = clock.bootMs + kServerModes.at(server.mode).second * 1000;
        t->onOver = [this](FakeTransfer &over) {
            ++ended;
            if (over.result.kind == TransferResult::Kind::Body)
                bodiesBySha[over.result.sha256] = over.reply.body;
            if (live.get() == &over)
                live.reset();
        };
        live = t;
        lastAttemptMs = clock.bootMs;
        return t;
    }

private:
    void queue(const QString &events)
    {
        for (const QString &e : events.split(u' ', Qt::SkipEmptyParts)) {
            m_scripted = true;
            for (int i = 0, n = e.contains(u'*') ? e.section(u'*', 1).toInt() : 1; i < n; ++i)
                m_replay.push_back(e.section(u'*', 0, 0));
        }
    }

    QByteArray body(int n) const { return "copy " + QByteArray::number(n) + QByteArray(900 + n % 13, '.'); }

    void startProgram(QStringList args)
    {
        const auto worldSeams = [this](auto &seams) {  // both front ends' engine, ticks and storing are the world's
            seams.downloads = [this](DownloadEvents *sink) { return std::make_unique<Engine>(*this, sink); };
            seams.tickMs = 1 << 30;
            seams.storeJobs = [this](const StoreRequest &r) {
                m_jobStuck = false;
                job.emplace();
                job->start();
                jobRequest = r;
                return job->future();
            };
            seams.quitWaitsForJobMs = kQuitWaitMs;
        };
        lastAttemptMs = clock.bootMs;
        m_attemptLined = m_onceWaited = false;
        // As the program's start does: the one program on this profile must always get its lock, whatever the one
        // before left (a kill, its process id now someone else's).
        const bool readOnly = m_disk == QLatin1String("lock-ro");
        m_lock = lockProfile(*box.profile, Language::English);
        if (readOnly) {  // the profile's disk is read-only at this start: it says so, with 2, and touches nothing
            if (m_lock.taken() || m_lock.exitCode != 2 || !m_lock.problem.contains(QLatin1String("Read-only file system")))
                fail(QStringLiteral("a start on a read-only disk: ") + m_lock.problem);
            m_lock = {};
            return;
        }
        if (!m_lock.taken())
            return fail(QStringLiteral("a start finds its profile held: ") + m_lock.problem);
        // A disk too full for the holder's name still gives the lock; the file names it whole or not at all.
        if (const QByteArray who = readAll(box.path(QStringLiteral("fcr.lock"))); !who.isEmpty() && !who.startsWith(QByteArray::number(::getpid()) + "\nfetchora\n"))
            fail(QStringLiteral("the lock file names its holder half: ") + QString::fromUtf8(who));
        if (m_config.front != QLatin1String("window")) {
            setTracePrompt(&m_lines);
            m_profile = std::make_shared<Profile>(box.folder(), &clock);
            m_profile->readLanguage();
            if (!unusableSettings(*m_profile).isEmpty())
                return;  // the service ends at once, with 2
            ServiceSeams seams;
            worldSeams(seams);
            seams.out = seams.err = m_out ? m_out : stdout;
            m_host = std::make_unique<ServiceHost>(*m_profile, m_config.front == QLatin1String("once"), m_lines,
                                                   std::move(seams));
            QObject::connect(m_host.get(), &ServiceHost::finished, [this](int code) { m_hostDone = true, exitCode = code; });
            m_host->begin();
            return;
        }
        MainWindowSeams seams;
        seams.prompt = this;
        seams.profile = box.profile;
        worldSeams(seams);
        seams.tray = [](QObject *parent) { return std::make_unique<FakeTray>(parent); };
        seams.arguments = std::move(args);
        seams.showSettings = [this] { settingsDialog(); };
        m_config.adjust(seams);
        m_window = showMainWindow(std::move(seams));
        if (window()) {
            QObject::connect(window(), &MainWindow::unloaded, [this] { m_unloaded = true; });
            if (!QTest::qWaitForWindowExposed(window()))
                fail(QStringLiteral("the window never came on screen"));
            // The world judges what the window says and allows, not its pixels (the window tests and the screenshots
            // do): once on screen it is not painted again, which was a sixth of a week's work.
            window()->setUpdatesEnabled(false);
        }
    }

    // A word for what happens next. Inside a box or a dialog the user can only answer it; everything else goes on.
    QString next(bool modal)
    {
        if (m_scripted) {
            if (m_replay.empty())
                return modal ? QStringLiteral("answer") : QStringLiteral("tick");
            QString e = m_replay.front();
            m_replay.pop_front();
            return e;
        }
        if (failure)
            return QStringLiteral("answer");
        auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(m_random) < p; };
        auto pick = [&](std::initializer_list<const char *> words) {
            return QString::fromLatin1(
                words.begin()[std::uniform_int_distribution<size_t>(0, words.size() - 1)(m_random)]);
        };
        // A user who has just acted is at the screen for a few moments: quick to answer and likely to act again.
        const bool attentive = m_attention > 0 && m_attention--;
        // The program's own bound runs in real time.
        if (m_endAskedMs && running() && ((job && m_jobStuck) || m_busFd >= 0))
            return QStringLiteral("wait");
        // --once ends by itself after its attempt; a notice still on its way to a bus that stopped answering is given
        // up in real time.
        if (m_config.front == QLatin1String("once") && running() && m_attemptLined && !std::exchange(m_onceWaited, true))
            return QStringLiteral("wait");
        if (job && !m_jobStuck && (m_endAskedMs || chance(0.3)))  // a job's own work takes moments
            return m_endAskedMs ? QStringLiteral("store") : pick({"store", "store", "store", "diskfull"});
        if (modal && chance(m_userAway ? 0.0002 : attentive ? 0.5 : 0.05)) {
            if (m_modalButtons == mb::YesNo)
                return pick({"answer:yes", "answer:no"});
            if (m_modalButtons == mb::AbortRetryIgnore)
                return pick({"answer:abort", "answer:retry", "answer:ignore"});
            return QStringLiteral("answer:ok");
        }
        if (!modal && attentive && chance(0.3) && window() && !open)
            return pick({"start", "cancel", "quit"});
        if (chance(0.985)) {  // quiet seconds pass as one event, the countdown taking the time that passed
            const long quiet = quietSeconds();
            return quiet > 2 ? QStringLiteral("tick:%1").arg(std::uniform_int_distribution<long>(2, quiet)(m_random))
                             : QStringLiteral("tick");
        }
        if (chance(m_faultShare)) {  // the mix this seed drew
            const QString f = m_mix[std::uniform_int_distribution<qsizetype>(0, m_mix.size() - 1)(m_random)];
            // A box of the window's own is up: no room to end.
            if (!f.startsWith(QLatin1String("signal")) || !modal)
                return f;
        }
        if (!running())
            return chance(0.2) ? (window() || m_config.front != QLatin1String("window") ? QStringLiteral("restart")
                                                                                        : pick({"restart", "restart:-s"}))
                               : QStringLiteral("tick");
        if (modal || !window())
            return QStringLiteral("tick");
        if (open)
            return chance(0.5) ? QStringLiteral("ok") : QStringLiteral("tick");
        return pick({"start", "start", "cancel", "settings", "url", "url:pasted", "url:ftp", "folder", "quit",
                     "closebox", "away"});
    }

    // Seconds in which nothing but the countdown can happen.
    long quietSeconds() const
    {
        const DownloadCycle *c = window() ? &window()->cycle() : service() ? &service()->cycle() : nullptr;
        if ((live && live->alive) || job || m_endAskedMs || (c && c->phase() != DownloadCycle::Phase::Counting))
            return 0;
        return c ? std::min(30L, std::max(1L, c->interval()) * 60 - c->counter() - 2) : 30;
    }

    // Each seed its own front end, mix of faults and their rate, and options that keep copies or not, or pack them.
    void drawMix()
    {
        static const QStringList kFaults = {
            "server:fine", "server:fine", "server:missing", "server:failing", "server:refusing", "server:slow",
            "server:stalling", "server:newbody", "server:newbody", "server:newetag", "server:noversion", "fs:rmdir",
            "fs:mkdir", "fs:fileinplace", "fs:dirattarget", "fs:userdelete", "fs:usermove", "fs:usercopy", "fs:lockhistory",
            "clock:sleep", "clock:dst", "clock:back", "disk:short-write", "disk:fsync", "disk:exdev-rename",
            "disk:eperm-rename", "disk:enospc-rename", "disk:unlink", "disk:fifo", "disk:dir", "signal:term",
            "signal:hup", "out:closed", "out:stalled", "disk:hang", "signal:kill", "pid:reused", "disk:lock-full",
            "disk:lock-ro", "bus:frozen"};
        std::uniform_real_distribution<> unit(0, 1);
        if (m_config.front.isEmpty())
            m_config.front = QStringList{"window", "headless", "once"}[int(unit(m_random) * 3)];
        for (const QString &f : kFaults)
            if (unit(m_random) < 0.6 && !(kUninstrumentedBus && f == QLatin1String("bus:frozen")))
                m_mix << f;
        if (m_mix.isEmpty())
            m_mix << QStringLiteral("server:newbody");
        m_faultShare = 0.1 + 0.8 * unit(m_random);
        m_keep = QStringList{"", "", "KeepCopies=3", "KeepDays=1", "Mode1=0", "Compress=1"}[int(unit(m_random) * 6)];
        m_hook = QStringList{"", "", "endless", "forks", "writes"}[int(unit(m_random) * 5)];
        if (m_config.front == QLatin1String("once"))
            m_hook.clear();  // --once waits for its hooks by design, in real time, which the world's clock outruns
    }

    void step(const QString &event)
    {
        log << event;
        const QString verb = event.section(u':', 0, 0), arg = event.section(u':', 1);
        static const std::map<QString, std::function<void(World &, const QString &)>> actions = {
            {"tick", [](World &w, const QString &a) { w.advance(a.isEmpty() ? 1000 : a.toLongLong() * 1000); }},
            {"store", [](World &w, const QString &) { w.finishJob(false); }},
            {"diskfull", [](World &w, const QString &) { w.finishJob(true); }},
            {"restart",
             [](World &w, const QString &a) {
                 if (!w.running())
                     w.startProgram(a.isEmpty() ? QStringList() : QStringList{a});
             }},
            {"signal",  // SIGTERM, SIGHUP: the same request; SIGKILL: gone at once, its lock with it, its file left
             [](World &w, const QString &a) { a == QLatin1String("kill") ? w.killProgram() : w.endRequest(); }},
            {"pid",  // the process id the lock file names belongs to someone else now (here: init, or this process)
             [](World &w, const QString &) {
                 if (!w.running())
                     writeFile(w.box.path(QStringLiteral("fcr.lock")), QByteArray::number(w.clock.bootMs % 2 ? 1 : ::getpid())
                                                                           + "\nfetchora\n" + QSysInfo::machineHostName().toUtf8() + '\n');
             }},
            {"disk",  // "hang": the job storing a copy now never reports, as on a network share that went away
             [](World &w, const QString &a) { a == QLatin1String("hang") ? void(w.m_jobStuck = bool(w.job)) : void(w.m_disk = a); }},
            {"wait",  // the program ends by itself, within its bound
             [](World &w, const QString &) {
                 const QDeadlineTimer bound(2500);
                 while (w.running() && !w.m_unloaded && !w.m_hostDone && !bound.hasExpired())
                     QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
             }},
            {"out",  // standard output closed: whatever the service prints next goes nowhere; or its reader stalls for a while
             [](World &w, const QString &a) {
                 if (a == QLatin1String("stalled") && !std::exchange(w.m_outStalled, true) && w.m_out) {
                     w.m_outStalledSteps = 300;
                     // What it could not take yet fills the pipe: the service's next line finds no room.
                     const int fd = ::fileno(w.m_out), flags = ::fcntl(fd, F_GETFL);
                     ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
                     for (const QByteArray filler(4096, '.'); ::write(fd, filler.constData(), size_t(filler.size())) > 0;) {
                     }
                     ::fcntl(fd, F_SETFL, flags);
                 }
                 else if (w.m_outRead >= 0)
                     ::close(std::exchange(w.m_outRead, -1));
             }},
            {"bus", [](World &w, const QString &) { w.freezeBus(); }},
            {"server", [](World &w, const QString &a) { w.serverChange(a); }},
            {"fs", [](World &w, const QString &a) { w.fileSystem(a); }},
            {"clock", [](World &w, const QString &a) { w.clockChange(a); }},
            {"start", [](World &w, const QString &) { w.m_attention = 3, w.click("cmdStart"); }},
            {"cancel", [](World &w, const QString &) { w.m_attention = 3, w.click("cmdAbort"); }},
            {"settings", [](World &w, const QString &a) { w.m_settingsChoice = a, w.click("cmdSettings"); }},
            {"quit", [](World &w, const QString &) { w.click("cmdQuit"); }},
            {"closebox",
             [](World &w, const QString &) {
                 if (w.window())
                     w.window()->close();
             }},
            {"url",  // as typed, pasted with blanks and a line break, not fetchable at all, or as given (%20: a blank)
             [](World &w, const QString &a) {
                 w.type("txtURL", a == QLatin1String("pasted") ? " http://127.0.0.1:9/files/report.txt\n"
                                  : a == QLatin1String("ftp")  ? "ftp://127.0.0.1/files/report.txt"
                                  : a.isEmpty()                ? "http://127.0.0.1:9/files/report.txt"
                                                               : QUrl::fromPercentEncoding(a.toUtf8()));
             }},
            {"folder",  // the user clears the folder, or types it again
             [](World &w, const QString &) {
                 const auto *field = w.control<TextField>("txtSPlace");
                 w.type("txtSPlace", field && field->Text() == w.save ? QString() : w.save);
             }},
            {"ok", [](World &w, const QString &) { w.open = 0; }},
            {"away", [](World &w, const QString &) { w.m_userAway = !w.m_userAway; }},
        };
        if (const auto found = actions.find(verb); found != actions.end())
            found->second(*this, arg);
        else
            fail(QStringLiteral("unknown event ") + event);
        // A report posted from a finished job posts the window's procedure in turn: a few rounds deliver everything
        // that is due.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
        if (m_unloaded) {
            m_unloaded = false;
            m_window.reset();
        }
        if (std::exchange(m_hostDone, false))
            m_host.reset();
        m_wasRunning = m_wasRunning || running();
        if (m_historyLock >= 0 && --m_historyLockSteps <= 0)
            ::close(std::exchange(m_historyLock, -1));
        if (m_busFd >= 0 && --m_busSteps <= 0)
            thawBus();
        if (!running()) {
            m_lock = {};
            if (std::exchange(m_wasRunning, false))
                verifyHooksGone();
            m_endAskedMs.reset();
            if (std::exchange(m_jobStuck, false) && job) {
                // The disk answers again just as the program ends: the copy it gave up must not take its name after
                // the line that says it was not stored.
                const auto copiesIn = [this] { return QDir(save).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); };
                const QStringList before = copiesIn();
                storeFinishedFile(jobRequest);
                job.reset();
                if (copiesIn() != before)
                    fail(QStringLiteral("a copy given up took its name: ") + copiesIn().join(u' '));
            }
        }
        if (m_outStalledSteps > 0)
            --m_outStalledSteps;  // the reader takes nothing meanwhile
        for (char buffer[4096]; m_outStalledSteps == 0 && m_outRead >= 0 && ::read(m_outRead, buffer, sizeof buffer) > 0;) {
        }
        for (char buffer[4096]; m_hookOut[0] >= 0 && ::read(m_hookOut[0], buffer, sizeof buffer) > 0;) {
        }
        check();
    }

    // The session bus takes connections and never answers, for a while (its daemon stopped); then it is gone. A
    // program started meanwhile meets it with its first notice.
    void freezeBus()
    {
        if (m_busFd >= 0 || std::exchange(m_busFrozen, true))
            return;
        const QByteArray path = QFile::encodeName(box.path(QStringLiteral("bus")));
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        if (size_t(path.size()) >= sizeof where.sun_path)
            return;
        std::memcpy(where.sun_path, path.constData(), size_t(path.size()));
        m_busFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(m_busFd, reinterpret_cast<const sockaddr *>(&where), sizeof where) != 0 || ::listen(m_busFd, 64) != 0)
            return thawBus();
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path);
        m_busSteps = 400;
    }
    // Whoever still waits for the bus learns that it is gone (the connections it never took are reset).
    void thawBus()
    {
        if (m_busFd < 0)
            return;
        ::close(std::exchange(m_busFd, -1));
        ::unlink(QFile::encodeName(box.path(QStringLiteral("bus"))).constData());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "");
    }

    void killProgram()
    {
        if (!running())
            return;
        if (job)
            job.reset(), m_jobStuck = false;  // the thread that stored it is gone too
        m_window.reset();
        m_host.reset();
        m_lock = {};
        m_killed = true;  // the transfer it ran may have no line: the count starts again from what history.log holds
    }

    void endRequest()
    {
        if (!running())
            return;
        if (!m_endAskedMs)
            m_endAskedMs = clock.bootMs, m_endReal.start();
        window() ? window()->closeByProgram() : service()->end();
    }

    void advance(qint64 ms)
    {
        clock.bootMs += ms;
        clock.wallMs += ms;
        if (const std::shared_ptr<FakeTransfer> t = live)
            t->step(clock.bootMs);
        if (auto *timer = control<QTimer>("Timer1"); timer && timer->isActive())
            window()->Timer1_Timer();
        if (!service())
            return;
        if (service()->countdownTimer().isActive())
            service()->Timer1_Timer();
        QTimer &retry = service()->retryTimer();  // fired by the world once an interval has passed
        if (retry.isActive() && m_retrySinceMs
            && clock.bootMs - *m_retrySinceMs >= 60000 * std::max<qint64>(1, service()->cycle().interval()))
            retry.stop(), service()->cmdStart_Click();
    }

    void finishJob(bool diskFull)
    {
        if (!job || m_jobStuck)
            return;
        auto promise = std::move(*job);
        job.reset();
        promise.addResult(diskFull ? StoreResult::failure(61, QStringLiteral("Disk full"))
                                   : storeFinishedFile(jobRequest));
        promise.finish();
    }

    void serverChange(const QString &what)
    {
        if (kServerModes.count(what)) {
            server.mode = what;
        } else if (what == QLatin1String("newbody")) {
            server.body = body(++server.bodies);
            server.etag = "\"e" + QByteArray::number(server.bodies) + '"';
        } else if (what == QLatin1String("newetag")) {
            server.etag = "\"x" + QByteArray::number(clock.bootMs) + '"';
        } else if (what.startsWith(QLatin1String("etag:"))) {  // as a script gives it
            server.etag = what.mid(5).toUtf8();
        } else if (what == QLatin1String("noversion")) {
            server.namesVersion = !server.namesVersion;
        }
    }

    void fileSystem(const QString &what)
    {
        const QString target = save + QStringLiteral("/report.txt");
        if (what == QLatin1String("lockhistory")) {  // another program holds history.log locked for a moment, once
            if (m_historyLock < 0 && !std::exchange(m_historyLocked, true)) {
                m_historyLock = ::open(QFile::encodeName(box.path(QStringLiteral("history.log"))).constData(),
                                       O_RDWR | O_CREAT | O_CLOEXEC, 0600);
                ::flock(m_historyLock, LOCK_EX);
                m_historyLockSteps = 3;  // each line written meanwhile waits for its bound, in real time
            }
        } else if (what == QLatin1String("usercopy")) {  // the user keeps a copy in a folder of their own inside
            if (QFileInfo(m_lastStored).isFile() && QDir(save).mkpath(QStringLiteral("sub")))
                own(save + QStringLiteral("/sub/") + QFileInfo(m_lastStored).fileName(), readAll(m_lastStored));
        } else if (what == QLatin1String("rmdir") || what == QLatin1String("fileinplace")) {
            QDir(save).removeRecursively();
            copies.clear();
            m_own.clear();
            if (what == QLatin1String("fileinplace"))
                writeFile(save, "a file where the folder was");
        } else if (what == QLatin1String("mkdir")) {
            if (QFileInfo(save).isFile())
                QFile::remove(save);
            QDir().mkpath(save);
        } else if (what == QLatin1String("dirattarget")) {
            if (!QFile::exists(target))
                QDir().mkpath(target);
        } else if (!copies.isEmpty()) {  // the user takes a copy away
            const QString path = copies.firstKey();
            if (what == QLatin1String("usermove"))
                QFile::rename(path, box.path(QStringLiteral("moved-") + QString::number(clock.bootMs)));
            else
                QFile::remove(path);
            copies.remove(path);
        }
    }

    // Hooks that misbehave, real processes all: each carries a mark in its command line by which the world finds what
    // is left of them once the program has ended.
    QByteArray hookOptions() const
    {
        static const std::map<QString, QByteArray> kHooks = {
            {"endless", "sleep 600; :"},
            {"forks", "sh -c 'sleep 600; :' %1-child & sleep 600; :"},
            {"writes", "while :; do echo %1; done"}};
        const auto h = kHooks.find(m_hook);
        if (h == kHooks.end())
            return {};
        const QByteArray line = "\"sh\" -c \"" + QByteArray(h->second).replace("%1", hookMark()) + "\" " + hookMark();
        return "HookTimeout=1\nOnStored=" + line + "\nOnFailed=" + line + '\n';
    }
    QByteArray hookMark() const { return "fetchora-world-hook-" + QByteArray::number(::getpid()); }
    // Once the program has ended, nothing its hooks started may run on: the end of a group is asked for at once and
    // takes effect within moments.
    void verifyHooksGone()
    {
        if (m_hook.isEmpty())
            return;
        auto left = [this] {
            QStringList pids;
            for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
                if (pid.toInt() > 0 && readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)).contains(hookMark()))
                    pids << pid;  // an ended process that is not yet reaped has no command line
            return pids;
        };
        const QDeadlineTimer bound(3000);
        for (QStringList pids = left(); !pids.isEmpty(); pids = left()) {
            if (bound.hasExpired())
                return fail(QStringLiteral("hook processes outlive the program: ") + pids.join(u' '));
            std::vector<pollfd> ends;  // readable as each one ends
            for (const QString &pid : pids)
                if (const int fd = int(::syscall(SYS_pidfd_open, pid.toInt(), 0)); fd >= 0)
                    ends.push_back({fd, POLLIN, 0});
            ::poll(ends.data(), ends.size(), int(bound.remainingTime()));
            for (const pollfd &e : ends)
                ::close(e.fd);
        }
    }

    void own(const QString &path, const QByteArray &content)
    {
        writeFile(path, content);
        m_own[path] = content;
    }
    // Files of the user's own beside the copies and in a folder inside: no retention may touch them.
    void ownFiles()
    {
        own(save + QStringLiteral("/report_mine.txt"), "the user's own");
        own(box.makeFolder(QStringLiteral("save/sub")) + QStringLiteral("/report.txt"), body(99));
    }

    // One operation of the disk fails as armed ("disk:enospc-rename"), or another program puts a FIFO or a folder under
    // a name in the save folder between two operations; history.log aside, whose lines the world counts.
    std::optional<int> diskFault(const FsCall &call)
    {
        static const std::map<QString, std::pair<FsOp, int>> kFaults = {
            {"short-write", {FsOp::Write, kShortWrite}}, {"fsync", {FsOp::Sync, EIO}},
            {"exdev-rename", {FsOp::Rename, EXDEV}},     {"eperm-rename", {FsOp::Rename, EPERM}},
            {"enospc-rename", {FsOp::Rename, ENOSPC}},   {"unlink", {FsOp::Unlink, EACCES}},
            {"fifo", {FsOp::Sync, 0}},                   {"dir", {FsOp::Sync, 0}},
            {"lock-full", {FsOp::Write, ENOSPC}},        {"lock-ro", {FsOp::Open, EROFS}}};
        const auto f = kFaults.find(m_disk);
        // The lock's faults hit only the lock file; the others never do.
        const bool lockFile = call.path == box.path(QStringLiteral("fcr.lock"));
        if (f == kFaults.end() || f->second.first != call.op || !call.path.startsWith(box.folder())
            || lockFile != m_disk.startsWith(QLatin1String("lock-"))
            || (f->second.second > 0 && call.path.contains(QLatin1String("history.log"))))
            return std::nullopt;
        if (m_disk == QLatin1String("lock-full") && !std::exchange(m_lockHalfWritten, true))
            return kShortWrite;  // the disk takes half the holder's name, then nothing more
        m_lockHalfWritten = false;
        if (f->second.second == 0) {
            if (!call.path.startsWith(save + u'/') || !QFileInfo(call.path).isFile())
                return std::nullopt;
            QFile::remove(call.path);
            const QByteArray name = QFile::encodeName(call.path);
            m_disk == QLatin1String("fifo") ? ::mkfifo(name.constData(), 0600) : ::mkdir(name.constData(), 0700);
        }
        m_disk.clear();
        return f->second.second ? std::optional<int>(f->second.second) : std::nullopt;
    }

    // Every copy stored is on disk as it was served, unless the user or the world took it away or the options keep
    // only some; no file of the user's own is touched.
    void verifyDisk()
    {
        const bool keeping = QString::fromUtf8(box.readIni()).contains(QRegularExpression("Keep(Copies|Days)=[1-9]"));
        for (auto c = copies.begin(); c != copies.end();) {
            struct stat st {};
            const bool there = ::lstat(QFile::encodeName(c.key()).constData(), &st) == 0;
            if (!there && keeping) {
                c = copies.erase(c);
                continue;
            }
            if (!there || !S_ISREG(st.st_mode))
                return fail(QStringLiteral("a stored copy is gone: ") + c.key());
            if (QCryptographicHash::hash(readAll(c.key()), QCryptographicHash::Sha256).toHex() != c.value())
                return fail(QStringLiteral("a stored copy is damaged: ") + c.key());
            ++c;
        }
        for (auto f = m_own.cbegin(); f != m_own.cend(); ++f)
            if (!QFileInfo(f.key()).isFile() || readAll(f.key()) != f.value())
                return fail(QStringLiteral("a file the program never stored is gone or changed: ") + f.key());
    }

    void clockChange(const QString &what)
    {
        if (what.startsWith(QLatin1String("sleep"))) {  // no tick while the machine sleeps; "sleep:30" for 30 s
            const qint64 ms = (what.contains(u':') ? what.section(u':', 1).toLongLong()
                                                   : std::uniform_int_distribution<>(60, 36000)(m_random))
                              * 1000;
            log.last() = QStringLiteral("clock:sleep:%1").arg(ms / 1000);  // what a replay must do again
            clock.bootMs += ms;
            clock.wallMs += ms;
            m_wokeMs = clock.bootMs;
        } else if (what == QLatin1String("dst")) {
            clock.offsetSec = clock.offsetSec == 7200 ? 3600 : 7200;
        } else if (what == QLatin1String("back")) {
            clock.wallMs -= 3600 * 1000;
        }
    }

    void click(const char *name)
    {
        if (auto *button = control<CommandButton>(name))
            QTest::mouseClick(button, Qt::LeftButton);
    }

    void type(const char *name, const QString &text)
    {
        if (auto *field = control<TextField>(name); field && field->isEnabled())
            field->setTextValue(text);
    }

    void settingsDialog()
    {
        const qsizetype event = log.size() - 1;  // logged with what is chosen, for a replay
        runModal();
        const QByteArray options[] = {"Start=1",      "Start=0",      "Mode1=0",    "Mode1=1",      "ShowErrors=1",
                                      "ShowErrors=0", "KeepCopies=3", "KeepDays=1", "KeepCopies=0", "KeepDays=0"};
        const QByteArray chosen =
            !m_settingsChoice.isEmpty()
                ? m_settingsChoice.toUtf8()
                : options[std::uniform_int_distribution<size_t>(0, std::size(options) - 1)(m_random)];
        if (chosen.startsWith("Intervall="))  // the one option the dialog hands over as it closes
            window()->setInterval(chosen.mid(10).toLong());
        log[event] = QStringLiteral("settings:") + QString::fromUtf8(chosen);
        QByteArray ini = box.readIni();
        ini.replace("[Options]\n", "[Options]\n" + chosen + "\n");
        box.writeIni(ini);
    }

    // Inside a box or a dialog: the world goes on until the user answers.
    QString runModal(int buttons = mb::OKOnly)
    {
        const int outer = std::exchange(m_modalButtons, buttons);
        const auto restore = qScopeGuard([&] { m_modalButtons = outer; });
        for (;;) {
            const QString event = next(true);
            if (event.startsWith(QLatin1String("answer"))) {
                log << event;
                m_attention = 3;
                return event.section(u':', 1);
            }
            step(event);
            if (failure && m_scripted)
                return {};
        }
    }

    void fail(const QString &why)
    {
        if (failure)
            return;
        failure = QStringLiteral("after %1 events, at %2 s: %3").arg(log.size()).arg(clock.bootMs / 1000).arg(why);
    }

    void check()
    {
        if (failure)
            return;
        if (open > 1)
            return fail(QStringLiteral("two boxes open"));
        readHistory();
        if (std::exchange(m_killed, false))
            ended = m_historyTransfers;
        if (m_endAskedMs && running() && (clock.bootMs - *m_endAskedMs > 2000 || m_endReal.elapsed() > 2000))
            return fail(QStringLiteral("still running %1 s after the end request").arg((clock.bootMs - *m_endAskedMs) / 1000));
        if (QStringList{"store", "diskfull", "disk", "fs", "restart"}.contains(log.last().section(u':', 0, 0)))
            verifyDisk();
        if (failure)
            return;
        const bool busy = (live && live->alive) || job;
        const std::pair<bool, QString> always[] = {
            {engines > 1, "two engines alive"},
            {m_historyTransfers > acceptedStarts, "more history lines than attempts"},
            {!busy && m_historyTransfers != ended,
             QStringLiteral("%1 transfers ended, %2 history lines").arg(ended).arg(m_historyTransfers)},
        };
        for (const auto &[bad, why] : always)
            if (bad)
                return fail(why);
        if (service()) {
            QTimer &retry = service()->retryTimer();
            if (!retry.isActive())
                m_retrySinceMs.reset();
            else if (!m_retrySinceMs)
                m_retrySinceMs = clock.bootMs;
            // Every download that falls due leaves a line, also one that cannot begin; the service's cycle is always on.
            const qint64 since = clock.bootMs - std::max({lastAttemptMs, m_wokeMs});
            if (!m_endAskedMs && !m_jobStuck && since > dueWithinMs(service()->cycle()))
                return fail(m_config.front == QLatin1String("once") ? QStringLiteral("--once goes on after its attempt")
                                                                     : QStringLiteral("the service makes no attempt"));
        }
        if (!window())
            return;
        // What the window allows follows from the cycle's phase: the four fields while it is off, Cancel while a
        // transfer runs, Start/Stop unless a transfer or its copy is on its way; the countdown runs through a cancel.
        using enum DownloadCycle::Phase;
        const DownloadCycle::Phase phase = window()->cycle().phase();
        const bool fetching = phase == Fetching || phase == FirstFetch, fieldsOn = control("txtURL")->isEnabled();
        bool fieldsApart = false;
        for (const char *field : {"txtSPlace", "cmdSettings", "cmdBrowse"})
            fieldsApart = fieldsApart || control(field)->isEnabled() != fieldsOn;
        const qint64 sinceOn = clock.bootMs - std::max({lastAttemptMs, m_onSinceMs, m_wokeMs});
        // The last attempt's line shares its row with the status line: it shows only while both fit.
        const auto *status = control<QLabel>("lblStatus"), *last = control<QLabel>("lblLastAttempt");
        const QFontMetrics metrics(last->font());
        const int room = last->width() - (status->isHidden() ? 0 : metrics.horizontalAdvance(status->text()));
        const std::pair<bool, QString> broken[] = {
            {fieldsApart || fieldsOn != (phase == Idle), "the fields open while the cycle is on, or shut while off"},
            {on() != (phase != Idle), "the caption says on while the cycle is off, or off while on"},
            {control("cmdAbort")->isEnabled() != fetching, "Cancel offered with nothing fetched, or not when fetching"},
            {control("cmdStart")->isEnabled() != (!fetching && phase != Storing),
             "Start/Stop is offered while a transfer or its copy is on its way, or not otherwise"},
            {control<QTimer>("Timer1")->isActive() != (phase == Counting || phase == Fetching || phase == Cancelling),
             "the countdown runs in a phase that does not count, or stands in one that does"},
            {on() != (control<CommandButton>("cmdStart")->text() == text(&Texts::capStop)), "caption and Start/Stop disagree"},
            {job && phase != Storing, "the cycle goes on while a copy is being stored"},
            {job && status->text() == text(&Texts::msgAborted),
             "\"Download canceled\" while the copy is being stored"},
            {last->isVisibleTo(window())
                 != (!last->text().isEmpty() && metrics.horizontalAdvance(last->text()) + 2 * metrics.averageCharWidth() <= room),
             "the last attempt's line covers the status line, or hides with room to show"},
            {on() && !m_jobStuck && sinceOn > dueWithinMs(window()->cycle()), "the cycle is on and makes no attempt"},
        };
        for (const auto &[bad, why] : broken)
            if (bad)
                return fail(why);
        if (!on())
            m_onSinceMs = clock.bootMs;
    }

    // How long an attempt may be in coming: an interval, with room for a transfer and its storing.
    static qint64 dueWithinMs(const DownloadCycle &cycle)
    {
        return 60 * 1000 * std::max<qint64>(1, cycle.interval()) + 200 * 1000;
    }

    // New lines of history.log: what was stored must be what was served, and no copy may land on another one.
    void readHistory()
    {
        QFile f(box.path(QStringLiteral("history.log")));
        if (f.size() == m_historyOffset || !f.open(QIODevice::ReadOnly))
            return;
        if (f.size() < m_historyOffset)
            m_historyOffset = 0;  // moved aside
        f.seek(m_historyOffset);
        while (!f.atEnd()) {
            const QByteArray line = f.readLine();
            if (!line.endsWith('\n'))
                break;
            m_historyOffset += line.size();
            lastAttemptMs = clock.bootMs;
            m_attemptLined = true;
            const QList<QByteArray> fields = line.trimmed().split('\t');
            const QByteArray outcome = fields.value(1);
            // An attempt that could not even begin took no time (every world transfer takes some).
            const bool beginFailure = outcome == "failed" && fields.value(3) == "0" && fields.value(4).toDouble() == 0;
            m_historyTransfers += !beginFailure && outcome != "skipped";
            if (outcome == "unchanged" && !copies.contains(m_lastStored))
                return fail(QStringLiteral("\"unchanged\" although the copy it stands for is gone: ") + m_lastStored);
            if (outcome != "stored")
                continue;
            const QString path = QString::fromUtf8(fields.value(6));
            const QByteArray sha = fields.value(5);
            const bool stamped = QFileInfo(path).completeBaseName() != QLatin1String("report");  // not report.txt/.zip
            if (stamped && copies.contains(path) && copies[path] != sha)
                return fail(QStringLiteral("a stamped copy was overwritten: ") + path);
            // What was served is what lies on disk; of an archive, the file inside it.
            if (!bodiesBySha.contains(path.endsWith(QLatin1String(".zip")) ? sha256OfEntry(path) : sha))
                return fail(QStringLiteral("stored something never served: ") + path);
            copies[path] = sha;
            m_lastStored = path;
        }
    }

    QByteArray sha256OfEntry(const QString &archive) const
    {
        const QRegularExpression key(QStringLiteral("\nPwd=([^\n]+)"));
        const QString password = key.match(QString::fromUtf8(box.readIni())).captured(1);
        const QByteArray entry = unzipOnly(archive, password.isEmpty() ? nullptr : password.toUtf8().constData());
        return QCryptographicHash::hash(entry, QCryptographicHash::Sha256).toHex();
    }

    WorldConfig m_config;
    std::mt19937 m_random;
    std::deque<QString> m_replay;
    bool m_scripted = false, m_started = false;
    QString m_settingsChoice;  // "settings:Intervall=0": what the user chooses, else chosen at random
    bool m_unloaded = false;
    std::unique_ptr<MainWindow> m_window;
    bool m_userAway = false;
    int m_attention = 0;  // events for which the user is still at the screen
    qint64 m_wokeMs = 0;
    int m_modalButtons = mb::OKOnly;
    int m_yesFor = 0;  // the transfer the last Yes was asked about
    qint64 m_historyOffset = 0;
    int m_historyTransfers = 0;
    qint64 m_onSinceMs = 0;
    QString m_lastStored;  // the copy an "unchanged" stands for
    // The service: its profile, the prompt that answers its boxes at once as standard error does, its output.
    struct Lines : PromptService {
        explicit Lines(World &w) : w(w) {}
        int msgBox(const QString &text, int style, const QString &title) override
        {
            w.shown << (title.isEmpty() ? text : title + QStringLiteral(" | ") + text);
            const int b = mb::buttonsOf(style);
            return b == mb::YesNo || b == mb::YesNoCancel ? mb::No
                   : b == mb::AbortRetryIgnore            ? mb::Ignore
                   : b == mb::OKOnly                      ? mb::OK
                                                          : mb::Cancel;
        }
        World &w;
    } m_lines{*this};
    std::shared_ptr<Profile> m_profile;
    std::unique_ptr<ServiceHost> m_host;
    bool m_hostDone = false;
    std::optional<qint64> m_retrySinceMs;
    FILE *m_out = nullptr;  // the service's standard output and error, which the world may close
    int m_outRead = -1;
    int m_outStalledSteps = 0;  // steps for which nobody reads the service's output (once a run: it costs real time)
    bool m_outStalled = false;
    int m_hookOut[2] = {-1, -1};  // where hooks print, read after every step
    // Faults: the mix this seed draws from and how often; the one armed for the next operation of the disk.
    QStringList m_mix;
    double m_faultShare = 0.5;
    QString m_disk;
    QString m_keep;  // an option the seed drew: copies kept, or replaced
    QString m_hook;  // the hooks the seed drew: "endless", "forks" (and leaves a child behind), "writes" without end
    bool m_jobStuck = false;  // the storing job never reports
    bool m_wasRunning = false;
    ProfileLock m_lock;  // the running program's
    bool m_killed = false;
    int m_historyLock = -1, m_historyLockSteps = 0;  // history.log held locked by another program
    bool m_historyLocked = false;
    int m_busFd = -1, m_busSteps = 0;  // the session bus that stopped answering (once a run: it costs real time)
    bool m_busFrozen = false;
    bool m_lockHalfWritten = false;
    bool m_attemptLined = false, m_onceWaited = false;  // this run's attempt has its line; --once was waited for
    std::optional<qint64> m_endAskedMs;
    QElapsedTimer m_endReal;
    QMap<QString, QByteArray> m_own;  // the user's own files in the save folder
};

}  // namespace fetchora::testing
