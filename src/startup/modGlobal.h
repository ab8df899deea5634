#pragma once
// Application-wide values every module relies on. They live for the whole
// process and are set by Sub Main before any window exists.

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
QString appFolder();
// Tests point the application folder somewhere else.
void setAppFolder(const QString &folder);

// The per-user store for the values other programs read.
RegistryStore &registry();
void setRegistry(RegistryStore *store);  // nullptr restores the native store

// Refills the interface texts for strLanguage: exactly "English" gives the
// English texts, anything else the German ones.
void SetLanguage();

}  // namespace fetchora
