// The real main window, driven as a user drives it: what it loads, what it shows of the cycle, the tray, and one whole
// session with the real engine against a local server, traced.

#include "mainwindow/WindowStartup.h"
#include "widgets/Controls.h"
#include "widgets/ProgressBox.h"
#include "widgets/FolderDialog.h"
#include "widgets/MessageBoxPrompt.h"
#include "core/IniFile.h"
#include "support/AppSandbox.h"
#include "support/FakeDownload.h"
#include "support/FakeTray.h"
#include "support/QStringPrinter.h"
#include "support/TestHttpServer.h"
#include "core/Trace.h"
#include "trace/Tracewright.h"

#include <gtest/gtest.h>

#include "history/HistoryWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

// The real window in a sandbox, on its own timer and clock, with the switches given. The engine does nothing unless a
// test gives the real one: the test raises its events. A test may adjust the seams and the files before the start.
struct Window {
    explicit Window(const QByteArray &options, QStringList args = {}, DownloadFactory engine = {},
                    const std::function<void(MainWindowSeams &, const AppSandbox &)> &adjust = {})
    {
        box.writeIni("[Global]\nLanguage=English\n[Options]\nSavePath=" + save.toUtf8() + "\n" + options);
        MainWindowSeams seams;
        seams.prompt = &box.prompt;
        seams.profile = box.profile;
        seams.downloads = engine ? engine : fakeDownloadFactory(this->engine);
        seams.tray = [this](QObject *parent) {
            auto t = std::make_unique<FakeTray>(parent);
            tray = t.get();
            return t;
        };
        seams.arguments = std::move(args);
        seams.tickMs = 5;
        if (adjust)
            adjust(seams, box);
        window = showMainWindow(std::move(seams));
    }

    MainWindow &w() const { return *window; }
    template <class T = QWidget>
    T *get(const char *name) const
    {
        return w().findChild<T *>(QLatin1String(name));
    }
    void click(const char *button) { QTest::mouseClick(get(button), Qt::LeftButton); }

    AppSandbox box;
    std::shared_ptr<FakeDownloadLog> engine = std::make_shared<FakeDownloadLog>();
    FakeTray *tray = nullptr;
    std::unique_ptr<MainWindow> window;
    QString save = box.makeFolder(QStringLiteral("save"));
};

}  // namespace

// The window's own timer counts down to a download; progress fills the bar, and a stop clears it. The last attempt's
// details stay in the tooltips of the status line and the bar, and in the tray. Minimised, the
// window waits in the tray under its caption and address; a right click (not a left one) offers the items, and a double
// click or "open" brings it back. Quit's Cancel question closes by itself as No when its transfer ends meanwhile:
// nothing is cancelled, and the program goes on. An open history window follows a change of language, where it was
// and showing what it showed. "exit" ends the program at once, a running transfer too, asking nothing. Resizing does
// not take it to the tray.
TEST(Window, ShowsTheTransferAndTheLastAttemptAndWaitsInTheTray)
{
    MessageBoxPrompt boxes;
    Window win("URL=\n", {}, {}, [&](MainWindowSeams &seams, const AppSandbox &) { seams.prompt = &boxes; });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&win.w()));
    win.w().resize(500, 500);
    EXPECT_EQ(win.w().size(), QSize(402, 257)) << "the size is fixed";
    EXPECT_TRUE(!win.tray->shown && win.w().windowTitle() == "TAQ Fetchora");
    const auto toTrayAndBack = [&](const QString &tip, const char *key) {
        win.w().showMinimized();
        EXPECT_TRUE(waitUntil([&] { return win.tray->shown; }, 5000));
        EXPECT_TRUE(win.tray->tip.startsWith(tip)) << win.tray->tip.toStdString();
        emit win.tray->Click(1);
        emit win.tray->Click(2);
        *key ? emit win.tray->MenuClick(1, key) : emit win.tray->DblClick();
        EXPECT_TRUE(!win.w().isMinimized() && !win.tray->shown);
    };
    toTrayAndBack("TAQ Fetchora []", "");
    QTest::keyClicks(win.get("txtURL"), "http://me:secret@h/a.txt");
    win.click("cmdStart");
    ASSERT_TRUE(waitUntil([&] { return win.engine->starts > 0; }, 5000));
    win.w().FileDownload_Progress(60, 100);
    EXPECT_GT(win.get<ProgressBox>("picProgress")->barWidth(), 0);
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(win.get("picProgress"));
    EXPECT_TRUE(bar->role() == QAccessible::ProgressBar && bar->valueInterface()->currentValue() == 60);
    toTrayAndBack("TAQ Fetchora [Active] [http://me:***@h/a.txt]", "open");
    win.engine->result.kind = TransferResult::Kind::ConnectionError;
    win.engine->result.text = QStringLiteral("refused");
    QTimer::singleShot(0, [&] {
        auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_TRUE(question && question->text() == "Cancel download?");
        win.w().FileDownload_ConnectionError(7, QStringLiteral("refused"));
        if (question->isVisible())
            ADD_FAILURE() << "still asks", question->button(QMessageBox::Yes)->click();
    });
    QSignalSpy unloaded(&win.w(), &MainWindow::unloaded);
    win.click("cmdQuit");
    EXPECT_FALSE(readAll(win.box.path("history.log")).contains("\tcancelled\t"));
    win.click("cmdStart");
    EXPECT_EQ(win.get<ProgressBox>("picProgress")->barWidth(), 0);
    EXPECT_TRUE(win.get("picProgress")->toolTip().startsWith("Last attempt: failed at "));
    EXPECT_TRUE(win.get("lblStatus")->toolTip().endsWith("refused"));
    toTrayAndBack("TAQ Fetchora [http://me:***@h/a.txt]\nLast: failed, ", "");
    using Menu = QList<QPair<QString, QString>>;
    EXPECT_EQ(win.tray->menus, QList<Menu>(3, {{"open", "&Open"}, {"history", "History…"}, {"exit", "&Quit"}}));
    win.click("cmdStart");
    ASSERT_TRUE(waitUntil([&] { return win.engine->starts == 2; }, 5000));
    const auto history = [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *h = qobject_cast<HistoryWindow *>(w); h && h->isVisible())
                return h;
        return static_cast<HistoryWindow *>(nullptr);
    };
    emit win.tray->MenuClick(1, QStringLiteral("history"));
    ASSERT_TRUE(history());
    history()->findChild<QLineEdit *>("searchEdit")->setText("404");
    win.box.writeIni(win.box.readIni().replace("Language=English", "Language=Deutsch"));
    win.box.profile->readLanguage();
    win.w().SetLabels();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(history());
    EXPECT_TRUE(history()->windowTitle().startsWith("Verlauf"));
    EXPECT_EQ(history()->findChild<QLineEdit *>("searchEdit")->text(), "404");
    history()->close();
    QTimer::singleShot(0, [] {
        if (auto *asked = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            ADD_FAILURE() << "exit asked", asked->done(0);
    });
    emit win.tray->MenuClick(1, QStringLiteral("exit"));
    EXPECT_TRUE(unloaded.wait(5000) && unloaded.count() == 1);
    win.w().resize(500, 500);
    EXPECT_EQ(win.w().size(), QSize(500, 500)) << "free again";
}

// A person's Start with a save folder that is not there offers to make it: Yes makes it and starts, No or a folder that
// cannot be made leaves the cycle off. "-s" asks nothing and leaves the cycle on, to try again an interval later. The
// folder browser opens on the nearest folder there is; Cancel keeps the folder typed.
TEST(Window, AMissingSaveFolderIsOfferedToAPersonAndUsedOnceItIsThere)
{
    const struct {
        const char *folder;
        QStringList args;
        int answer;
        const char *shown;  // boxes, folder made, cycle, first line of the last box
    } rows[] = {
        {"new/deeper", {}, mb::Yes, "1 made on The folder \"%1\" does not exist."},
        {"new/deeper", {}, mb::No, "1 - off The folder \"%1\" does not exist."},
        {"file/sub", {}, mb::Yes, "2 - off The folder \"%1\" could not be created:"},
        {"new", {"-s"}, mb::Yes, "1 - on The folder for downloaded files does not exist"},
    };
    for (const auto &row : rows) {
        QString folder;
        Window win("Start=1\nURL=http://h/a.txt\n", row.args, {}, [&](MainWindowSeams &, const AppSandbox &box) {
            writeFile(box.path("save/file"), "in the way");
            folder = box.path(QString("save/") + row.folder);
            box.writeIni(box.readIni().replace("/save\n", "/save/" + QByteArray(row.folder) + "\n"));
        });
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&win.w()));
        QCoreApplication::processEvents();  // the notices held until the window is on screen
        QString opened;
        setFolderDialogHook([&](FolderDialog &d) { opened = d.selectedPath(), d.reject(); });
        win.click("cmdBrowse");
        setFolderDialogHook(nullptr);
        EXPECT_EQ(opened, row.args.isEmpty() ? win.save : "") << "opens on the nearest folder there is";
        EXPECT_EQ(win.get<TextField>("txtSPlace")->Text(), folder) << "Cancel keeps the folder typed";
        win.box.prompt.answerNext(row.answer);
        if (row.args.isEmpty())
            win.click("cmdStart");
        EXPECT_EQ(QString("%1 %2 %3 %4")
                      .arg(win.box.prompt.count())
                      .arg(QFileInfo(folder).isDir() ? "made" : "-",
                           win.w().cycle().phase() != DownloadCycle::Phase::Idle ? "on" : "off",
                           win.box.prompt.last().text.section("\r\n", 0, 0)),
                  QString(row.shown).replace(QLatin1String("%1"), folder));
        setFolderDialogHook([&](FolderDialog &d) { d.selectPath(win.save), d.accept(); });
        win.click("cmdBrowse");  // while the cycle is off a folder chosen replaces the one typed
        setFolderDialogHook(nullptr);
        EXPECT_EQ(win.get<TextField>("txtSPlace")->Text(),
                  win.w().cycle().phase() == DownloadCycle::Phase::Idle ? win.save : folder);
    }
}

// With keys alone (through the window, access keys included), first download at once: no key and not the close box ends
// the program or the transfer without a Yes, and the keys never land on Quit by themselves. An access key presses its
// button a moment later. After each step: the focus, boxes shown, downloads begun.
TEST(Window, KeysFollowTheUserAndNeverEndAnything)
{
    Window win("Start=1\nURL=http://h/a.txt\n");
    win.w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&win.w()));
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}) {
        return [&win, k, m] { QTest::keyClick(win.w().windowHandle(), k, m); };
    };
    const std::pair<std::function<void()>, const char *> steps[] = {
        {key(Qt::Key_Space), "cmdAbort 0 1"},
        {key(Qt::Key_Space), "cmdAbort 1 1"},
        {[&] { key(Qt::Key_Tab)(), key(Qt::Key_Space)(); }, "cmdQuit 2 1"},
        {key(Qt::Key_Return), "cmdQuit 3 1"},
        {key(Qt::Key_Escape), "cmdQuit 3 1"},
        {key(Qt::Key_Q, Qt::AltModifier), "cmdQuit 4 1"},
        {key(Qt::Key_Backtab, Qt::ShiftModifier), "cmdAbort 4 1"},
        {[&] { win.engine->result.kind = TransferResult::Kind::NotFound, win.w().FileDownload_NotFound(); },
         "cmdStart 5 1"},
        // Cancel unavailable, J nobody's: neither types its letter into the field with the keys.
        {[&] { win.get("txtURL")->setFocus(), key(Qt::Key_C, Qt::AltModifier)(), key(Qt::Key_J, Qt::AltModifier)(); },
         "txtURL 5 1"},
        {[&] { win.get("txtURL")->setFocus(), key(Qt::Key_Enter)(); }, "cmdAbort 5 2"},
        {[&] { win.w().close(); }, "cmdAbort 6 2"}};
    QSignalSpy unloaded(&win.w(), &MainWindow::unloaded);
    const auto buttons = win.w().findChildren<CommandButton *>();
    for (const auto &s : steps) {
        s.first();
        waitUntil([&] { return std::ranges::none_of(buttons, &QAbstractButton::isDown); }, 2000);
        EXPECT_EQ(QString("%1 %2 %3")
                      .arg(win.w().focusWidget()->objectName())
                      .arg(win.box.prompt.count())
                      .arg(win.engine->starts),
                  s.second);
        EXPECT_TRUE(unloaded.isEmpty() && win.w().isVisible());
        EXPECT_EQ(win.get<TextField>("txtURL")->Text() + win.get<TextField>("txtSPlace")->Text(), "http://h/a.txt" + win.save);
    }
    win.box.prompt.answerNext(mb::Yes), win.click("cmdQuit");  // ends both; history.log keeps the transfer
    EXPECT_TRUE(unloaded.wait(5000) && readAll(win.box.path("history.log")).contains("\tcancelled\t"));
}

// How the window comes up: the switches (exact letter case, "-s" also inside a word, others ignored), no settings file
// at all (German), the banner (the program's for a profile without one), the Start button's notice only once the window
// is on screen. Quit saves the fields as they stand, an emptied URL included.
TEST(Window, ComesUpAsTheCommandLineAndItsFilesSayAndQuitSavesTheFields)
{
    const struct {
        QStringList args;
        QByteArray ini;  // "-": no settings file
        int banner;      // 1: the profile's, 2: the program's only (a profile of its own, --config)
        const char *shown;  // interval/error boxes, cycle, window state, last box, Settings caption, banner slogan
    } rows[] = {
        {{}, "-", true, "1/0 off window - &Optionen jede Kopie, pünktlich"},
        {{"-m"}, "Intervall=0\nURL=http://h/a.txt\n", false, "1/0 off window - &Settings -"},
        {{"-S"}, "Intervall=abc\nURL=http://h/a.txt\n", false, "1/1 off window - &Settings -"},
        {{"-x", "/m"}, "URL=http://h/a.txt\n", 2, "1/0 off window - &Settings every copy, on schedule"},
        {{"-s", "-m"}, "Intervall=60\nURL=http://h/a.txt\n", true, "60/0 on tray - &Settings every copy, on schedule"},
        {{"-sofort"}, "URL=\n", false, "1/0 off window Please enter a valid URL &Settings -"},
    };
    for (const auto &row : rows) {
        Window win(row.ini == "-" ? QByteArray() : row.ini, row.args, {},
                   [&](MainWindowSeams &seams, const AppSandbox &box) {
            seams.ownBanner = row.banner == 2 ? FETCHORA_TESTS_DIR "/../resources/bin/banner.bmp" : "/none/banner.bmp";
            QSettings(box.path("Fetchora/Fetchora.conf"), QSettings::IniFormat).setValue("Options/BGColor", "x");
            if (row.ini == "-")
                QFile::remove(box.ini().path());
            if (row.banner == 1)
                QDir(box.folder()).mkpath("bin"),
                    QFile::copy(FETCHORA_TESTS_DIR "/../resources/bin/banner.bmp", box.path("bin/banner.bmp"));
        });
        EXPECT_EQ(win.box.prompt.count(), 0) << "not before the window is shown";
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&win.w()));
        QCoreApplication::processEvents();  // what waits for the window to be on screen
        const bool tray = QString(row.shown).contains(" tray "), box = !QString(row.shown).contains(" - &");
        ASSERT_TRUE(waitUntil([&] { return win.w().isMinimized() == tray && win.box.prompt.count() == box; }, 5000));
        const bool on = win.w().cycle().phase() != DownloadCycle::Phase::Idle;
        const auto *banner = win.get<QLabel>("Image1");
        EXPECT_EQ(QString("%1/%2 %3 %4 %5 %6 %7")
                      .arg(win.w().cycle().interval())
                      .arg(win.box.errorPrompt.count())
                      .arg(on ? "on" : "off", tray ? "tray" : "window", box ? win.box.prompt.last().text : "-",
                           win.get<CommandButton>("cmdSettings")->text(),
                           banner->pixmap().isNull() ? "-" : win.get<QLabel>("lblSlogan")->text()),
                  QString::fromUtf8(row.shown));
        EXPECT_TRUE(!box || win.get<QLabel>("lblStatus")->text() == win.box.prompt.last().text);
        EXPECT_EQ(win.box.registryValue("BGColor") + win.box.registryValue("Version"), "&H8000000F1.00.02");
        EXPECT_EQ(win.box.registryValue("Language"), row.ini == "-" ? "Deutsch" : "English");
        if (!on)
            win.get<TextField>("txtURL")->selectAll(), QTest::keyClick(win.get("txtURL"), Qt::Key_Delete);
        QSignalSpy unloaded(&win.w(), &MainWindow::unloaded);
        win.click("cmdQuit");
        EXPECT_TRUE(unloaded.wait(5000));
        EXPECT_EQ(win.box.ini().read("Options", "URL", "-", 256), on ? "http://h/a.txt" : "");
    }
}

// The procedures entered and left, without counters and times; ticks and progress events come as often as time allows,
// so their blocks go.
QStringList procedures(const QStringList &lines)
{
    QStringList out;
    QString skipping;
    for (const QString &line : lines) {
        const QString body = line.section(QStringLiteral("] "), 3).trimmed(), name = body.mid(2).trimmed();
        if (!skipping.isEmpty())
            skipping = body.startsWith("<-") && name == skipping ? QString() : skipping;
        else if (body.startsWith("->") && (name.contains("Timer1_Timer") || name.contains("FileDownload_Progress")))
            skipping = name;
        else if (body.startsWith("->") || body.startsWith("<-"))
            out << body;
    }
    return out;
}

// Under a strict umask, and with a settings file left open to others, what the program writes stays its owner's.
TEST(Window, ASessionWithTheRealEngineStoresACopyAndTracesAsAlways)
{
    TestHttpServer server;
    Reply reply = Reply::ok(300000);
    reply.lastModified = "Fri, 04 Dec 2026 19:59:58 GMT";
    server.route("/files/report.txt", reply);
    QStringList lines;
    mode_t umaskWas = 0;
    const auto beforeStart = [&](MainWindowSeams &, const AppSandbox &box) {
        ::chmod(qPrintable(box.ini().path()), 0644);
        umaskWas = ::umask(0277);
        tracetest::reset();
        tracetest::setLineSink([&](const QString &line) { lines << line; });
    };
    {
        Window win("Start=1\nMode1=1\nURL=" + server.url(QStringLiteral("/files/report.txt")).toUtf8() + "\n",
                   {QStringLiteral("-s")}, defaultDownloadFactory(fastEngineOptions()), beforeStart);
        ASSERT_TRUE(waitUntil([&] { return win.w().cycle().phase() == DownloadCycle::Phase::Counting; }, 10000));
        const QStringList stored = QDir(win.save).entryList({QStringLiteral("report_*.txt")}, QDir::Files);
        ASSERT_EQ(stored.size(), 1);
        EXPECT_TRUE(fileHoldsBody(win.save + u'/' + stored.first(), 300000));
        QSignalSpy unloaded(&win.w(), &MainWindow::unloaded);
        win.click("cmdQuit");
        EXPECT_TRUE(unloaded.wait(5000));
        tracetest::setLineSink({});
        tracetest::reset();
        win.box.ini().write("Options", "Written", "1");  // a new fcr.ini, still its owner's to write
        ::umask(umaskWas);
        EXPECT_TRUE(win.box.readIni().contains("Written=1"));
        for (const auto &[name, mode] : {std::pair{"fcr.ini", 0600}, {"history.log", 0600}, {"tmp", 0700}}) {
            struct stat st {};
            EXPECT_TRUE(::stat(qPrintable(win.box.path(name)), &st) == 0 && (st.st_mode & 07777) == mode_t(mode))
                << name;
        }
    }
    EXPECT_EQ(lines.filter(QStringLiteral("] NOTE ")).join(u'|').section(QStringLiteral("] NOTE "), 1),
              "\"fcr.ini was open to other users (0644): now only its owner's (0600)\" at modGlobal : Sub Main\r\n");
    QFile golden(QStringLiteral(FETCHORA_TESTS_DIR "/mainwindow/session.trace"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    const QStringList expected = QString::fromUtf8(golden.readAll()).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(procedures(lines).join(u'\n').toStdString(), expected.join(u'\n').toStdString());
}
