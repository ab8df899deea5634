#pragma once
// Application-wide values every module relies on. They live for the whole
// process and are set by Sub Main before any window exists.

#include "core/RuntimeError.h"

#include <QString>
#include <memory>

namespace fetchora {

class FileSystem;
class RegistryStore;
class PromptService;

extern QString strINIFile;   // <application folder>/fcr.ini
extern QString strLanguage;  // "Deutsch" or "English" (taken as read)
extern std::unique_ptr<FileSystem> objFSO;

// The folder of the executable: fcr.ini, tmp/ and bin/banner.bmp live here.
// Installed system-wide the executable's folder is not ours to write, so
// the program then keeps them in a per-user data folder instead.
QString appFolder();

// The choice behind appFolder(), apart from the file system so it can be
// checked: the executable's folder when it can be written and is not an
// installed package's bin folder (which even root should not write into),
// else the per-user folder. Never ends in a separator (except the root).
QString chooseAppFolder(const QString &executableFolder, bool executableFolderWritable, bool installed,
                        const QString &perUserFolder);

// Where the installed package keeps its read-only files (the banner), for a
// program in <prefix>/bin: <prefix>/share/fetchora.
QString installedDataFolder(const QString &executableFolder);
// Tests point the application folder somewhere else.
void setAppFolder(const QString &folder);
// A folder the user named (--config) as the application folder; an
// installed program gives it a copy of the banner as it does its own.
void useAppFolder(const QString &folder);

// What an older version left open to other users in the application folder
// is closed (noted in the trace of that procedure), and tmp/ is made private.
void makeAppFilesPrivate(const QString &module, const QString &procedure);

// The per-user store for the values other programs read.
RegistryStore &registry();
void setRegistry(RegistryStore *store);  // nullptr restores the native store

// Refills the interface texts for strLanguage: exactly "English" gives the
// English texts, anything else the German ones.
void SetLanguage();

// strLanguage as a value to hand to work off the UI thread. UI thread only.
Language interfaceLanguage();

}  // namespace fetchora
