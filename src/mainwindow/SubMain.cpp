#include "mainwindow/SubMain.h"

#include "startup/FileSystem.h"
#include "startup/PrivateFiles.h"
#include "startup/RegistryStore.h"
#include "startup/modGlobal.h"
#include "startup/modINIHandler.h"
#include "trace/modTraceLITE.h"

namespace fetchora {

std::unique_ptr<frmMain> g_frmMain;

void SubMain(MainWindowSeams seams)
{
    TraceScope t("modGlobal", "Sub Main");
    // Qt's widgets need no common-controls initialisation; the QApplication
    // that main() creates before this call plays that part.
    t.step([] { registry().SaveSetting("Fetchora", "Options", "BGColor", "&H8000000F"); });
    t.step([] { strINIFile = appFolder() + QStringLiteral("/fcr.ini"); });
    // The settings hold passwords and the downloads may be anybody's
    // business: what an older version left open to other users is closed
    // before anything is read or written, and tmp/ is made private.
    t.step([&] {
        for (const char *name : kPrivateAppFiles) {
            if (const auto was = closeToOthers(appFolder() + u'/' + QLatin1String(name)))
                TraceNote(t.module(), t.procedure(),
                          QStringLiteral("%1 was open to other users (%2): now only its owner's (%3)")
                              .arg(QLatin1String(name), QString::number(*was, 8).rightJustified(4, u'0'),
                                   QString::number(*was & 0700, 8).rightJustified(4, u'0')));
        }
        makePrivateFolder(appFolder() + QStringLiteral("/tmp"));
    });
    t.step([] { strLanguage = GetINIString("Global", "Language", "Deutsch", 256); });
    t.step([] { objFSO = std::make_unique<FileSystem>(interfaceLanguage()); });
    t.step([&] {
        g_frmMain = std::make_unique<frmMain>(std::move(seams));
        g_frmMain->Show();
    });
}

}  // namespace fetchora
