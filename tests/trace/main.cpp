#include "support/QtTestMain.h"

FETCHORA_QT_TEST_MAIN("fetchora-trace-tests-no-viewer")
