#pragma once
// The program's start: prepares the application-wide values and shows the
// main window, whose loading runs inside this call.

#include "mainwindow/MainWindow.h"

#include <memory>

namespace fetchora {

// The start-up procedure of the window: the profile is opened, and the main
// window made, loaded and shown. Null when the window could not be made.
std::unique_ptr<MainWindow> showMainWindow(MainWindowSeams seams);

// The whole run of the window, from a locked profile on, until it has unloaded.
int runWindow(std::shared_ptr<Profile> profile, PromptService &prompt);

}  // namespace fetchora
