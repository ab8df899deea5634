#include "support/TestHttpServer.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

namespace fetchora::testing {

char bodyByte(qint64 i, int salt)
{
    return char((i % 251) ^ (salt * 37));
}

bool fileHoldsBody(const QString &path, qint64 size, int salt)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() != size)
        return false;
    for (qint64 at = 0; !f.atEnd();)
        for (char c : f.read(1 << 20))
            if (c != bodyByte(at++, salt))
                return false;
    return true;
}

namespace {

// Streams a body without holding it whole: a chunk whenever the socket's
// buffer runs low, or one per drip pause.
struct BodyPump : QObject {
    BodyPump(QTcpSocket *socket, const Reply &reply, qint64 limit)
        : QObject(socket), s(socket), r(reply), limit(limit)
    {
        connect(s, &QTcpSocket::bytesWritten, this, [this] { r.dripDelayMs ? void() : pump(); });
        pump();
    }
    void pump()
    {
        while (sent < limit && s->bytesToWrite() < (256 << 10)) {
            const qint64 n = std::min(limit - sent, r.dripDelayMs ? r.dripChunk : qint64(64 << 10));
            QByteArray chunk = r.body.mid(sent, n);
            for (qint64 i = chunk.size(); i < n; ++i)
                chunk += bodyByte(sent + i, r.salt);
            s->write(chunk);
            sent += n;
            if (r.dripDelayMs && sent < limit)
                return QTimer::singleShot(r.dripDelayMs, this, [this] { pump(); });
        }
        if (sent == limit && r.fault != Reply::Fault::StallAfter)
            s->disconnectFromHost();
    }
    QTcpSocket *s;
    Reply r;
    qint64 limit, sent = 0;
};

}  // namespace

TestHttpServer::TestHttpServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                const QByteArray head = socket->property("head").toByteArray() + socket->readAll();
                socket->setProperty("head", head);
                const qsizetype end = head.indexOf("\r\n\r\n");
                if (end >= 0 && !socket->property("served").toBool()) {
                    socket->setProperty("served", true);
                    serve(socket, head.left(end));
                }
            });
        }
    });
}

QString TestHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

quint16 TestHttpServer::unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void TestHttpServer::serve(QTcpSocket *socket, const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QByteArray path = lines.value(0).split(' ').value(1);
    RequestHeaders headers;
    for (const QByteArray &line : lines.mid(1))
        if (const qsizetype colon = line.indexOf(':'); colon > 0)
            headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    m_requests[path].append(headers);

    const auto found = m_routes.find(path);
    const Reply r = found != m_routes.end() ? found->second : Reply::status_(404, "Not Found", "not found");
    if (r.fault == Reply::Fault::CloseAtOnce)
        return socket->disconnectFromHost();
    if (r.fault == Reply::Fault::StallBeforeHeaders)
        return;
    const qint64 total = r.body.isEmpty() ? r.size : r.body.size();
    QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + r.reason + "\r\n";
    if (r.sendLength)
        out += "Content-Length: " + QByteArray::number(total) + "\r\n";
    for (const auto &[name, value] : {std::pair{"ETag", r.etag}, {"Last-Modified", r.lastModified}, {"Location", r.location}})
        if (!value.isEmpty())
            out += name + QByteArray(": ") + value + "\r\n";
    socket->write(out + "Connection: close\r\n\r\n");
    const bool cut = r.fault == Reply::Fault::StallAfter || r.fault == Reply::Fault::CutShortAfter;
    new BodyPump(socket, r, cut ? std::min(r.faultAt, total) : total);
}

}  // namespace fetchora::testing
