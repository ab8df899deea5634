#pragma once
// The program's start: prepares the application-wide values and shows the
// main window, whose loading runs inside this call.

#include "mainwindow/frmMain.h"

#include <memory>

namespace fetchora {

// The one main window, created by SubMain.
extern std::unique_ptr<frmMain> g_frmMain;

void SubMain(MainWindowSeams seams);

}  // namespace fetchora
