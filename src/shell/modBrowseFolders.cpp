#include "shell/modBrowseFolders.h"

#include "trace/modTraceLITE.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

namespace fetchora {

namespace {
std::function<void(FolderDialog &)> g_hook;

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

FolderDialog::FolderDialog(QWidget *owner, const QString &title, bool statusText)
    : QDialog(owner), m_statusText(statusText)
{
    setWindowTitle(title);
    resize(360, 420);
    m_title = new QLabel(title, this);
    m_title->setWordWrap(true);
    m_status = new QLabel(this);
    m_status->setVisible(statusText);
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QStringLiteral("/"));
    m_tree = new QTreeView(this);
    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIndex(m_model->index(QString()));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { CallbackString(); });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_status);
    layout->addWidget(m_tree, 1);
    layout->addWidget(buttons);
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
    m_tree->scrollTo(index);
    CallbackString();
    return true;
}

QString FolderDialog::selectedPath() const
{
    const QModelIndex index = m_tree->currentIndex();
    if (!index.isValid())
        return {};
    const QString path = m_model->filePath(index);
    return path.isEmpty() ? QString() : withoutTrailingSeparator(path);
}

QString FolderDialog::statusText() const
{
    return m_status->text();
}

void FolderDialog::CallbackString()
{
    TraceScope t("modBrowseFolders", "Function CallbackString");
    t.step([&] {
        if (!m_statusText)
            return;
        const QString prefix = QStringLiteral("Auswahl: ");
        const QString path = selectedPath();
        if (path.isEmpty()) {
            m_status->setText(prefix);
            return;
        }
        const QFontMetrics fm(m_status->font());
        const int room = std::max(40, m_status->width() - fm.horizontalAdvance(prefix) - 4);
        m_status->setText(prefix + fm.elidedText(path, Qt::ElideMiddle, room));
    });
}

QString BrowseForFolder(QString &sTitle, const QString &sStartPath, QWidget *hWndOwner, bool bStatusText,
                        const QString &vRootPath, bool, bool)
{
    TraceScope t("modBrowseFolders", "Function BrowseForFolder");
    QString result;
    t.step([&] {
        if (sTitle == QLatin1String("$") && bStatusText)
            sTitle.clear();
        FolderDialog dialog(hWndOwner, sTitle, bStatusText);
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
    return fetchora::BrowseForFolder(t, startPath, owner, true, QString(), true, false);
}

}  // namespace fetchora
