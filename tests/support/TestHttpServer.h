#pragma once
// A small HTTP/1.1 server for tests on 127.0.0.1 with the faults of real
// servers and networks on demand. It works in the event loop of the thread
// that made it: a test waits for the code under test by processing events
// (waitUntil, QTRY_*), never by blocking. Every answer says "Connection: close".

#include <QMap>
#include <QTcpServer>
#include <map>

namespace fetchora::testing {

// Byte i of every generated body (salt: another content), so a stored file
// is checked without keeping the body.
char bodyByte(qint64 i, int salt = 0);
bool fileHoldsBody(const QString &path, qint64 size, int salt = 0);

struct Reply {
    enum class Fault {
        None,
        CloseAtOnce,         // read the request, close without a byte
        StallBeforeHeaders,  // read the request, never answer
        StallAfter,          // headers and faultAt body bytes, then silence
        CutShortAfter,       // headers and faultAt body bytes, then close
    };
    int status = 200;
    QByteArray reason = "OK";
    qint64 size = 0;         // a generated body of this many bytes ...
    QByteArray body;         // ... unless a literal one is given
    bool sendLength = true;  // Content-Length, else the close ends the body
    QByteArray etag, lastModified, location;  // headers, sent when not empty
    int salt = 0;
    Fault fault = Fault::None;
    qint64 faultAt = 0;
    int dripDelayMs = 0;     // > 0: dripChunk bytes, pause, dripChunk bytes ...
    qint64 dripChunk = 1024;

    static Reply ok(qint64 size) { Reply r; r.size = size; return r; }
    static Reply status_(int code, const QByteArray &reason, const QByteArray &body = "error page")
    {
        Reply r;
        r.status = code, r.reason = reason, r.body = body;
        return r;
    }
    static Reply redirect(const QByteArray &to) { Reply r = status_(302, "Found", "moved"); r.location = to; return r; }
};

using RequestHeaders = QMap<QByteArray, QByteArray>;  // names in lower case

class TestHttpServer : public QObject {
public:
    TestHttpServer();  // listens on a free port

    bool listening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString &path) const;  // http://127.0.0.1:<port><path>

    // A path (query included) without a route answers 404.
    void route(const QByteArray &path, const Reply &reply) { m_routes[path] = reply; }
    int hits(const QByteArray &path) const { return int(m_requests.value(path).size()); }
    // The request headers of every hit of the path, oldest first.
    QList<RequestHeaders> requests(const QByteArray &path) const { return m_requests.value(path); }

    static quint16 unusedPort();  // nothing listens there

private:
    void serve(QTcpSocket *socket, const QByteArray &head);

    std::map<QByteArray, Reply> m_routes;
    QMap<QByteArray, QList<RequestHeaders>> m_requests;
    QTcpServer m_server;  // last: its sockets go before the tables they use
};

}  // namespace fetchora::testing
