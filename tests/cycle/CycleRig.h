#pragma once
// The cycle in a sandbox, without a window: the rig plays the window (its
// traced procedures forward into the cycle, as the real one's do) and the
// download engine (a fake whose events the test raises). Steps are written
// as a small script: "click tick*60 finish".

#include "mainwindow/cycle/DownloadCycle.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/TestFiles.h"
#include "trace/modTraceLITE.h"

#include <gtest/gtest.h>

#include <QPromise>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>
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
                return QtFuture::makeReadyFuture(StoreResult{err::DiskFull, "Disk full", {}, {}, false});
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

    // One step of a script; see run().
    void step(const QString &word)
    {
        const QString arg = word.section(QLatin1Char(':'), 1);
        const QString verb = word.section(QLatin1Char(':'), 0, 0);
        if (verb == QLatin1String("click"))
            cmdStart_Click();
        else if (verb == QLatin1String("tick")) {
            clock.ms += 1000;
            Timer1_Timer();
        } else if (verb == QLatin1String("sleep"))  // seconds without a tick
            clock.ms += arg.toLongLong() * 1000;
        else if (verb == QLatin1String("cancel")) {
            box.prompt.answerNext(arg == QLatin1String("yes") ? mb::Yes : mb::No);
            traced("Sub cmdAbort_Click", &DownloadCycle::cancel);
        } else if (verb == QLatin1String("finish"))
            finish(arg.isEmpty() ? QByteArray("BODY") : arg.toUtf8());
        else if (verb == QLatin1String("connerr"))
            FileDownload_ConnectionError(7, QStringLiteral("Couldn't connect to server"));
        else if (verb == QLatin1String("dlerr"))
            FileDownload_DownloadError(500, QStringLiteral("HTTP 500 Internal Server Error"));
        else if (verb == QLatin1String("notfound"))
            FileDownload_NotFound();
        else if (verb == QLatin1String("url"))  // the user types another address
            cycle->urlChanged();
        else if (verb == QLatin1String("interval"))  // as the settings dialog hands it over
            cycle->setInterval(arg.toLong());
        else if (verb == QLatin1String("nourl"))
            url.clear();
        else if (verb == QLatin1String("nofolder"))
            QDir(save).removeRecursively();
        else if (verb == QLatin1String("savetmp"))
            save = box.makeFolder(QStringLiteral("tmp"));
        else if (verb == QLatin1String("refuse"))  // the engine turns the next starts down
            engine->acceptStart = false;
        else if (verb == QLatin1String("abort"))
            FileDownload_Abort();
        else if (verb == QLatin1String("version"))
            FileDownload_ShowVersion(arg);
        else if (verb == QLatin1String("progress"))
            FileDownload_Progress(arg.section(QLatin1Char('/'), 0, 0).toLongLong(),
                                  arg.section(QLatin1Char('/'), 1).toLongLong());
        else
            ADD_FAILURE() << "unknown step " << word.toStdString();
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
