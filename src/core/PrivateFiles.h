#pragma once
// Files only their owner may read or write: the settings (the URL with its
// credentials, the ZIP password), the history, the downloads in tmp/. They
// are made 0600 (folders 0700) whatever the process's umask, which a
// desktop session usually leaves open to every local user.

#include <QFile>
#include <QString>

#include <optional>

namespace fetchora {

inline constexpr unsigned kPrivateFileMode = 0600;
inline constexpr unsigned kPrivateFolderMode = 0700;

// What of the application folder is private, by name.
inline const char *const kPrivateAppFiles[] = {"fcr.ini", "history.log", "history.log.1", "tmp"};

// Creates an empty 0600 file where none is; false when one is already there
// or it cannot be made.
bool createPrivateFile(const QString &path);

// Makes an open file 0600 (a QSaveFile before its commit, for one).
bool makePrivate(QFileDevice &file);

// Creates the folder (and its missing parents) 0700; true when it is a folder
// afterwards. A folder already there is left as it is.
bool makePrivateFolder(const QString &path);

// Takes the rights of group and others off a file or folder that has any.
// The mode it had when that changed it; none when it was private already,
// is missing, or could not be changed.
std::optional<unsigned> closeToOthers(const QString &path);

}  // namespace fetchora
