#pragma once
// main() for test binaries that need a QApplication: headless whatever the
// environment (test discovery runs the binary without CTest's settings), and
// with no trace viewer that a developer may have open.

#include "trace/modTraceLITE.h"

#include <QApplication>
#include <gtest/gtest.h>

#define FETCHORA_QT_TEST_MAIN(viewerName)                                                                              \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                                   \
        /* Tests talk only to servers they start on 127.0.0.1. */                                                      \
        for (const char *v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})     \
            qunsetenv(v);                                                                                              \
        QApplication app(argc, argv);                                                                                  \
        ::testing::InitGoogleTest(&argc, argv);                                                                        \
        fetchora::tracetest::setViewerName(QStringLiteral(viewerName));                                                \
        return RUN_ALL_TESTS();                                                                                        \
    }
