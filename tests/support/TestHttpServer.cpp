#include "support/TestHttpServer.h"

#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fetchora::testing {

namespace {

// A prime period, so that chunk boundaries never line up with it and a
// misplaced or repeated chunk shows as a content difference.
constexpr qint64 kPeriod = 65521;

const QByteArray &pattern()
{
    static const QByteArray table = [] {
        QByteArray t(int(kPeriod * 2), Qt::Uninitialized);
        quint32 x = 2463534242u;
        for (qint64 i = 0; i < kPeriod; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            t[int(i)] = char(x & 0xff);
        }
        // Doubled, so any window of up to kPeriod bytes is contiguous.
        std::memcpy(t.data() + kPeriod, t.constData(), size_t(kPeriod));
        return t;
    }();
    return table;
}

qint64 startOffset(qint64 i, int salt) { return (i + qint64(salt) * 7919) % kPeriod; }

}  // namespace

char bodyByte(qint64 i, int salt) { return pattern()[int(startOffset(i, salt))]; }

bool fileHoldsBody(const QString &path, qint64 size, int salt)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() != size)
        return false;
    const QByteArray &table = pattern();
    QByteArray buffer(int(kPeriod), Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const qint64 want = std::min<qint64>(kPeriod, size - done);
        if (f.read(buffer.data(), want) != want)
            return false;
        if (std::memcmp(buffer.constData(), table.constData() + startOffset(done, salt), size_t(want)) != 0)
            return false;
        done += want;
    }
    return true;
}

TestHttpServer::TestHttpServer()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return;
    int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(m_listenFd, 64) != 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        return;
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

TestHttpServer::~TestHttpServer()
{
    m_stop = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<Connection> connections;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        connections.swap(m_connections);
    }
    for (Connection &c : connections)
        c.thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

QString TestHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void TestHttpServer::route(const QByteArray &path, const Reply &reply)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_routes[path] = reply;
}

int TestHttpServer::hits(const QByteArray &path) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_hits.find(path);
    return it == m_hits.end() ? 0 : it->second;
}

quint16 TestHttpServer::unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool TestHttpServer::waitOrStop(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stop.load()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return true;
        std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(20)));
    }
    return false;
}

void TestHttpServer::acceptLoop()
{
    while (!m_stop.load()) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard<std::mutex> guard(m_lock);
        // Finished connections are joined as new ones come, so a long run
        // keeps neither threads nor their stacks.
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        m_connections.push_back({std::thread([this, fd, done] {
                                     serve(fd);
                                     *done = true;
                                 }),
                                 done});
    }
}

bool TestHttpServer::sendAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        if (m_stop.load())
            return false;
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, 50);
        if (ready == 0)
            continue;
        if (ready < 0 || (p.revents & (POLLERR | POLLHUP)))
            return false;
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

void TestHttpServer::serve(int fd)
{
    ++m_open;
    struct Closer {
        TestHttpServer *self;
        int fd;
        ~Closer()
        {
            ::close(fd);
            --self->m_open;
        }
    } closer{this, fd};

    // One request per connection: read up to the blank line.
    QByteArray request;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!request.contains("\r\n\r\n")) {
        if (m_stop.load() || std::chrono::steady_clock::now() > deadline || request.size() > 65536)
            return;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        request.append(chunk, int(n));
        if (request.startsWith('\x16')) {
            // A TLS handshake: answer in plain text, as a plain server does.
            const QByteArray plain = "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n";
            sendAll(fd, plain.constData(), plain.size());
            return;
        }
    }
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray method = words.value(0);
    const QByteArray path = words.value(1);

    Reply reply;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_hits[path];
        const auto it = m_routes.find(path);
        if (it != m_routes.end())
            reply = it->second;
        else
            reply = Reply::status_(404, "Not Found", "no such file");
    }

    if (reply.fault == Reply::Fault::CloseAtOnce)
        return;
    if (reply.fault == Reply::Fault::StallBeforeHeaders) {
        while (waitOrStop(1000)) {
        }
        return;
    }

    const bool literal = !reply.body.isNull();
    const qint64 size = literal ? reply.body.size() : reply.size;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reply.reason + "\r\n";
    head += "Content-Type: application/octet-stream\r\n";
    if (reply.sendLength)
        head += "Content-Length: " + QByteArray::number(size) + "\r\n";
    if (!reply.etag.isEmpty())
        head += "ETag: " + reply.etag + "\r\n";
    if (!reply.lastModified.isEmpty())
        head += "Last-Modified: " + reply.lastModified + "\r\n";
    if (!reply.location.isEmpty())
        head += "Location: " + reply.location + "\r\n";
    head += "Connection: close\r\n\r\n";
    if (!sendAll(fd, head.constData(), head.size()))
        return;
    if (method == "HEAD")
        return;

    qint64 limit = size;
    if (reply.fault == Reply::Fault::StallAfter || reply.fault == Reply::Fault::CutShortAfter)
        limit = std::min(size, reply.faultAt);

    const QByteArray &table = pattern();
    qint64 sent = 0;
    while (sent < limit) {
        qint64 chunk = std::min<qint64>(limit - sent, reply.dripDelayMs > 0 ? reply.dripChunk : kPeriod);
        const char *data = literal ? reply.body.constData() + sent : table.constData() + startOffset(sent, reply.salt);
        if (!sendAll(fd, data, chunk))
            return;
        sent += chunk;
        if (reply.dripDelayMs > 0 && sent < limit && !waitOrStop(reply.dripDelayMs))
            return;
    }
    if (reply.fault == Reply::Fault::StallAfter) {
        while (waitOrStop(1000)) {
        }
        return;
    }
    // Let the client see the end of the body before the close.
    ::shutdown(fd, SHUT_WR);
    char sink[256];
    for (int i = 0; i < 20 && !m_stop.load(); ++i) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0 && ::recv(fd, sink, sizeof sink, 0) <= 0)
            break;
    }
}

}  // namespace fetchora::testing
