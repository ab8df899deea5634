#include "support/QtTestMain.h"

FETCHORA_QT_TEST_MAIN("fetchora-zip-tests-no-viewer")
