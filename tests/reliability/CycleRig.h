#pragma once
// The real main window with the real download engine against the local test
// server: what a user's unattended run does, one cycle at a time.

#include "components/download/classFileDownload.h"
#include "mainwindow/frmMain.h"
#include "shell/Controls.h"
#include "startup/modGlobal.h"
#include "support/AppSandbox.h"
#include "support/FakeTray.h"
#include "support/QStringPrinter.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QThread>

#include <gtest/gtest.h>

namespace fetchora::testing {

class CycleRig : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ASSERT_TRUE(server.listening());
        saveDir = sandbox.makeFolder("save");
    }

    static DownloadOptions engineOptions() { return fastEngineOptions(); }

    // Options go to fcr.ini as written; URL and SavePath are added. The
    // timer never fires by itself: the test ticks.
    std::unique_ptr<frmMain> load(const QString &url, const QByteArray &options = {}, int tickMs = 3600 * 1000)
    {
        sandbox.writeIni("[Options]\r\nURL=" + url.toUtf8() + "\r\nSavePath=" + saveDir.toUtf8()
                         + "\r\nIntervall=1\r\n" + options);
        MainWindowSeams seams;
        seams.prompt = &sandbox.prompt;
        seams.downloads = defaultDownloadFactory(engineOptions());
        seams.tray = [](QObject *parent) { return std::make_unique<FakeTray>(parent); };
        seams.secondsPerMinute = 1;
        seams.tickMs = tickMs;
        auto w = std::make_unique<frmMain>(std::move(seams));
        w->Form_Load();
        return w;
    }

    // Waits until the transfer the window runs has ended and its outcome has
    // been handled.
    static bool settled(frmMain &w, int ms = 20000)
    {
        const bool ok = waitUntil([&] { return w.cmdStart->isEnabled() && !w.bProcessing; }, ms);
        waitUntil([] { return false; }, 50);  // anything still queued
        return ok;
    }

    // One cycle, as the timer would run it.
    static bool tick(frmMain &w)
    {
        // One tick short of the interval (secondsPerMinute is 1 here).
        w.lCounter = w.iC - 1;
        w.Timer1_Timer();
        return settled(w);
    }

    QString url(const char *path) const { return server.url(QString::fromLatin1(path)); }

    AppSandbox sandbox;
    TestHttpServer server;
    QString saveDir;
};

}  // namespace fetchora::testing
