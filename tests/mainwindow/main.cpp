#include "support/QtTestMain.h"

FETCHORA_QT_TEST_MAIN("fetchora-mainwindow-tests-no-viewer")
