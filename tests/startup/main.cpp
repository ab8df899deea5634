#include "support/ScriptedPrompt.h"
#include "trace/modTraceLITE.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // An unexpected error inside a traced procedure must show up as a recorded
    // box, never as a real dialog, and no viewer may be listening.
    fetchora::testing::ScriptedPrompt prompt;
    fetchora::setTracePrompt(&prompt);
    fetchora::tracetest::setViewerName(QStringLiteral("fetchora-startup-tests-no-viewer"));
    const int rc = RUN_ALL_TESTS();
    fetchora::setTracePrompt(nullptr);
    return rc;
}
