#pragma once
// The program's start: prepares the application-wide values and shows the
// main window, whose loading runs inside this call.

#include "mainwindow/MainWindow.h"

#include <memory>

namespace fetchora {

// The one main window, created by showMainWindow.
extern std::unique_ptr<MainWindow> g_frmMain;

void showMainWindow(MainWindowSeams seams);

// The whole run of the window, from a locked profile on, until it has unloaded.
int runWindow(std::shared_ptr<Profile> profile, PromptService &prompt);

}  // namespace fetchora
