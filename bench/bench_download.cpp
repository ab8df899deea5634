// Download throughput of the engine against the curl command line.
//
//   bench_download --url http://127.0.0.1:PORT/ --dir TMPDIR --size BYTES [--runs 3]
//                  [--etag-size BYTES --etag-cycles N]
//
// Each run downloads the same URL three ways, one after the other so they
// share the machine's state: the engine with the options the program uses
// (no flush: the program flushes a copy when it stores it in the save
// folder), the engine with syncToDisk (flushed before the rename, to show what
// a durable download costs), and `curl -s -o FILE URL`, which does not flush. The median of the runs is reported. Peak
// RSS is this process's only; curl runs as a separate process and is not counted in it.
//
// With --etag-cycles, N download cycles of an unchanged file of etag-size
// bytes that carries an ETag (bench_server's "/<size>"), counted in body bytes
// the server sent: the engine as the program drives it (the stored copy's
// version goes along from the second cycle on and an unchanged one is
// answered as the same), against `curl --etag-compare F --etag-save F` run as
// often. --runs 0 runs only this.

#include "bench_common.h"

#include "download/CurlDownload.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

using fetchora::CurlDownload;
using fetchora::DownloadOptions;

namespace {

class Sink : public fetchora::DownloadEvents {
public:
    QEventLoop loop;
    bool finished = false;
    bool aborted = false;
    QString failure;
    std::function<void(const QString &)> onVersion = [](const QString &) {};

    void FileDownload_ConnectionError(long n, const QString &d) override { fail("connection error", n, d); }
    void FileDownload_DownloadError(long n, const QString &d) override { fail("download error", n, d); }
    void FileDownload_Abort() override
    {
        aborted = true;
        fail("abort", 0, {});
    }
    void FileDownload_NotFound() override { fail("not found", 404, {}); }
    void FileDownload_ShowVersion(const QString &s) override { onVersion(s); }
    void FileDownload_Progress(qint64, qint64) override {}
    void FileDownload_Start() override {}
    void FileDownload_Finished() override
    {
        finished = true;
        loop.quit();
    }

private:
    void fail(const char *what, long n, const QString &d)
    {
        failure = QStringLiteral("%1 %2 %3").arg(QLatin1String(what)).arg(n).arg(d);
        loop.quit();
    }
};

// Seconds for one download by the engine, or a negative value on failure.
double engineRun(const QString &url, const QString &target, qint64 expected, bool syncToDisk)
{
    DownloadOptions options;
    options.syncToDisk = syncToDisk;
    Sink sink;
    double seconds = -1;
    {
        CurlDownload download(&sink, options);
        const double t0 = bench::now();
        if (!download.StartDownload(url, target)) {
            std::fprintf(stderr, "StartDownload refused\n");
            return -1;
        }
        // A bound on a run that hangs: 1 GiB at a snail's 10 MiB/s.
        QTimer::singleShot(std::max<qint64>(120000, expected / (10 << 20) * 1000), &sink.loop, [&] {
            sink.failure = QStringLiteral("timed out");
            sink.loop.quit();
        });
        sink.loop.exec();
        seconds = bench::now() - t0;
    }
    if (!sink.finished) {
        std::fprintf(stderr, "engine: %s\n", qPrintable(sink.failure));
        return -1;
    }
    if (QFileInfo(target).size() != expected) {
        std::fprintf(stderr, "engine: %lld bytes instead of %lld\n", QFileInfo(target).size(), expected);
        return -1;
    }
    return seconds;
}

double curlRun(const QString &url, const QString &target, qint64 expected)
{
    const double seconds = bench::runTimed({"curl", "-s", "-o", target.toStdString(), url.toStdString()});
    if (seconds >= 0 && QFileInfo(target).size() != expected) {
        std::fprintf(stderr, "curl: %lld bytes instead of %lld\n", QFileInfo(target).size(), expected);
        return -1;
    }
    return seconds;
}

// The body bytes the server has sent so far, or a negative value.
long long serverBodyBytes(const QString &url, const QString &dir)
{
    const QString file = dir + QStringLiteral("/stats.txt");
    if (bench::runTimed({"curl", "-s", "-o", file.toStdString(), (url + QStringLiteral("stats")).toStdString()}) < 0)
        return -1;
    QFile f(file);
    bool ok = false;
    const long long bytes = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong(&ok) : -1;
    return ok ? bytes : -1;
}

// The program's cycles: a fresh instance each time, told the version of the
// copy stored last, answering an unchanged version as the same.
bool engineCycles(const QString &url, const QString &target, int cycles)
{
    QString stored;
    for (int i = 0; i < cycles; ++i) {
        Sink sink;
        QString seen;
        CurlDownload download(&sink, DownloadOptions{});
        sink.onVersion = [&](const QString &s) {
            bool same = s == stored;
            download.SameVersion(same);
            seen = s;
        };
        download.setStoredVersion(stored);
        QFile::remove(target);
        if (!download.StartDownload(url, target))
            return false;
        QTimer::singleShot(300000, &sink.loop, [&] {
            sink.failure = QStringLiteral("timed out");
            sink.loop.quit();
        });
        sink.loop.exec();
        if (sink.finished)
            stored = seen;
        else if (!sink.aborted) {
            std::fprintf(stderr, "engine, cycle %d: %s\n", i + 1, qPrintable(sink.failure));
            return false;
        }
    }
    return true;
}

bool curlCycles(const QString &url, const QString &dir, int cycles)
{
    const std::string etag = (dir + QStringLiteral("/etag.txt")).toStdString();
    const std::string out = (dir + QStringLiteral("/curl-etag.bin")).toStdString();
    for (int i = 0; i < cycles; ++i) {
        if (bench::runTimed({"curl", "-s", "--etag-compare", etag, "--etag-save", etag, "-o", out, url.toStdString()})
            < 0)
            return false;
    }
    return true;
}

bool etagRow(const QString &url, const QString &dir, qint64 size, int cycles)
{
    const QString fileUrl = url + QString::number(size);
    const long long start = serverBodyBytes(url, dir);
    const bool oursOk = engineCycles(fileUrl, dir + QStringLiteral("/ours-etag.bin"), cycles);
    const long long between = serverBodyBytes(url, dir);
    const bool peerOk = curlCycles(fileUrl, dir, cycles);
    const long long end = serverBodyBytes(url, dir);
    if (!oursOk || !peerOk || start < 0 || between < 0 || end < 0)
        return false;
    const double ours = double(between - start), peer = double(end - between);
    bench::row("unchanged " + bench::sizeLabel(size) + " file with an ETag, " + std::to_string(cycles)
                   + " cycles: body bytes sent",
               bench::mib(ours) + " (" + bench::fmt("%.1f", ours / double(size)) + " bodies)",
               "curl --etag-compare/--etag-save " + bench::mib(peer) + " (" + bench::fmt("%.1f", peer / double(size))
                   + " bodies)",
               peer > 0 ? bench::fmt("%.2fx", ours / peer) : "-", "one body");
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString url, dir;
    qint64 size = 1ll << 30, etagSize = 100ll << 20;
    int runs = 3, etagCycles = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--url"))
            url = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--dir"))
            dir = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--size"))
            size = std::atoll(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--etag-size"))
            etagSize = std::atoll(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--etag-cycles"))
            etagCycles = std::atoi(argv[i + 1]);
    }
    if (url.isEmpty() || dir.isEmpty() || runs < 0 || (runs == 0 && etagCycles < 1)) {
        std::fprintf(stderr,
                     "usage: %s --url URL --dir DIR [--size BYTES] [--runs N] [--etag-size BYTES --etag-cycles N]\n",
                     argv[0]);
        return 2;
    }
    if (runs == 0)
        return etagRow(url, dir, etagSize, etagCycles) ? 0 : 1;

    const QString oursFile = dir + QStringLiteral("/ours.bin");
    const QString curlFile = dir + QStringLiteral("/curl.bin");
    std::vector<double> ours, oursNoSync, peer;
    for (int r = 0; r < runs; ++r) {
        // Removing the previous copy first also drops its dirty pages, and
        // sync() between the sides: each starts with no write-back pending.
        QFile::remove(oursFile);
        ::sync();
        const double a = engineRun(url, oursFile, size, false);
        QFile::remove(oursFile);
        ::sync();
        const double b = engineRun(url, oursFile, size, true);
        QFile::remove(oursFile);
        ::sync();
        const double c = curlRun(url, curlFile, size);
        QFile::remove(curlFile);
        if (a < 0 || b < 0 || c < 0)
            return 1;
        std::fprintf(stderr, "  run %d: engine %.3f s, engine with flush %.3f s, curl %.3f s\n", r + 1, a, b, c);
        ours.push_back(a);
        oursNoSync.push_back(b);
        peer.push_back(c);
    }

    const double mb = double(size) / (1024.0 * 1024.0);
    const double tOurs = bench::median(ours), tNoSync = bench::median(oursNoSync), tPeer = bench::median(peer);
    const std::string label =
        "download " + bench::sizeLabel(size) + " from 127.0.0.1, throughput, median of " + std::to_string(runs);
    const std::string peerText = "curl " + bench::fmt("%.0f MiB/s", mb / tPeer);
    bench::row(label + " (engine as the program uses it)", bench::fmt("%.0f MiB/s", mb / tOurs), peerText,
               bench::fmt("%.2fx", tPeer / tOurs), ">= 0.9x");
    bench::row(label + " (engine, syncToDisk = true: flushed before rename)", bench::fmt("%.0f MiB/s", mb / tNoSync),
               peerText, bench::fmt("%.2fx", tPeer / tNoSync), "info (disk-bound)");
    bench::row("download peak RSS (this process, all runs)", bench::mib(double(bench::peakRssBytes())),
               "not measured (curl)", "-", "< 64 MiB");
    return etagCycles < 1 || etagRow(url, dir, etagSize, etagCycles) ? 0 : 1;
}
