#pragma once
// Puts the trace module back to the state of a freshly started process for
// each test, with a viewer name of the test's own and a recorded error box.

#include "TestViewer.h"
#include "support/ScriptedPrompt.h"
#include "trace/modTraceLITE.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace fetchora::testing {

class TraceFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        tracetest::reset();
        tracetest::setDecimalSeparator(QLatin1Char('.'));
        // Nobody listens here unless the test starts a viewer under this name.
        tracetest::setViewerName(TestViewer::uniqueName());
        setTracePrompt(&prompt);
    }

    void TearDown() override
    {
        tracetest::reset();
        tracetest::setDecimalSeparator(QChar());
        tracetest::setViewerName(QStringLiteral("fetchora-trace-tests-no-viewer"));
        setTracePrompt(nullptr);
    }

    // Starts a viewer that the next first traced call will find.
    TestViewer &startViewer(TestViewer::Mode mode = TestViewer::Mode::Acknowledge)
    {
        const QString name = TestViewer::uniqueName();
        viewer = std::make_unique<TestViewer>(name, mode);
        EXPECT_TRUE(viewer->listening()) << name.toStdString();
        tracetest::setViewerName(name);
        return *viewer;
    }

    static QString exePath() { return QCoreApplication::applicationFilePath(); }
    static QString exeName() { return QFileInfo(exePath()).completeBaseName(); }

    // The received lines as text, without the START line, with the elapsed
    // field masked as "#####.###" when (and only when) it has the right shape.
    QStringList traceLines() const
    {
        QStringList out;
        for (const QByteArray &raw : viewer->lines()) {
            const QString line = QString::fromUtf8(raw);
            if (line.contains(QLatin1String(" START TRACEWRIGHT ")))
                continue;
            out << masked(line);
        }
        return out;
    }

    static QString masked(QString line)
    {
        static const QRegularExpression elapsed(QStringLiteral(R"(^(\[[^\]]*\] \[\d+\] \[)\d{5,}\.\d{3}\] )"));
        line.replace(elapsed, QStringLiteral("\\1#####.###] "));
        return line;
    }

    // "[exe] [seq] [#####.###] ->" and so on, for the expected lines.
    QString head(int seq, const char *arrow) const
    {
        return QStringLiteral("[%1] [%2] [#####.###] %3")
            .arg(exeName())
            .arg(seq, 5, 10, QLatin1Char('0'))
            .arg(QLatin1String(arrow));
    }

    ScriptedPrompt prompt;
    std::unique_ptr<TestViewer> viewer;
};

}  // namespace fetchora::testing
