#pragma once
// main() for the test binaries: headless even when test discovery runs them without CTest's settings, and with no trace
// viewer a developer may have open.

#include "trace/Tracewright.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#define FETCHORA_TEST_MAIN_WITH(App, viewerName)                                                                       \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                                   \
        /* Tests talk only to servers they start on 127.0.0.1. */                                                      \
        for (const char *v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})     \
            qunsetenv(v);                                                                                              \
        /* No notices on the desktop of whoever runs them. */                                                          \
        qputenv("DBUS_SESSION_BUS_ADDRESS", "");                                                                       \
        /* The machine's own zone, named: unnamed, the C library reads its file again at every conversion of a time. */ \
        if (!qEnvironmentVariableIsSet("TZ"))                                                                          \
            qputenv("TZ", ":/etc/localtime");                                                                          \
        App app(argc, argv);                                                                                           \
        ::testing::InitGoogleTest(&argc, argv);                                                                        \
        fetchora::installTracewright();                                                                                \
        fetchora::tracetest::setViewerName(QStringLiteral(viewerName));                                                \
        return RUN_ALL_TESTS();                                                                                        \
    }

#define FETCHORA_CORE_TEST_MAIN(viewerName) FETCHORA_TEST_MAIN_WITH(QCoreApplication, viewerName)
