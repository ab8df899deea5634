#include "support/UiTestMain.h"

FETCHORA_QT_TEST_MAIN("FetchoraWindowTestsNoViewer")
