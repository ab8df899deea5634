#pragma once
// An HTTP/1.1 server on 127.0.0.1 with the faults of real servers and networks on demand. It works in the event loop of
// the thread that made it, so a test waits by processing events, never by blocking.

#include <QMap>
#include <QTcpServer>
#include <map>

namespace fetchora::testing {

// True when the file holds exactly the generated body of that size.
bool fileHoldsBody(const QString &path, qint64 size);

struct Reply {
    // StallBeforeHeaders never answers; StallAfter sends the headers and faultAt body bytes, then falls silent.
    enum class Fault { None, StallBeforeHeaders, StallAfter };
    int status = 200;
    QByteArray reason = "OK";
    qint64 size = 0;                                         // a generated body of this many bytes,
    QByteArray body = {};                                    // unless a literal one is given
    bool sendLength = true;                                  // Content-Length, else the close ends the body
    QByteArray etag = {}, lastModified = {}, location = {};  // headers, sent when not empty
    Fault fault = Fault::None;
    qint64 faultAt = 0;

    static Reply ok(qint64 size) { return {.size = size}; }
    static Reply status_(int code, QByteArray reason, QByteArray body = "error page")
    {
        return {code, reason, 0, body};
    }
    static Reply redirect(const QByteArray &to) { return {302, "Found", 0, "moved", true, {}, {}, to}; }
};

using RequestHeaders = QMap<QByteArray, QByteArray>;  // names in lower case

class TestHttpServer : public QObject {
public:
    TestHttpServer();  // listens on a free port
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path); }

    // A path (with its query) that has no route answers 404.
    void route(const QByteArray &path, const Reply &reply) { m_routes[path] = reply; }
    // The request headers of each hit of the path, oldest first.
    QList<RequestHeaders> requests(const QByteArray &path) const { return m_requests.value(path); }

    static quint16 unusedPort();  // on 127.0.0.1, where nothing listens

private:
    void serve(QTcpSocket *socket, const QByteArray &head);

    std::map<QByteArray, Reply> m_routes;
    QMap<QByteArray, QList<RequestHeaders>> m_requests;
    QTcpServer m_server;  // last: its sockets go before the tables they use
};

}  // namespace fetchora::testing
