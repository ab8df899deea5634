#include "support/QtTestMain.h"

FETCHORA_QT_TEST_MAIN("fetchora-download-tests-no-viewer")
