#include "mainwindow/WindowStartup.h"

#include "core/FileSystem.h"
#include "core/RegistryStore.h"
#include "core/Profile.h"
#include "core/IniFile.h"
#include "core/Trace.h"

namespace fetchora {

std::unique_ptr<MainWindow> g_frmMain;

void showMainWindow(MainWindowSeams seams)
{
    TraceScope t("modGlobal", "Sub Main");
    // Qt's widgets need no common-controls initialisation; the QApplication
    // that main() creates before this call plays that part.
    t.step([] { registry().SaveSetting("Fetchora", "Options", "BGColor", "&H8000000F"); });
    t.step([] { strINIFile = appFolder() + QStringLiteral("/fcr.ini"); });
    // The settings hold passwords and the downloads may be anybody's
    // business: what an older version left open to other users is closed
    // before anything is read or written, and tmp/ is made private.
    t.step([&] { makeAppFilesPrivate(t.module(), t.procedure()); });
    t.step([] { strLanguage = GetINIString("Global", "Language", "Deutsch", 256); });
    t.step([] { objFSO = std::make_unique<FileSystem>(interfaceLanguage()); });
    t.step([&] {
        g_frmMain = std::make_unique<MainWindow>(std::move(seams));
        g_frmMain->Show();
    });
}

}  // namespace fetchora
