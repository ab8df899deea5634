#pragma once
// A small HTTP/1.1 server for tests, listening on 127.0.0.1 only, with the
// faults a real server or network produces on demand. It runs on its own
// threads so the code under test can block on it; every wait inside it is
// bounded and ends when the server is destroyed.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fetchora::testing {

// The byte at offset i of every generated body; the same for any chunking,
// so a stored file can be checked without keeping the body.
char bodyByte(qint64 i, int salt = 0);
// True when the file holds exactly the generated body of `size` bytes.
bool fileHoldsBody(const QString &path, qint64 size, int salt = 0);

struct Reply {
    enum class Fault {
        None,
        CloseAtOnce,        // accept, read the request, close without a byte
        StallBeforeHeaders, // accept, never answer
        StallAfter,         // headers and faultAt bytes, then silence
        CutShortAfter,      // headers and faultAt bytes, then close
    };

    int status = 200;
    QByteArray reason = "OK";
    qint64 size = 0;            // generated body of this many bytes ...
    QByteArray body;            // ... unless a literal body is given
    bool sendLength = true;     // Content-Length header (else close-delimited)
    QByteArray etag;            // sent when not empty
    QByteArray lastModified;    // sent when not empty
    QByteArray location;        // sent when not empty (redirects)
    int salt = 0;               // changes the generated content
    Fault fault = Fault::None;
    qint64 faultAt = 0;
    int dripDelayMs = 0;        // pause between chunks of dripChunk bytes
    qint64 dripChunk = 1024;

    static Reply ok(qint64 size) { Reply r; r.size = size; return r; }
    static Reply status_(int code, const QByteArray &reason, const QByteArray &body = "error page")
    {
        Reply r;
        r.status = code;
        r.reason = reason;
        r.body = body;
        return r;
    }
    static Reply redirect(const QByteArray &to)
    {
        Reply r;
        r.status = 302;
        r.reason = "Found";
        r.location = to;
        r.body = "moved";
        return r;
    }
};

class TestHttpServer {
public:
    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer &) = delete;
    TestHttpServer &operator=(const TestHttpServer &) = delete;

    bool listening() const { return m_listenFd >= 0; }
    quint16 port() const { return m_port; }
    // http://127.0.0.1:<port><path>
    QString url(const QString &path) const;

    // Unknown paths answer 404.
    void route(const QByteArray &path, const Reply &reply);
    int hits(const QByteArray &path) const;
    // Connections currently being served (a stalled one stays open).
    int openConnections() const { return m_open.load(); }

    // A port on 127.0.0.1 on which nothing listens (bound, then closed).
    static quint16 unusedPort();

private:
    void acceptLoop();
    void serve(int fd);
    bool sendAll(int fd, const char *data, qint64 size);
    bool waitOrStop(int ms);

    int m_listenFd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_open{0};
    mutable std::mutex m_lock;
    std::map<QByteArray, Reply> m_routes;
    std::map<QByteArray, int> m_hits;
    struct Connection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Connection> m_connections;
    std::thread m_acceptor;
};

}  // namespace fetchora::testing
