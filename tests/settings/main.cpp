#include "support/QtTestMain.h"

FETCHORA_QT_TEST_MAIN("fetchora-settings-tests-no-viewer")
