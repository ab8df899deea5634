#pragma once
// Puts the program's globals into a fresh temporary application folder for
// one test: fcr.ini, tmp/ and the registry values all stay inside it, and the
// error report answers through a ScriptedPrompt.

#include "support/RecordingRegistry.h"
#include "support/ScriptedPrompt.h"

#include <QString>
#include <QTemporaryDir>

namespace fetchora::testing {

class AppSandbox {
public:
    // language: the value strLanguage starts with (as read by Sub Main).
    explicit AppSandbox(const QString &language = QStringLiteral("English"));
    ~AppSandbox();
    AppSandbox(const AppSandbox &) = delete;
    AppSandbox &operator=(const AppSandbox &) = delete;

    QString folder() const { return m_dir.path(); }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    // Writes fcr.ini with the given text.
    void writeIni(const QByteArray &content) const;
    QByteArray readIni() const;
    // Creates a folder inside the sandbox and returns its path.
    QString makeFolder(const QString &relative) const;

    ScriptedPrompt prompt;        // message boxes of the windows
    ScriptedPrompt errorPrompt;   // the "Unexpected Error" boxes
    RecordingRegistry registry;

private:
    QTemporaryDir m_dir;
};

}  // namespace fetchora::testing
