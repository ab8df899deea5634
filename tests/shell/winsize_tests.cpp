// The main window's fixed size.

#include "shell/modWinSize.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace fetchora;

namespace {

TEST(WindowSizeLimit, DraggingCannotChangeALimitedWindow)
{
    QWidget w;
    w.resize(402, 257);
    SetMinMax(&w, 410, 284, 410, 284);
    w.resize(800, 100);
    EXPECT_EQ(w.size(), QSize(410, 284));
    UnloadMinMax(&w);
    w.resize(800, 100);
    EXPECT_EQ(w.size(), QSize(800, 100)) << "the earlier constraints are back after unloading";
    EXPECT_EQ(currentMinMax().maxHeight, 284) << "the stored values outlive the unload";
    EXPECT_FALSE(currentMinMax().installed);
}

TEST(WindowSizeLimit, UnloadingAnotherWindowLeavesTheLimitedOneAlone)
{
    QWidget limited, other;
    SetMinMax(&limited, 410, 291, 410, 291);
    UnloadMinMax(&other);
    limited.resize(10, 10);
    EXPECT_EQ(limited.size(), QSize(410, 291));
    UnloadMinMax(&limited);
}

}  // namespace
