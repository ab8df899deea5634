#pragma once
// main() for the suites that show windows: as the core one, with a QApplication.

#include "support/QtTestMain.h"

#include <QApplication>

#define FETCHORA_QT_TEST_MAIN(viewerName) FETCHORA_TEST_MAIN_WITH(QApplication, viewerName)
