#pragma once
// What the program asks of the system about processes.

#include <QtGlobal>

namespace fetchora {

// True while a process of that id exists (of any user).
bool processAlive(qint64 pid);

}  // namespace fetchora
