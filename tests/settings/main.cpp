#include "trace/modTraceLITE.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // Each test's sandbox answers the error boxes; no viewer may be listening.
    fetchora::tracetest::setViewerName(QStringLiteral("fetchora-settings-tests-no-viewer"));
    return RUN_ALL_TESTS();
}
