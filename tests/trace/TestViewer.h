#pragma once
// A stand-in for the trace viewer: a local server on its own thread that keeps
// every line it receives and acknowledges each one the way the real viewer
// does. The traced program waits for that acknowledgement on the calling
// thread, so the server cannot share the test's thread.

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

namespace fetchora::testing {

class TestViewer {
public:
    enum class Mode {
        Acknowledge,  // answers "+" per line, like the real viewer
        Silent,       // takes the lines but never answers
    };

    explicit TestViewer(const QString &name = uniqueName(), Mode mode = Mode::Acknowledge);
    ~TestViewer();
    TestViewer(const TestViewer &) = delete;
    TestViewer &operator=(const TestViewer &) = delete;

    // False when the server could not listen within a few seconds.
    bool listening() const;
    QString name() const { return m_name; }

    // Every complete line so far, each still ending in CR LF.
    QList<QByteArray> lines() const;
    int connections() const;

    // Closes the server and every connection; waits for its thread (bounded).
    void stop();

    // A socket name no other test run on this machine uses.
    static QString uniqueName();

private:
    class Thread;
    QString m_name;
    std::unique_ptr<Thread> m_thread;
};

}  // namespace fetchora::testing
