#pragma once
// The real main window in a sandbox, driven as a user and the engine would drive it. Only the engine, the storing job's
// thread and the clock are fakes. Steps are a small script: "click tick*60 finish".

#include "mainwindow/SubMain.h"
#include "shell/Controls.h"
#include "startup/HandOver.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/FakeTray.h"
#include "support/QStringPrinter.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QLabel>
#include <QPromise>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <map>
#include <optional>

namespace fetchora::testing {

// The time of day stays put; elapsed time moves a second with every tick.
struct PinnedClock : Clock {
    QDateTime at{QDate(2026, 12, 4), QTime(19, 59, 58)};
    qint64 ms = 0;
    QDateTime now() const override { return at; }
    qint64 elapsedMs() const override { return ms; }
};

class CycleRig {
public:
    // adjust: seams of its own, for a window that then comes on screen in its own time.
    explicit CycleRig(const QByteArray &options, bool holdJobs = false,
                      const std::function<void(MainWindowSeams &)> &adjust = {})
    {
        box.writeIni("[Global]\nLanguage=English\n[Options]\nSavePath=" + save.toUtf8() + "\n"
                     + (options.contains("URL=") ? "" : "URL=http://127.0.0.1:9/files/report.txt\n") + options);
        MainWindowSeams seams;
        seams.prompt = &box.prompt;
        seams.downloads = fakeDownloadFactory(engine);
        seams.tray = [this](QObject *parent) {
            auto t = std::make_unique<FakeTray>(parent);
            tray = t.get();
            return t;
        };
        seams.clock = &clock;
        seams.tickMs = 1 << 30;  // the rig gives the ticks
        seams.storeJobs = [this, holdJobs](const StoreRequest &r) {
            if (!holdJobs)
                return runOffUiThread(storeFinishedFile, r);
            held.emplace();
            held->start();
            heldRequest = r;
            return held->future();
        };
        if (adjust)
            adjust(seams);
        SubMain(std::move(seams));
        if (adjust)
            return;
        // On screen, as a user sees it: the window's boxes wait for that.
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w()));
        QCoreApplication::processEvents();
    }
    ~CycleRig() { g_frmMain.reset(); }

    frmMain &w() const { return *g_frmMain; }
    const DownloadCycle &cycle() const { return w().cycle(); }
    template <class T = QWidget>
    T *get(const char *name) const
    {
        return w().findChild<T *>(QLatin1String(name));
    }
    void click(const char *button) { QTest::mouseClick(get(button), Qt::LeftButton); }
    QString status() const { return get<QLabel>("lblStatus")->text(); }

    static TransferResult result(TransferResult::Kind kind, int status = 0, long curl = 0, const QString &text = {})
    {
        TransferResult r;
        r.kind = kind, r.httpStatus = status, r.curlCode = curl, r.text = text;
        return r;
    }

    void step(const QString &word)
    {
        const QString verb = word.section(u':', 0, 0), a = word.section(u':', 1);
        using E = DownloadEvents;
        using enum TransferResult::Kind;
        // The last event of a transfer, after the result the engine hands over with it ("same": a version it has).
        static const std::map<QString, std::pair<TransferResult, void (*)(E &)>> endings = {
            {"connerr",
             {result(ConnectionError, 0, 7, "Couldn't connect"), [](E &e) { e.FileDownload_ConnectionError(7, "x"); }}},
            {"dlerr",
             {result(HttpError, 500, 0, "HTTP 500 Internal Server Error"),
              [](E &e) { e.FileDownload_DownloadError(500, "HTTP 500"); }}},
            {"notfound", {result(NotFound, 404), [](E &e) { e.FileDownload_NotFound(); }}},
            {"abort", {result(Cancelled), [](E &e) { e.FileDownload_Abort(); }}},
            {"same", {result(NotModified, 304), [](E &e) { e.FileDownload_Abort(); }}},
        };
        if (const auto e = endings.find(verb); e != endings.end()) {
            engine->result = e->second.first;
            e->second.second(w());
        } else if (verb == "click") {
            click("cmdStart");
        } else if (verb == "tick") {  // the window's timer ticks if it runs
            clock.ms += 1000;
            if (get<QTimer>("Timer1")->isActive())
                w().Timer1_Timer();
        } else if (verb == "sleep") {  // without a tick
            clock.ms += a.toLongLong() * 1000;
        } else if (verb == "cancel") {
            box.prompt.answerNext(a == "yes" ? mb::Yes : mb::No), click("cmdAbort");
        } else if (verb == "finish") {
            finish(a.isEmpty() ? QByteArray("BODY") : a.toUtf8());
        } else if (verb == "version") {
            w().FileDownload_ShowVersion(a);
        } else if (verb == "progress") {
            w().FileDownload_Progress(a.section(u'/', 0, 0).toLongLong(), a.section(u'/', 1).toLongLong());
        } else if (verb == "url") {
            get<dxTextEdit>("txtURL")->setTextValue(QUrl::fromPercentEncoding(a.toUtf8()));
        } else if (verb == "interval") {  // as the settings dialog hands it over
            w().setInterval(a.toLong());
        } else if (verb == "nofolder") {
            QDir(save).removeRecursively();
        } else if (verb == "refuse") {  // from now on
            engine->acceptStart = false;
        } else {
            ADD_FAILURE() << "unknown step " << word.toStdString();
        }
    }

    // "tick*60" repeats a word.
    void run(const QString &script)
    {
        for (const QString &word : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int times = word.contains(QLatin1Char('*')) ? word.section(QLatin1Char('*'), 1).toInt() : 1;
            for (int i = 0; i < times; ++i)
                step(word.section(QLatin1Char('*'), 0, 0));
        }
    }

    void finish(const QByteArray &body)
    {
        if (!engine->starts.isEmpty())
            writeFile(engine->starts.back().target, body);
        engine->result = result(TransferResult::Kind::Body, 200);
        engine->result.bytes = body.size();
        engine->result.sha256 = QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
        w().FileDownload_Finished();
        // The job's report is a posted event: wait for events, not for time.
        if (!held)
            waitUntil([&] { return cycle().phase() != DownloadCycle::Phase::Storing; }, 10000);
    }

    AppSandbox box;
    std::shared_ptr<FakeDownloadLog> engine = std::make_shared<FakeDownloadLog>();
    PinnedClock clock;
    FakeTray *tray = nullptr;
    QString save = box.makeFolder(QStringLiteral("save"));
    std::optional<QPromise<StoreResult>> held;
    StoreRequest heldRequest;
};

}  // namespace fetchora::testing
