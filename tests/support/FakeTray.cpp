// Gives the test support library the meta-object code of FakeTray.
#include "support/FakeTray.h"
