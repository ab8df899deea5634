#include "mainwindow/MainWindow.h"

#include "settingsdialog/SettingsDialog.h"
#include "core/Conversions.h"
#include "core/Profile.h"
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
        dialog = std::make_unique<SettingsDialog>(*this, m_profile, this);
        dialog->Form_Load();
        dialog->exec();
    });
    // Every open starts again from the file: nothing of this one survives.
    t.step([&] { dialog.reset(); });
    // The only option the window keeps in memory; the others are read where used.
    m_cycle->setCompress(m_profile.settings().flag(t, Setting::Compress));
}

}  // namespace fetchora
