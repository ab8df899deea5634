#pragma once
// The cycle in a sandbox, without a window: the rig plays the window (its
// traced procedures forward into the cycle, as the real one's do) and the
// download engine (a fake whose events the test raises). Steps are written
// as a small script: "click tick*60 finish".

#include "cycle/DownloadCycle.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/TestFiles.h"
#include "trace/modTraceLITE.h"

#include <gtest/gtest.h>

#include <QPromise>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace fetchora::testing {

// The time of day stays put; elapsed time moves a second with every tick.
struct PinnedClock : Clock {
    QDateTime at{QDate(2026, 12, 4), QTime(19, 59, 58)};
    qint64 ms = 0;
    QDateTime now() const override { return at; }
    qint64 elapsedMs() const override { return ms; }
};

class CycleRig : public CycleHost {
public:
    explicit CycleRig(const QByteArray &options, bool holdJobs = false, PromptService *prompt = nullptr)
    {
        box.writeIni("[Options]\n" + options);
        save = box.makeFolder(QStringLiteral("save"));
        CycleSetup setup;
        setup.downloads = fakeDownloadFactory(engine);
        setup.clock = &clock;
        setup.tmpFolder = box.path(QStringLiteral("tmp/"));
        setup.appFolder = box.folder();
        setup.runJob = [this, holdJobs](const StoreRequest &r) {
            if (diskFull)
                return QtFuture::makeReadyFuture(StoreResult::failure(err::DiskFull, "Disk full"));
            if (!holdJobs)
                return QtConcurrent::run(storeFinishedFile, r);
            held.emplace();
            held->start();
            heldRequest = r;
            return held->future();
        };
        cycle = std::make_unique<DownloadCycle>(*this, prompt ? *prompt : box.prompt, setup);
        cycle->setInterval(1);
    }

    // One step of a script ("verb" or "verb:argument"); see run().
    void step(const QString &word)
    {
        using Step = std::function<void(CycleRig &, const QString &)>;
        static const std::map<QString, Step> steps = {
            {"click", [](CycleRig &r, const QString &) { r.cmdStart_Click(); }},
            {"tick", [](CycleRig &r, const QString &) { r.clock.ms += 1000, r.Timer1_Timer(); }},
            {"sleep", [](CycleRig &r, const QString &a) { r.clock.ms += a.toLongLong() * 1000; }},  // without a tick
            {"cancel",
             [](CycleRig &r, const QString &a) {
                 r.box.prompt.answerNext(a == QLatin1String("yes") ? mb::Yes : mb::No);
                 r.traced("Sub cmdAbort_Click", &DownloadCycle::cancel);
             }},
            {"finish", [](CycleRig &r, const QString &a) { r.finish(a.isEmpty() ? QByteArray("BODY") : a.toUtf8()); }},
            {"connerr", [](CycleRig &r, const QString &) { r.FileDownload_ConnectionError(7, "Couldn't connect"); }},
            {"dlerr",
             [](CycleRig &r, const QString &) { r.FileDownload_DownloadError(500, "HTTP 500 Internal Server Error"); }},
            {"notfound", [](CycleRig &r, const QString &) { r.FileDownload_NotFound(); }},
            {"abort", [](CycleRig &r, const QString &) { r.FileDownload_Abort(); }},
            {"version", [](CycleRig &r, const QString &a) { r.FileDownload_ShowVersion(a); }},
            {"progress",
             [](CycleRig &r, const QString &a) {
                 r.FileDownload_Progress(a.section(u'/', 0, 0).toLongLong(), a.section(u'/', 1).toLongLong());
             }},
            {"url", [](CycleRig &r, const QString &) { r.cycle->urlChanged(); }},  // the user types another address
            {"interval", [](CycleRig &r, const QString &a) { r.cycle->setInterval(a.toLong()); }},  // from the dialog
            {"nourl", [](CycleRig &r, const QString &) { r.url.clear(); }},
            {"nofolder", [](CycleRig &r, const QString &) { QDir(r.save).removeRecursively(); }},
            {"savetmp", [](CycleRig &r, const QString &) { r.save = r.box.makeFolder(QStringLiteral("tmp")); }},
            {"refuse", [](CycleRig &r, const QString &) { r.engine->acceptStart = false; }},  // from now on
        };
        const auto found = steps.find(word.section(u':', 0, 0));
        if (found == steps.end())
            ADD_FAILURE() << "unknown step " << word.toStdString();
        else
            found->second(*this, word.section(u':', 1));
    }

    // Words separated by blanks; "tick*60" repeats a word.
    void run(const QString &script)
    {
        for (const QString &word : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int times = word.contains(QLatin1Char('*')) ? word.section(QLatin1Char('*'), 1).toInt() : 1;
            for (int i = 0; i < times; ++i)
                step(word.section(QLatin1Char('*'), 0, 0));
        }
    }

    // What the engine does on success: the complete file at the target, then Finished.
    void finish(const QByteArray &body)
    {
        if (!engine->starts.isEmpty())
            writeFile(engine->starts.back().target, body);
        FileDownload_Finished();
        // The job's report is a posted event: wait for events, not for time.
        QDeadlineTimer deadline(10000);
        while (cycle->storing() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }

    // As the window's procedures do: a trace scope around the call into the cycle.
    template <typename... Params, typename... Args>
    void traced(const char *name, void (DownloadCycle::*call)(TraceScope &, Params...), Args &&...args)
    {
        TraceScope t("frmMain", name);
        (cycle.get()->*call)(t, std::forward<Args>(args)...);
    }

    QString savePathText() const override { return save; }
    QString urlText() const override { return url; }
    void applyView(const CycleView &) override {}
    void Start() override { traced("Sub Start", &DownloadCycle::start); }
    void cmdStart_Click() override { traced("Sub cmdStart_Click", &DownloadCycle::startStop); }
    void Timer1_Timer() override
    {
        if (cycle->view().timerOn)  // the window's timer only ticks while the view says it runs
            traced("Sub Timer1_Timer", &DownloadCycle::tick);
    }
    void ShowProgress(qint64, qint64, qint64, bool) override {}
    void StoreJob_Finished() override { traced("Sub StoreJob_Finished", &DownloadCycle::stored); }
    void closeNow() override { ++closes; }

    void FileDownload_ConnectionError(long n, const QString &d) override
    {
        traced("x", &DownloadCycle::connectionError, n, d);
    }
    void FileDownload_DownloadError(long n, const QString &d) override
    {
        traced("x", &DownloadCycle::downloadError, n, d);
    }
    void FileDownload_Abort() override { traced("x", &DownloadCycle::aborted); }
    void FileDownload_NotFound() override { traced("x", &DownloadCycle::notFound); }
    void FileDownload_ShowVersion(const QString &s) override { traced("x", &DownloadCycle::showVersion, s); }
    void FileDownload_Finished() override { traced("x", &DownloadCycle::finished); }
    void FileDownload_Progress(qint64 l, qint64 s) override { traced("x", &DownloadCycle::progress, l, s); }
    void FileDownload_Start() override { traced("x", &DownloadCycle::downloadStarted); }

    AppSandbox box;
    std::shared_ptr<FakeDownloadLog> engine = std::make_shared<FakeDownloadLog>();
    PinnedClock clock;
    QString save;
    QString url = QStringLiteral("http://127.0.0.1:9/files/report.txt");
    std::unique_ptr<DownloadCycle> cycle;
    std::optional<QPromise<StoreResult>> held;
    StoreRequest heldRequest;
    bool diskFull = false;  // the next stores fail as on a full disk
    int closes = 0;
};

}  // namespace fetchora::testing
