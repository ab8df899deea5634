#include "support/TestHttpServer.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

namespace fetchora::testing {

// Byte i of every generated body: a stored copy is checked without keeping the body.
const auto bodyByte = [](qint64 i) { return char(i % 251); };

bool fileHoldsBody(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() != size)
        return false;
    for (qint64 at = 0; !f.atEnd();)
        for (char c : f.read(1 << 20))
            if (c != bodyByte(at++))
                return false;
    return true;
}

quint16 TestHttpServer::unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

TestHttpServer::TestHttpServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, head = std::make_shared<QByteArray>()] {
                const bool served = head->contains("\r\n\r\n");
                *head += socket->readAll();
                if (!served && head->contains("\r\n\r\n"))
                    serve(socket, head->left(head->indexOf("\r\n\r\n")));
            });
        }
    });
}

void TestHttpServer::serve(QTcpSocket *socket, const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QByteArray path = lines.value(0).split(' ').value(1);
    RequestHeaders headers;
    for (const QByteArray &line : lines.mid(1))
        headers.insert(line.left(line.indexOf(':')).trimmed().toLower(), line.mid(line.indexOf(':') + 1).trimmed());
    m_requests[path].append(headers);

    const auto found = m_routes.find(path);
    const Reply r = found != m_routes.end() ? found->second : Reply::status_(404, "Not Found", "not found");
    if (r.fault == Reply::Fault::StallBeforeHeaders)
        return;
    const qint64 total = r.body.isEmpty() ? r.size : r.body.size();
    QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + r.reason + "\r\n";
    if (r.sendLength)
        out += "Content-Length: " + QByteArray::number(total) + "\r\n";
    for (const auto &[name, value] :
         {std::pair("ETag", r.etag), {"Last-Modified", r.lastModified}, {"Location", r.location}})
        out += value.isEmpty() ? QByteArray() : name + QByteArray(": ") + value + "\r\n";
    socket->write(out + "Connection: close\r\n\r\n");
    const qint64 limit = r.fault == Reply::Fault::StallAfter ? std::min(r.faultAt, total) : total;
    // The body is made as it goes out, so a large one is never held whole: a chunk whenever the socket's buffer runs
    // low.
    const auto pump = [socket, r, limit, sent = std::make_shared<qint64>(0)] {
        while (*sent < limit && socket->bytesToWrite() < (256 << 10)) {
            const qint64 n = std::min(limit - *sent, qint64(64 << 10));
            QByteArray chunk = r.body.mid(*sent, n);
            for (qint64 i = chunk.size(); i < n; ++i)
                chunk += bodyByte(*sent + i);
            *sent += socket->write(chunk);
        }
        if (*sent == limit && r.fault != Reply::Fault::StallAfter)
            socket->disconnectFromHost();
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, [=] { QTimer::singleShot(0, socket, pump); });
    pump();
}

}  // namespace fetchora::testing
