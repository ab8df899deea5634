#pragma once
// The program's start: prepares the application-wide values and shows the
// main window, whose loading runs inside this call.

#include "mainwindow/MainWindow.h"

#include <memory>

namespace fetchora {

// The one main window, created by showMainWindow.
extern std::unique_ptr<MainWindow> g_frmMain;

void showMainWindow(MainWindowSeams seams);

}  // namespace fetchora
