#include "startup/modGlobal.h"

#include "startup/FileSystem.h"
#include "startup/RegistryStore.h"
#include "startup/modText.h"
#include "trace/modTraceLITE.h"

#include <QCoreApplication>
#include <QDir>

namespace fetchora {

QString strINIFile;
QString strLanguage;
std::unique_ptr<FileSystem> objFSO;

namespace {
QString g_appFolder;
RegistryStore *g_registry = nullptr;
}  // namespace

QString appFolder()
{
    if (!g_appFolder.isEmpty())
        return g_appFolder;
    // QCoreApplication::applicationDirPath never ends in a separator except
    // for the root, as the folder rule wants.
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
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
        if (strLanguage == QLatin1String("English"))
            InitEnglishLabels();
        else
            InitGermanLabels();
    });
}

}  // namespace fetchora
