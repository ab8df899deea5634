#include "widgets/Controls.h"
#include "widgets/MessageBoxPrompt.h"
#include "widgets/ProgressBox.h"
#include "widgets/SystemTray.h"
#include "widgets/FolderDialog.h"
#include "support/AppSandbox.h"
#include "support/QStringPrinter.h"
#include "support/TestFiles.h"
#include "support/UiTestMain.h"
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

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
        {1, 300, 200, "0 %", 0, Qt::black},
        {1, 200, 10, "1 %", 0, Qt::white}};  // the text, wider than the box, starts left of the bar's end
    ProgressBox box;
    for (const Row &r : rows) {
        box.resize(r.width, 30);
        box.draw(r.value, 0, r.maximum, true);
        const qreal ratio = box.devicePixelRatioF();  // drawn in screen pixels: a second run is at 200 %
        int bar = 0;                                  // the top edge, which no text reaches
        for (int x = 0; x < box.image().width(); ++x)
            bar += box.image().pixelColor(x, 0) == QColor(0, 0, 192);
        EXPECT_EQ(qRound(bar / ratio), r.bar) << r.value << "/" << r.maximum;
        EXPECT_EQ(box.shownText(), r.text);
        EXPECT_EQ(box.textColor(), r.ink) << r.text;
    }
}

// Forty folders listed above the start folder once they are read: it must stay in view. "New folder" makes one with
// a free name, open for naming: Enter names it and leaves the dialog open on it, Escape takes the folder back; where
// none can be made, the box says so.
TEST(FolderBrowser, OpensOnTheStartFolderInViewMakesNewFoldersAndAnswersOnlyAChosenFolder)
{
    AppSandbox sandbox;
    for (int i = 0; i < 40; ++i)
        sandbox.makeFolder(QString::number(i));
    const QString folder = sandbox.makeFolder("x/b");
    struct Row {
        QString start;
        bool accept;
        QString selected, result;
        const char *typed = nullptr;  // New folder pressed, this name typed, then the key
        QString error{};
        Qt::Key key = Qt::Key_Return;
        QStringList left{};  // the folders in the start folder afterwards
    };
    const Row rows[] = {{folder + "/", true, folder, folder},
                        {"/no/such/folder", true, "", ""},
                        {"/", true, "/", "/"},
                        {folder, true, folder, folder, "Draft", "", Qt::Key_Escape, {}},
                        {folder, true, folder + "/New folder", folder + "/New folder", "", "", {}, {"New folder"}},
                        {folder, true, folder + "/Reports", folder + "/Reports", "Reports", "", Qt::Key_Return, {"New folder", "Reports"}},
                        {"/proc", false, "/proc", "", "", "No new folder can be made in \"/proc\"."}};
    ScriptedPrompt boxes;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.start.toStdString());
        setFolderDialogHook([&](FolderDialog &d) {
            d.setPrompt(&boxes);
            d.show();  // at the dialog's own size
            d.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&d));  // the tree has the focus, as for a user
            const auto *tree = d.findChild<QTreeView *>();
            const auto *model = static_cast<QFileSystemModel *>(tree->model());
            const auto listedInView = [&] {
                return model->rowCount(model->index(sandbox.folder())) == 41
                       && tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()));
            };
            EXPECT_TRUE(!r.start.startsWith(folder) || waitUntil(listedInView, 5000)) << "not in view";
            if (r.typed) {
                QTest::mouseClick(d.findChild<QPushButton *>("newFolder"), Qt::LeftButton);
                // Meanwhile a folder comes and goes above (another program's): the tree lays out its rows anew.
                const QString other = sandbox.makeFolder("other");
                waitUntil([&] { return model->rowCount(model->index(sandbox.folder())) == 42; }, 5000);
                QDir().rmdir(other);
                waitUntil([&] { return model->rowCount(model->index(sandbox.folder())) == 41; }, 5000);
                if (auto *editor = tree->viewport()->findChild<QLineEdit *>(); *r.typed)
                    QTest::keyClicks(editor, r.typed), QTest::keyClick(editor, r.key);
                const auto left = [&] { return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot); };
                waitUntil([&] { return d.selectedPath() == r.selected && left() == r.left; }, 5000);
                EXPECT_TRUE(r.start != folder || left() == r.left) << left().join(", ").toStdString();
                EXPECT_TRUE(d.isVisible()) << "the key was the name's, not the dialog's";
            }
            EXPECT_EQ(d.selectedPath(), r.selected);
            EXPECT_EQ(d.statusText(), r.selected.isEmpty() ? "" : "Auswahl: " + r.selected);
            EXPECT_EQ(boxes.count() ? boxes.last().text : "", r.error);
            if (r.accept)
                QTest::mouseClick(d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
            if (d.isVisible())
                d.reject();  // cancelled, or OK was disabled
        });
        QString title = "t";
        EXPECT_EQ(BrowseForFolder(title, r.start, nullptr, true, {}, true, false, "English"), r.result);
    }
    setFolderDialogHook(nullptr);
}

// Qt's own buttons speak the interface language, also in open windows. A focused button shows its focus frame
// however it got the focus, and has the keys again after a question, though disabled for a moment meanwhile.
TEST(Buttons, SpeakTheLanguageShowTheirFocusAndKeepIt)
{
    AppSandbox sandbox;
    QWidget window;
    auto *a = new CommandButton(&window), *b = new CommandButton(&window);
    auto *open = new QDialogButtonBox(QDialogButtonBox::Cancel, &window);
    window.show(), window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    b->setFocus();
    const QImage plain = a->grab().toImage();
    a->setFocus();
    EXPECT_NE(a->grab().toImage(), plain);
    for (const QStringList &r :
         {QStringList{"Deutsch", "&Ja", "&Nein", "Abbrechen"}, {"English", "&Yes", "&No", "Cancel"}}) {
        sandbox.profile->setLanguageName(r[0]), SetLanguage(*sandbox.profile);
        QStringList shown;
        QTimer::singleShot(0, [&] {
            a->setEnabled(false), a->setEnabled(true);
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            shown << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
            box->button(QMessageBox::No)->click();
        });
        EXPECT_EQ(MessageBoxPrompt().msgBox("?", mb::Question | mb::YesNo, {}), mb::No);
        EXPECT_EQ(shown, r.mid(1, 2));
        EXPECT_EQ(open->button(QDialogButtonBox::Cancel)->text(), r[3]);
        EXPECT_EQ(window.focusWidget(), a);
    }
    MessageBoxPrompt notices;  // one notice at a time: a second while the first is up is dropped
    notices.notify("one", mb::Critical, {}), notices.notify("two", mb::Critical, {});
    EXPECT_EQ(window.findChildren<QMessageBox *>().size(), 1);
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
