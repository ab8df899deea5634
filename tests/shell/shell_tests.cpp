// The shell services on their own: pick list, progress bar, size limit, folder dialog, tray menu.
#include "shell/Controls.h"
#include "shell/MessageBoxPrompt.h"
#include "shell/ProgressBox.h"
#include "shell/SystemTray.h"
#include "shell/modBrowseFolders.h"
#include "shell/modWinSize.h"
#include "support/AppSandbox.h"
#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace fetchora;

namespace {

TEST(PickList, TextSetByTheProgramRaisesChangeOnce)
{
    dxPickEdit pick;
    pick.addItemValue("a");
    QSignalSpy changes(&pick, &dxPickEdit::Change);
    for (const char *text : {"a", "not an item", "a"})
        pick.setTextValue(text);
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(pick.Text(), "a");
}

// One box for all rows: an empty row right after a bar shows whether the bar was wiped.
TEST(ProgressBar, DrawsTheRoundedShareAndItsPercentage)
{
    struct Row {
        qint64 value, maximum;
        int width;
        const char *text;
        int bar;
        QColor ink;
    };
    const Row rows[] = {
        {2, 3, 200, "67 %", 134, Qt::white},
        {0, 100, 200, "", 0, {}},
        {500, 100, 200, "100 %", 200, Qt::white},
        {50, 0, 200, "", 0, {}},
        {1, 300, 200, "0 %", 0, Qt::black},
        {1, 200, 10, "1 %", 0, Qt::white}};  // the text, wider than the box, starts left of the bar's end
    ProgressBox box;
    for (const Row &r : rows) {
        box.resize(r.width, 30);
        box.draw(r.value, 0, r.maximum, true);
        // Drawn in screen pixels, so it is sharp at any scale (a second run of this test is at 200 %).
        const qreal ratio = box.devicePixelRatioF();
        EXPECT_EQ(box.image().size(), QSize(qRound(r.width * ratio), qRound(30 * ratio)));
        int bar = 0;  // the top edge, which no text reaches
        for (int x = 0; x < box.image().width(); ++x)
            bar += box.image().pixelColor(x, 0) == QColor(0, 0, 192);
        EXPECT_EQ(qRound(bar / ratio), r.bar) << r.value << "/" << r.maximum;
        EXPECT_EQ(box.shownText(), r.text);
        EXPECT_EQ(box.textColor(), r.ink) << r.text;
    }
}

TEST(SizeLimit, DraggingCannotChangeTheFixedSizeUntilTheLimitGoes)
{
    QWidget window;
    SetMinMax(&window, 402, 257, 402, 257);
    for (QSize drag : {QSize(800, 100), QSize(100, 600)}) {  // past each of the four limits
        window.resize(drag);
        EXPECT_EQ(window.size(), QSize(402, 257));
    }
    UnloadMinMax(&window);
    const MinMaxLimits kept = currentMinMax();  // what SetMinMax stored outlives the limit
    EXPECT_EQ((std::array{kept.minWidth, kept.minHeight, kept.maxWidth, kept.maxHeight}),
              (std::array{402, 257, 402, 257}));
    window.resize(800, 600);
    EXPECT_EQ(window.size(), QSize(800, 600)) << "free again";
}

// Forty folders listed above the start folder once they are read: it must stay in view.
TEST(FolderBrowser, OpensOnTheStartFolderInViewAndAnswersOnlyAChosenFolder)
{
    fetchora::testing::AppSandbox sandbox;
    for (int i = 0; i < 40; ++i)
        sandbox.makeFolder(QString::number(i));
    const QString folder = sandbox.makeFolder("x/b");
    struct Row {
        QString start;
        bool accept;
        QString selected, result;
    };
    const Row rows[] = {{folder + "/", true, folder, folder},
                        {folder, false, folder, ""},
                        {"/no/such/folder", true, "", ""},
                        {"", true, "", ""},
                        {"/", true, "/", "/"}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.start.toStdString());
        setFolderDialogHook([&](FolderDialog &d) {
            d.show();  // at the dialog's own size
            d.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&d));  // the tree has the focus, as for a user
            const auto *tree = d.findChild<QTreeView *>();
            EXPECT_TRUE(r.selected != folder
                        || fetchora::testing::waitUntil(
                            [&] {
                                return tree->model()->rowCount(
                                           static_cast<QFileSystemModel *>(tree->model())->index(sandbox.folder()))
                                           == 41
                                       && tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()));
                            },
                            5000))
                << "not in view";
            EXPECT_EQ(d.selectedPath(), r.selected);
            EXPECT_EQ(d.statusText(), r.selected.isEmpty() ? "" : "Auswahl: " + r.selected);
            if (r.accept)
                QTest::mouseClick(d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
            if (d.isVisible())
                d.reject();  // cancelled, or OK was disabled
        });
        QString title = "t";
        EXPECT_EQ(BrowseForFolder(title, r.start, nullptr, true), r.result);
    }
    setFolderDialogHook(nullptr);
}

// In the folder selected, with a free name, open for naming; the status line follows the name given. Where no
// folder can be made, the box names the folder in the way.
TEST(FolderBrowser, MakesANewFolderInTheSelectedOne)
{
    fetchora::testing::AppSandbox sandbox;
    const QString parent = sandbox.makeFolder("p");
    struct Row {
        QString in, made, named, error;
    };
    const Row rows[] = {{parent, parent + "/New folder", parent + "/Reports", ""},
                        {parent, parent + "/New folder", parent + "/New folder", ""},
                        {parent, parent + "/New folder (2)", parent + "/New folder (2)", ""},
                        {"/proc", "", "", "No new folder can be made in \"/proc\"."}};
    fetchora::testing::ScriptedPrompt boxes;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.made.toStdString());
        setFolderDialogHook([&](FolderDialog &d) {
            d.setPrompt(&boxes);
            d.show();
            auto *button = d.findChild<QPushButton *>("newFolder");
            ASSERT_TRUE(button && button->isEnabled());
            QTest::mouseClick(button, Qt::LeftButton);
            EXPECT_EQ(QFileInfo(r.made).isDir(), !r.made.isEmpty());
            EXPECT_EQ(d.selectedPath(), r.made.isEmpty() ? r.in : r.made);
            if (r.made != r.named) {
                auto *editor = d.findChild<QTreeView *>()->viewport()->findChild<QLineEdit *>();
                ASSERT_TRUE(editor && editor->isVisible()) << "the new name is open for editing";
                editor->selectAll();
                QTest::keyClicks(editor, "Reports");
                QTest::keyClick(editor, Qt::Key_Return);
            }
            EXPECT_TRUE(
                fetchora::testing::waitUntil([&] { return r.named.isEmpty() || QFileInfo(r.named).isDir(); }, 5000));
            EXPECT_EQ(d.statusText(), "Auswahl: " + (r.named.isEmpty() ? r.in : r.named));
            EXPECT_EQ(boxes.count() ? boxes.last().text : "", r.error);
            d.reject();
        });
        QString title = "t";
        BrowseForFolder(title, r.in, nullptr, true);
    }
    setFolderDialogHook(nullptr);
}

// At 200 % on a small screen the dialog is cut to 90 % of the screen's height and keeps its buttons on it.
TEST(FolderBrowser, FitsItsScreenWithItsButtons)
{
    setFolderDialogHook([](FolderDialog &d) {
        d.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        const QRect screen = d.screen()->availableGeometry();
        EXPECT_LE(d.frameGeometry().height(), screen.height() * 9 / 10);
        for (QAbstractButton *b : d.findChild<QDialogButtonBox *>()->buttons())
            EXPECT_TRUE(screen.contains(QRect(b->mapToGlobal(QPoint(0, 0)), b->size()))) << b->text().toStdString();
        d.reject();
    });
    QString title = "t";
    BrowseForFolder(title, "/", nullptr, true);
    setFolderDialogHook(nullptr);
}

// Qt's own buttons speak the interface language, and switch with it in windows already open.
TEST(Toolkit, StandardButtonsFollowTheLanguage)
{
    fetchora::testing::AppSandbox sandbox;
    QDialogButtonBox open(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    const struct {
        const char *language, *yes, *no, *cancel;
    } rows[] = {{"Deutsch", "&Ja", "&Nein", "Abbrechen"}, {"English", "&Yes", "&No", "Cancel"}};
    for (const auto &r : rows) {
        strLanguage = r.language;
        SetLanguage();
        QStringList shown;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            for (QAbstractButton *b : box->buttons())
                shown << b->text();
            box->button(QMessageBox::No)->click();
        });
        MessageBoxPrompt prompt;
        EXPECT_EQ(prompt.msgBox("?", mb::Question | mb::YesNo, {}), mb::No);
        QStringList want{r.yes, r.no};
        shown.sort(), want.sort();
        EXPECT_EQ(shown, want);
        QCoreApplication::processEvents();  // the open window gets the news
        EXPECT_EQ(open.button(QDialogButtonBox::Cancel)->text(), r.cancel);
    }
}

// The focused button shows its focus frame however it got the focus, and keeps the focus over a question.
TEST(Buttons, TheFocusedOneShowsItsFocusFrame)
{
    QWidget window;
    auto *a = new roCommand(&window), *b = new roCommand(&window);
    a->setGeometry(0, 0, 80, 23);
    b->setGeometry(0, 30, 80, 23);
    a->setCaption("&Start");
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    b->setFocus();
    const QImage plain = a->grab().toImage();
    a->setFocus();
    EXPECT_NE(a->grab().toImage(), plain);
    // While a question is open the button is disabled for a moment (the focus moves on): afterwards it has the
    // keys again.
    QTimer::singleShot(0, [&] {
        a->setEnabled(false), a->setEnabled(true);
        qobject_cast<QMessageBox *>(QApplication::activeModalWidget())->button(QMessageBox::No)->click();
    });
    MessageBoxPrompt().msgBox("?", mb::Question | mb::YesNo, {});
    EXPECT_EQ(window.focusWidget(), a);
}

// An item added again under its key replaces the earlier one, caption and place; clicks on the icon tell
// the button.
TEST(TrayMenu, ShowsEachKeyOnceAndReportsTheChosenKey)
{
    SystemTray tray;
    QSignalSpy chosen(&tray, &TrayLayer::MenuClick);
    tray.AddMenuItem("open", "&Open");
    tray.AddMenuItem("exit", "&Quit");
    tray.AddMenuItem("open", "Ö&ffnen");
    tray.ShowMenu();
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    QStringList shown;
    for (QAction *a : menu->actions())
        shown << a->text();
    EXPECT_EQ(shown, QStringList({"&Quit", "Ö&ffnen"}));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().value(0)).center());
    EXPECT_EQ(chosen.value(0).value(1).toString(), "exit");
    QSignalSpy clicks(&tray, &TrayLayer::Click);
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context})
        emit tray.findChild<QSystemTrayIcon *>()->activated(reason);
    EXPECT_EQ(clicks, (QList<QVariantList>{{1}, {2}})) << "left, right";
}

}  // namespace

FETCHORA_QT_TEST_MAIN("fetchora-shell-tests-no-viewer")
