// A minimal HTTP/1.1 file server for the download benchmark.
//
//   bench_server [--port N] [--size BYTES]
//
// Listens on 127.0.0.1 only (never any other address), prints "PORT <n>" on
// stdout once it accepts connections, and answers every GET or HEAD with a
// generated body: BYTES long by default, or the number given as the path
// ("/1048576"). The body is written from one repeated buffer, so the server
// costs next to nothing beside the client it is feeding and the benchmark
// measures the client. Runs until it is killed.
//
// Every body carries an ETag of its size, and a GET whose If-None-Match names
// it gets "304 Not Modified" without a body. GET /stats answers with the
// number of body bytes sent so far (not counting its own).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr size_t kChunk = 1 << 20;

std::atomic<unsigned long long> g_bodyBytes{0};  // of every answer but /stats

std::vector<char> makeChunk()
{
    // Not all zeros, so nothing on the way can shortcut the body.
    std::vector<char> chunk(kChunk);
    unsigned x = 2463534242u;
    for (char &c : chunk) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return chunk;
}

const std::vector<char> &chunk()
{
    static const std::vector<char> c = makeChunk();
    return c;
}

// counted: body bytes, added to the total as they go out.
bool writeAll(int fd, const char *data, size_t size, bool counted = false)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (counted)
            g_bodyBytes += (unsigned long long)n;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Reads up to the end of the request head; the benchmark clients send no body.
bool readHead(int fd, std::string &head)
{
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > 64 * 1024)
            return false;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        head.append(buf, size_t(n));
    }
    return true;
}

void serve(int fd, unsigned long long defaultSize)
{
    std::string head;
    if (!readHead(fd, head)) {
        ::close(fd);
        return;
    }
    const size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const bool isHead = line.rfind("HEAD ", 0) == 0;
    const bool isGet = line.rfind("GET ", 0) == 0;
    if (!isGet && !isHead) {
        const char reply[] = "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        writeAll(fd, reply, sizeof reply - 1);
        ::close(fd);
        return;
    }
    const size_t pathStart = line.find(' ') + 1;
    if (line.compare(pathStart, 7, "/stats ") == 0) {
        const std::string count = std::to_string(g_bodyBytes.load());
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(count.size())
                                  + "\r\nConnection: close\r\n\r\n" + count;
        writeAll(fd, reply.data(), reply.size());
        ::close(fd);
        return;
    }
    unsigned long long size = defaultSize;
    if (pathStart < line.size() && line[pathStart] == '/') {
        char *end = nullptr;
        const unsigned long long n = std::strtoull(line.c_str() + pathStart + 1, &end, 10);
        if (end && end != line.c_str() + pathStart + 1)
            size = n;
    }

    // The body never changes, so its size names its version.
    const std::string etag = "\"" + std::to_string(size) + "\"";
    std::string lower = head;
    for (char &c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const size_t field = lower.find("\r\nif-none-match:");
    const size_t fieldEnd = field == std::string::npos ? field : head.find("\r\n", field + 2);
    const bool unchanged =
        field != std::string::npos && head.substr(field, fieldEnd - field).find(etag) != std::string::npos;

    char reply[256];
    const int len =
        unchanged ? std::snprintf(reply, sizeof reply,
                                  "HTTP/1.1 304 Not Modified\r\nETag: %s\r\nConnection: close\r\n\r\n", etag.c_str())
                  : std::snprintf(reply, sizeof reply,
                                  "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                  "ETag: %s\r\nContent-Length: %llu\r\nConnection: close\r\n\r\n",
                                  etag.c_str(), size);
    bool ok = writeAll(fd, reply, size_t(len));
    if (isGet && !unchanged) {
        const char *data = chunk().data();
        while (ok && size > 0) {
            const size_t n = size < kChunk ? size_t(size) : kChunk;
            ok = writeAll(fd, data, n, true);
            size -= n;
        }
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

}  // namespace

int main(int argc, char **argv)
{
    int port = 0;
    unsigned long long size = 1ull << 30;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--port") && i + 1 < argc)
            port = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc)
            size = std::strtoull(argv[++i], nullptr, 10);
        else {
            std::fprintf(stderr, "usage: %s [--port N] [--size BYTES]\n", argv[0]);
            return 2;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    chunk();

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) {
        std::perror("socket");
        return 1;
    }
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(listener, 64) != 0) {
        std::perror("bind/listen on 127.0.0.1");
        return 1;
    }
    socklen_t alen = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &alen);
    std::printf("PORT %d\n", int(ntohs(addr.sin_port)));
    std::fflush(stdout);

    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            std::perror("accept");
            return 1;
        }
        std::thread(serve, fd, size).detach();
    }
}
