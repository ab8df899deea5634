#pragma once
// A profile in a fresh temporary application folder for one test: fcr.ini, tmp/ and the registry values
// stay inside it, and the error report answers through a ScriptedPrompt.

#include "core/FileSystem.h"
#include "core/RegistryStore.h"
#include "core/Profile.h"
#include "support/ScriptedPrompt.h"
#include "support/TestFiles.h"
#include "core/Trace.h"

#include <QSettings>
#include <QTemporaryDir>

namespace fetchora::testing {

class AppSandbox {
public:
    explicit AppSandbox(const QString &language = QStringLiteral("English"))
    {
        profile = std::make_shared<Profile>(folder());
        profile->setLanguageName(language);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder());
        setRegistry(&registry);
        setTracePrompt(&errorPrompt);
        SetLanguage(*profile);
    }
    ~AppSandbox()
    {
        setTracePrompt(nullptr);
        setRegistry(nullptr);
    }

    QString folder() const { return m_dir.path(); }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    const IniFile &ini() const { return profile->settings().file(); }
    void writeIni(const QByteArray &content) const { writeFile(ini().path(), content); }
    QByteArray readIni() const { return readAll(ini().path()); }
    QString makeFolder(const QString &relative) const
    {
        QDir(folder()).mkpath(relative);
        return path(relative);
    }

    std::shared_ptr<Profile> profile;  // of this folder
    ScriptedPrompt prompt;             // message boxes of the windows
    ScriptedPrompt errorPrompt;  // the "Unexpected Error" boxes
    NativeRegistryStore registry;
    QString registryValue(const QString &key) const
    {
        return QSettings(path("Fetchora/Fetchora.conf"), QSettings::IniFormat).value("Options/" + key).toString();
    }

private:
    QTemporaryDir m_dir;
};

}  // namespace fetchora::testing
