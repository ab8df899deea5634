#include "support/AppSandbox.h"

#include "startup/FileSystem.h"
#include "startup/modGlobal.h"
#include "startup/modText.h"
#include "trace/modTraceLITE.h"

#include <QDir>
#include <QFile>

namespace fetchora::testing {

AppSandbox::AppSandbox(const QString &language)
{
    setAppFolder(m_dir.path());
    strINIFile = m_dir.filePath(QStringLiteral("fcr.ini"));
    strLanguage = language;
    objFSO = std::make_unique<FileSystem>();
    setRegistry(&registry);
    setTracePrompt(&errorPrompt);
    SetLanguage();
}

AppSandbox::~AppSandbox()
{
    setTracePrompt(nullptr);
    setRegistry(nullptr);
    objFSO.reset();
    setAppFolder(QString());
    strINIFile.clear();
}

void AppSandbox::writeIni(const QByteArray &content) const
{
    QFile f(strINIFile);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
}

QByteArray AppSandbox::readIni() const
{
    QFile f(strINIFile);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString AppSandbox::makeFolder(const QString &relative) const
{
    QDir(m_dir.path()).mkpath(relative);
    return m_dir.filePath(relative);
}

}  // namespace fetchora::testing
