#pragma once
// The folder dialog of the program: a folder tree with the title above it
// and a status line "Auswahl: <selected path, shortened in the middle>".
// OK takes a selected folder only; it stays disabled until there is one.
// "New folder" makes a folder in the selected one and lets the user name
// it: Enter gives it the name typed, Escape takes the folder back. The dialog never grows past 90 % of its screen's height.

#include "widgets/FolderBrowser.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QTreeView;
class QFileSystemModel;

namespace fetchora {

class PromptService;

class FolderDialog : public QDialog {
    Q_OBJECT
public:
    // `language`: the interface language's name, for the dialog's own words.
    FolderDialog(QWidget *owner, const QString &title, bool statusText,
                 const QString &language = QStringLiteral("Deutsch"));

    // Selects the folder and shows it; false when there is no such folder.
    bool selectPath(const QString &path);
    // The selected folder without a trailing separator ("/" stays "/");
    // empty when the selection has no file-system path.
    QString selectedPath() const;
    QString statusText() const;
    QLabel *statusLabel() const { return m_status; }
    // Where the dialog says that a folder could not be made; null: a box of its own.
    void setPrompt(PromptService *prompt) { m_prompt = prompt; }
    // Makes "New folder" (or "New folder (2)", ...) in the selected folder,
    // selects it and opens its name for editing. False when it could not.
    bool newFolder();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Updates the status line on a change of selection.
    void CallbackString();
    // "Auswahl: " and the selected path, shortened to the line's width.
    void showStatus();
    void fitScreen();

    QString m_language;
    QLabel *m_title = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_newFolder = nullptr;
    PromptService *m_prompt = nullptr;
    QLabel *m_status = nullptr;
    QTreeView *m_tree = nullptr;
    bool m_followSelection = true;  // until the user scrolls
    QString m_keep;                 // a folder just made or renamed, until the user picks another
    QString m_naming;               // a folder just made, while its name is open for editing
    QFileSystemModel *m_model = nullptr;
    bool m_statusText = true;
};

QString BrowseForFolder(QString &sTitle, const QString &sStartPath, QWidget *hWndOwner, bool bStatusText,
                        const QString &vRootPath = {}, bool bNewStyle = true, bool bIncludeFiles = false,
                        const QString &language = QStringLiteral("Deutsch"));

// Tests answer the dialog here instead of a person: the hook gets the open
// dialog and must accept() or reject() it.
void setFolderDialogHook(std::function<void(FolderDialog &)> hook);

class FolderDialogBrowser final : public FolderBrowser {
public:
    explicit FolderDialogBrowser(PromptService *prompt = nullptr, QString language = QStringLiteral("Deutsch"))
        : m_prompt(prompt), m_language(std::move(language))
    {
    }
    QString BrowseForFolder(QWidget *owner, const QString &title, const QString &startPath) override;

private:
    PromptService *m_prompt;
    QString m_language;
};

}  // namespace fetchora
