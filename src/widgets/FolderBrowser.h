#pragma once
// Picking a folder in a dialog. The main window asks through this interface
// so tests can drive the choice.

#include <QString>

class QWidget;

namespace fetchora {

class FolderBrowser {
public:
    virtual ~FolderBrowser() = default;
    // Shows the folder dialog titled `title`, opened on `startPath` when that
    // folder exists. Returns the chosen folder without a trailing separator
    // (except for the root), or an empty text when the user cancelled.
    virtual QString BrowseForFolder(QWidget *owner, const QString &title, const QString &startPath) = 0;
};

}  // namespace fetchora
