#pragma once
// The profile: what one run of the program works on, built once in main()
// from the command line and handed to the window, the settings dialog, the
// service and the cycle. A profile is an application folder: fcr.ini,
// tmp/, history.log, the manifest and the lock live there.

#include "core/Clock.h"
#include "core/FileSystem.h"
#include "core/RuntimeError.h"
#include "core/Settings.h"
#include "core/Texts.h"

#include <QString>
#include <memory>

namespace fetchora {

class RegistryStore;
class PromptService;
class TraceScope;

class Profile {
public:
    // `clock` null: the system clock. Not owned.
    explicit Profile(QString folder, const Clock *clock = nullptr);
    ~Profile();
    Profile(const Profile &) = delete;
    Profile &operator=(const Profile &) = delete;

    // The application folder; never ends in a separator (except the root).
    const QString &folder() const { return m_folder; }
    QString path(const QString &name) const { return m_folder + u'/' + name; }
    QString tmpFolder() const { return path(QStringLiteral("tmp/")); }
    QString historyPath() const { return path(QStringLiteral("history.log")); }

    const Settings &settings() const { return m_settings; }

    // The interface language as the settings name it ("Deutsch", "English";
    // taken as read) and what it means.
    const QString &languageName() const { return m_languageName; }
    Language language() const { return languageNamed(m_languageName); }
    // Reads the language from the settings file.
    void readLanguage();
    // The front end with no window: with no Language= key it speaks the
    // locale's language (the window keeps German), and its texts name the
    // settings keys and fcr.ini where the window's speak of its fields.
    void setService(bool service) { m_service = service; }
    // A new choice (the settings dialog while the user picks one).
    void setLanguageName(const QString &name);

    // The interface texts of the language, as SetLanguage last filled them.
    const Texts &texts() const { return m_texts; }

    FileSystem &files() const { return *m_files; }
    const Clock &clock() const { return *m_clock; }

private:
    QString m_folder;
    Settings m_settings;
    QString m_languageName;
    bool m_service = false;
    Texts m_texts;
    friend void SetLanguage(Profile &profile);
    std::unique_ptr<FileSystem> m_files;
    const Clock *m_clock;
};


// The language the settings name ("Deutsch" when none), read without trace
// lines; for the service with no Language= key, the locale's.
QString languageSetting(const Settings &settings, bool service);
// The locale's language: of LC_ALL, LC_MESSAGES and LANG the first that is
// set, "Deutsch" when it is German (de…), "English" otherwise (C, POSIX, none).
QString localeLanguageName();

// The application folder of a profile the command line does not name: the
// executable's folder (fcr.ini, tmp/ and bin/banner.bmp beside the program).
// Installed system-wide the executable's folder is not ours to write, so
// the program then keeps them in a per-user data folder instead.
QString defaultAppFolder();

// The choice behind defaultAppFolder(), apart from the file system so it can be
// checked: the executable's folder when it can be written and is not an
// installed package's bin folder (which even root should not write into),
// else the per-user folder. Never ends in a separator (except the root).
QString chooseAppFolder(const QString &executableFolder, bool executableFolderWritable, bool installed,
                        const QString &perUserFolder);

// Where the installed package keeps its read-only files (the banner), for a
// program in <prefix>/bin: <prefix>/share/fetchora.
QString installedDataFolder(const QString &executableFolder);
// The banner comes with the package; a folder the user named (--config)
// gets a copy of it, as the per-user folder does.
void provideBanner(const QString &folder);

// What an older version left open to other users in the application folder
// is closed (noted in the trace of that procedure), and tmp/ is made private.
void makeAppFilesPrivate(const QString &folder, const QString &module, const QString &procedure);

// What every run does with its profile before its front end starts, as steps
// of the front end's start-up procedure `t`: the application folder's files
// are made private, and the language is read.
void openProfile(TraceScope &t, Profile &profile);

// The per-user store for the values other programs read.
RegistryStore &registry();
void setRegistry(RegistryStore *store);  // nullptr restores the native store

// Refills the interface texts for the profile's language: exactly "English"
// gives the English texts, anything else the German ones. The trace's error
// texts and Qt's own follow.
void SetLanguage(Profile &profile);

}  // namespace fetchora
