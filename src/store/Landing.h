#pragma once
// Where a download lands before it is stored: the Start procedure's
// preparation of tmp/, one step at a time under the procedure's error trap,
// so a step that fails skips only itself.

#include <QString>
#include <QStringList>

namespace fetchora {

class TraceScope;
class FileSystem;
struct Texts;

struct Landing {
    QString fileName, ext, baseName;  // from the URL's path
    QString tmpFile;                  // in tmp/, no older file of that name left
    QStringList notes;                // what the sweep found and left alone
};

// Why a download cannot begin now: the box's text and the history's (which
// names the folder); both empty when it can.
struct Refusal {
    QString box, detail;
};
Refusal cannotBegin(const Texts &texts, const FileSystem &fs, const QString &saveFolder, const QString &url, const QString &tmpFolder);

// The names the URL gives; tmp/ made (its owner's only); the leftovers of
// ended programs swept (those the journal in the application folder names);
// an old download of the same name gone.
Landing prepareLanding(TraceScope &t, FileSystem &fs, const QString &url, const QString &appFolder,
                       const QString &tmpFolder);

}  // namespace fetchora
