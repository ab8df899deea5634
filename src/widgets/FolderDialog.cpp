#include "widgets/FolderDialog.h"

#include "widgets/MessageBoxPrompt.h"
#include "core/Profile.h"
#include "core/Texts.h"
#include "core/Trace.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace fetchora {

namespace {
std::function<void(FolderDialog &)> g_hook;
PromptService *g_prompt = nullptr;  // for the dialog of the call under way

QString withoutTrailingSeparator(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}
}  // namespace

void setFolderDialogHook(std::function<void(FolderDialog &)> hook)
{
    g_hook = std::move(hook);
}

FolderDialog::FolderDialog(QWidget *owner, const QString &title, bool statusText, const QString &language)
    : QDialog(owner), m_language(language), m_statusText(statusText)
{
    setWindowTitle(title);
    // Modal to its owner only, so the tray icon can still bring the owner back.
    setWindowModality(Qt::WindowModal);
    resize(360, 420);
    m_title = new QLabel(title, this);
    m_title->setWordWrap(true);
    m_status = new QLabel(this);
    m_status->setVisible(statusText);
    // The line shortens its path to the width it is given; it never asks
    // for the width of the whole path.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->installEventFilter(this);
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QStringLiteral("/"));
    // Writable, so a new folder can be named in place (F2 renames too).
    m_model->setReadOnly(false);
    m_tree = new QTreeView(this);
    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIndex(m_model->index(QString()));
    m_tree->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_tree->setAccessibleName(title);  // a tree takes no name from a caption beside it
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setEnabled(false);
    // On the left, apart from the buttons that end the dialog, as in the
    // desktops' own folder pickers.
    m_newFolder = new QPushButton(moreTexts(m_language).newFolderButton, this);
    m_newFolder->setAutoDefault(false);
    m_newFolder->setObjectName(QStringLiteral("newFolder"));
    m_newFolder->setEnabled(false);
    connect(m_newFolder, &QPushButton::clicked, this, &FolderDialog::newFolder);
    // A renamed folder stays selected (the model may move its row) and its
    // new name shows at once.
    connect(m_model, &QFileSystemModel::fileRenamed, this,
            [this](const QString &in, const QString &, const QString &name) {
                m_keep = QDir(in).filePath(name);
                m_tree->setCurrentIndex(m_model->index(m_keep));
                CallbackString();
            });
    // Escape while a folder just made is being named: the user did not want
    // it after all. Only an empty one goes; F2 on an older folder keeps it.
    connect(m_tree->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
                const QString made = std::exchange(m_naming, QString());
                if (hint != QAbstractItemDelegate::RevertModelCache || made.isEmpty())
                    return;
                const QString parent = QFileInfo(made).path();
                m_keep = parent;
                m_tree->setCurrentIndex(m_model->index(parent));
                m_model->rmdir(m_model->index(made));
            });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The tree makes its first row current when it gets the focus, without
    // selecting it: only a selected folder is an answer.
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_ok->setEnabled(!selectedPath().isEmpty());
        m_newFolder->setEnabled(!selectedPath().isEmpty());
        CallbackString();
    });
    // Rows arrive in batches while the folders are read, and are sorted after
    // each: every batch can push the selection out of view, on a busy machine
    // after the folder has been reported loaded. Until the user scrolls, the
    // view follows the selection.
    const auto follow = [this] {
        // A folder just made or renamed stays selected though the model
        // drops and adds its rows again while it re-reads the folder.
        if (const QModelIndex kept = m_model->index(m_keep); kept.isValid() && selectedPath() != m_keep)
            m_tree->setCurrentIndex(kept);
        if (m_followSelection && m_tree->currentIndex().isValid())
            m_tree->scrollTo(m_tree->currentIndex(), QAbstractItemView::PositionAtCenter);
    };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, follow);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, follow);
    connect(m_tree, &QAbstractItemView::pressed, this, [this] { m_keep.clear(); });
    m_tree->installEventFilter(this);
    connect(m_tree->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { m_followSelection = false; });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_status);
    layout->addWidget(m_tree, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(m_newFolder);
    row->addWidget(buttons, 1);
    layout->addLayout(row);
}

bool FolderDialog::selectPath(const QString &path)
{
    TraceScope t("modBrowseFolders", "Function PathToPIDL");
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    const QModelIndex index = m_model->index(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (!index.isValid())
        return false;
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
    return true;
}

QString FolderDialog::selectedPath() const
{
    const QModelIndexList rows = m_tree->selectionModel()->selectedIndexes();
    if (rows.isEmpty())
        return {};
    const QString path = m_model->filePath(rows.first());
    return path.isEmpty() ? QString() : withoutTrailingSeparator(path);
}

QString FolderDialog::statusText() const
{
    return m_status->text();
}

void FolderDialog::fitScreen()
{
    // At 200 % a dialog of 420 points is 840 pixels: more than many screens
    // have. Its buttons must stay on screen; the tree takes what is left.
    QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen *screen = owner ? owner->screen() : this->screen();
    if (!screen)
        return;
    const int room = screen->availableGeometry().height() * 9 / 10;
    // The window manager's title bar counts too; before the dialog is shown
    // its height is not known, so room for two lines of text is kept.
    const int frame = std::max(frameGeometry().height() - geometry().height(), 2 * fontMetrics().height());
    setMaximumHeight(std::max(minimumSizeHint().height(), room - frame));
}

bool FolderDialog::newFolder()
{
    TraceScope t("modBrowseFolders", "Function NewFolder");
    bool made = false;
    t.step([&] {
        const QString parent = selectedPath();
        if (parent.isEmpty())
            return;
        const QString base = moreTexts(m_language).newFolderName;
        QString name = base;
        for (int n = 2; QFileInfo::exists(QDir(parent).filePath(name)); ++n)
            name = QStringLiteral("%1 (%2)").arg(base).arg(n);
        const QModelIndex folder = m_model->mkdir(m_model->index(parent), name);
        if (!folder.isValid()) {
            const QString text = moreTexts(m_language).newFolderFailed.arg(QDir::toNativeSeparators(parent));
            MessageBoxPrompt own;
            (m_prompt ? *m_prompt : static_cast<PromptService &>(own))
                .msgBox(text, mb::Exclamation | mb::OKOnly, windowTitle());
            return;
        }
        m_followSelection = true;
        m_keep = m_model->filePath(folder);
        m_tree->setCurrentIndex(folder);
        m_tree->scrollTo(folder);
        m_tree->edit(folder);
        m_naming = m_keep;
        made = true;
    });
    return made;
}

void FolderDialog::showEvent(QShowEvent *event)
{
    fitScreen();
    QDialog::showEvent(event);
    // Only now has the tree its size: the selection is scrolled into view.
    if (m_tree->currentIndex().isValid())
        m_tree->scrollTo(m_tree->currentIndex(), QAbstractItemView::PositionAtCenter);
}

void FolderDialog::keyPressEvent(QKeyEvent *event)
{
    // Enter that ends the naming of a folder is passed on by the name's editor,
    // and by the tree too once it has laid out its rows anew (a folder above it
    // came or went): it must not press OK as well and close the dialog.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget *const editor = focusWidget();
    if (enter && editor && m_tree->viewport()->isAncestorOf(editor)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool FolderDialog::eventFilter(QObject *watched, QEvent *event)
{
    // The path is shortened to the width the line has now, not the one it
    // had before the dialog was laid out.
    if (watched == m_status && event->type() == QEvent::Resize)
        showStatus();
    if (watched == m_tree && event->type() == QEvent::KeyPress)
        m_keep.clear();  // the user moves on
    return QDialog::eventFilter(watched, event);
}

void FolderDialog::showStatus()
{
    const QString prefix = QStringLiteral("Auswahl: ");
    const QString path = selectedPath();
    if (path.isEmpty()) {
        m_status->setText(QString());
        return;
    }
    const QFontMetrics fm(m_status->font());
    const int room = m_status->contentsRect().width() - fm.horizontalAdvance(prefix);
    m_status->setText(prefix + fm.elidedText(path, Qt::ElideMiddle, std::max(room, 0)));
}

void FolderDialog::CallbackString()
{
    TraceScope t("modBrowseFolders", "Function CallbackString");
    t.step([&] {
        if (m_statusText)
            showStatus();
    });
}

QString BrowseForFolder(QString &sTitle, const QString &sStartPath, QWidget *hWndOwner, bool bStatusText,
                        const QString &vRootPath, bool, bool, const QString &language)
{
    TraceScope t("modBrowseFolders", "Function BrowseForFolder");
    QString result;
    t.step([&] {
        if (sTitle == QLatin1String("$") && bStatusText)
            sTitle.clear();
        FolderDialog dialog(hWndOwner, sTitle, bStatusText, language);
        dialog.setPrompt(g_prompt);
        if (!vRootPath.isEmpty())
            dialog.selectPath(vRootPath);
        dialog.selectPath(sStartPath);
        int answer;
        if (g_hook) {
            g_hook(dialog);
            answer = dialog.result();
        } else {
            answer = dialog.exec();
        }
        if (answer == QDialog::Accepted)
            result = dialog.selectedPath();
    });
    return result;
}

QString FolderDialogBrowser::BrowseForFolder(QWidget *owner, const QString &title, const QString &startPath)
{
    QString t = title;
    g_prompt = m_prompt;
    const QString chosen = fetchora::BrowseForFolder(t, startPath, owner, true, QString(), true, false, m_language);
    g_prompt = nullptr;
    return chosen;
}

}  // namespace fetchora
