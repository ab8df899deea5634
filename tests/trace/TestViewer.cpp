#include "TestViewer.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

namespace fetchora::testing {

namespace {
constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 5000;
}  // namespace

class TestViewer::Thread : public QThread {
public:
    Thread(QString name, Mode mode) : m_name(std::move(name)), m_mode(mode) {}

    bool waitUntilListening()
    {
        QMutexLocker lock(&m_mutex);
        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (!m_ready) {
            if (!m_readyChanged.wait(&m_mutex, deadline))
                return false;
        }
        return m_listening;
    }

    QList<QByteArray> lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

    int connections() const { return m_connections.loadRelaxed(); }

protected:
    void run() override
    {
        QLocalServer server;
        QLocalServer::removeServer(m_name);
        const bool ok = server.listen(m_name);
        {
            QMutexLocker lock(&m_mutex);
            m_listening = ok;
            m_ready = true;
            m_readyChanged.wakeAll();
        }
        if (!ok)
            return;

        QHash<QLocalSocket *, QByteArray> pending;
        QObject::connect(&server, &QLocalServer::newConnection, [&] {
            while (QLocalSocket *client = server.nextPendingConnection()) {
                m_connections.fetchAndAddRelaxed(1);
                QObject::connect(client, &QLocalSocket::readyRead, [&, client] {
                    QByteArray &buffer = pending[client];
                    buffer += client->readAll();
                    qsizetype end;
                    while ((end = buffer.indexOf("\r\n")) >= 0) {
                        {
                            // Recorded before the acknowledgement, so the line is
                            // visible to the test once the traced call returns.
                            QMutexLocker lock(&m_mutex);
                            m_lines.append(buffer.left(end + 2));
                        }
                        buffer.remove(0, end + 2);
                        if (m_mode == Mode::Acknowledge)
                            client->write("+", 1);
                    }
                    client->flush();
                });
            }
        });
        exec();
        // The accepted sockets are children of the server and go with it, on
        // this thread, which closes the traced program's end.
        server.close();
    }

private:
    const QString m_name;
    const Mode m_mode;
    mutable QMutex m_mutex;
    QWaitCondition m_readyChanged;
    bool m_ready = false;
    bool m_listening = false;
    QList<QByteArray> m_lines;
    QAtomicInt m_connections{0};
};

TestViewer::TestViewer(const QString &name, Mode mode) : m_name(name), m_thread(std::make_unique<Thread>(name, mode))
{
    m_thread->start();
    m_thread->waitUntilListening();
}

TestViewer::~TestViewer()
{
    stop();
}

bool TestViewer::listening() const
{
    return m_thread->isRunning() && m_thread->waitUntilListening();
}

QList<QByteArray> TestViewer::lines() const
{
    return m_thread->lines();
}

int TestViewer::connections() const
{
    return m_thread->connections();
}

void TestViewer::stop()
{
    if (!m_thread->isRunning())
        return;
    m_thread->quit();
    if (!m_thread->wait(kStopTimeoutMs)) {
        // A server thread that does not end would keep the test binary alive.
        m_thread->terminate();
        m_thread->wait(kStopTimeoutMs);
    }
}

QString TestViewer::uniqueName()
{
    static QAtomicInt counter{0};
    return QStringLiteral("fetchora-trace-test-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(counter.fetchAndAddRelaxed(1) + 1);
}

}  // namespace fetchora::testing
