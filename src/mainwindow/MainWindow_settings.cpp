#include "mainwindow/MainWindow.h"

#include "settingsdialog/SettingsDialog.h"
#include "core/Conversions.h"
#include "core/IniFile.h"
#include "core/Trace.h"

#include <memory>

namespace fetchora {

void MainWindow::cmdSettings_Click()
{
    TraceScope t("frmMain", "Sub cmdSettings_Click");
    std::unique_ptr<SettingsDialog> dialog;
    t.step([&] {
        if (m_seams.showSettings) {
            m_seams.showSettings();
            return;
        }
        dialog = std::make_unique<SettingsDialog>(*this, this);
        dialog->Form_Load();
        dialog->exec();
    });
    // Every open starts again from the file: nothing of this one survives.
    t.step([&] { dialog.reset(); });
    // The only option the window keeps in memory; the others are read where used.
    t.step([&] {
        m_cycle->setCompress(
            CBool(GetINIString(QStringLiteral("Options"), QStringLiteral("Compress"), QStringLiteral("0"), 256)));
    });
}

}  // namespace fetchora
