#include "startup/modGlobal.h"

#include "startup/FileSystem.h"
#include "startup/RegistryStore.h"
#include "startup/modText.h"
#include "trace/modTraceLITE.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace fetchora {

QString strINIFile;
QString strLanguage;
std::unique_ptr<FileSystem> objFSO;

namespace {
QString g_appFolder;
RegistryStore *g_registry = nullptr;
}  // namespace

QString chooseAppFolder(const QString &executableFolder, bool executableFolderWritable, bool installed,
                        const QString &perUserFolder)
{
    const bool own = executableFolderWritable && !installed;
    QString folder = own || perUserFolder.isEmpty() ? executableFolder : perUserFolder;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString installedDataFolder(const QString &executableFolder)
{
    return QDir::cleanPath(executableFolder + QStringLiteral("/../share/fetchora"));
}

namespace {

// Decided once: the answer must not change while the program runs.
QString resolveAppFolder()
{
    const QString exeFolder = QCoreApplication::applicationDirPath();
    const QString shipped = installedDataFolder(exeFolder) + QStringLiteral("/bin/banner.bmp");
    const bool installed = QFileInfo::exists(shipped);
    const QString folder = chooseAppFolder(exeFolder, QFileInfo(exeFolder).isWritable(), installed,
                                           QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    if (folder == exeFolder)
        return folder;
    QDir().mkpath(folder);
    // The banner comes with the package; give the per-user folder a copy.
    const QString banner = folder + QStringLiteral("/bin/banner.bmp");
    if (installed && !QFileInfo::exists(banner)) {
        QDir().mkpath(folder + QStringLiteral("/bin"));
        QFile::copy(shipped, banner);
    }
    return folder;
}

}  // namespace

QString appFolder()
{
    if (!g_appFolder.isEmpty())
        return g_appFolder;
    if (!QCoreApplication::instance())
        return QDir::currentPath();
    static const QString resolved = resolveAppFolder();
    return resolved;
}

void setAppFolder(const QString &folder)
{
    g_appFolder = folder;
}

RegistryStore &registry()
{
    static NativeRegistryStore native;
    return g_registry ? *g_registry : native;
}

void setRegistry(RegistryStore *store)
{
    g_registry = store;
}

void SetLanguage()
{
    TraceScope t("modGlobal", "Sub SetLanguage");
    t.step([] {
        if (interfaceLanguage() == Language::English)
            InitEnglishLabels();
        else
            InitGermanLabels();
        setTraceLanguage(interfaceLanguage());
        if (objFSO)
            objFSO->setLanguage(interfaceLanguage());
        applyToolkitLanguage(strLanguage);
    });
}

Language interfaceLanguage()
{
    return languageNamed(strLanguage);
}

}  // namespace fetchora
