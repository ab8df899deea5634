// Download throughput of the engine against the curl command line.
//
//   bench_download --url http://127.0.0.1:PORT/ --dir TMPDIR --size BYTES [--runs 3]
//
// Each run downloads the same URL three ways, one after the other so they
// share the machine's state: the engine with the options the program uses
// (no flush: the program flushes a copy when it stores it in the save
// folder), the engine with syncToDisk (flushed before the rename, to show what
// a durable download costs), and `curl -s -o FILE URL`, which does not flush. The median of the runs is reported. Peak RSS is this process's
// only; curl runs as a separate process and is not counted in it.

#include "bench_common.h"

#include "components/download/classFileDownload.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <string>

using fetchora::classFileDownload;
using fetchora::DownloadOptions;

namespace {

class Sink : public fetchora::DownloadEvents {
public:
    QEventLoop loop;
    bool finished = false;
    QString failure;

    void FileDownload_ConnectionError(long n, const QString &d) override { fail("connection error", n, d); }
    void FileDownload_DownloadError(long n, const QString &d) override { fail("download error", n, d); }
    void FileDownload_Abort() override { fail("abort", 0, {}); }
    void FileDownload_NotFound() override { fail("not found", 404, {}); }
    void FileDownload_ShowVersion(const QString &) override {}
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
        classFileDownload download(&sink, options);
        const double t0 = bench::now();
        if (!download.StartDownload(url, target)) {
            std::fprintf(stderr, "StartDownload refused\n");
            return -1;
        }
        // A bound on a run that hangs: 1 GiB at a snail's 10 MiB/s.
        QTimer::singleShot(std::max<qint64>(120000, expected / (10 << 20) * 1000), &sink.loop,
                           [&] { sink.failure = QStringLiteral("timed out"); sink.loop.quit(); });
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
    const double seconds =
        bench::runTimed({"curl", "-s", "-o", target.toStdString(), url.toStdString()});
    if (seconds >= 0 && QFileInfo(target).size() != expected) {
        std::fprintf(stderr, "curl: %lld bytes instead of %lld\n", QFileInfo(target).size(), expected);
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString url, dir;
    qint64 size = 1ll << 30;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--url"))
            url = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--dir"))
            dir = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--size"))
            size = std::atoll(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[i + 1]);
    }
    if (url.isEmpty() || dir.isEmpty() || runs < 1) {
        std::fprintf(stderr, "usage: %s --url URL --dir DIR [--size BYTES] [--runs N]\n", argv[0]);
        return 2;
    }

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
        std::fprintf(stderr, "  run %d: engine %.3f s, engine with flush %.3f s, curl %.3f s\n", r + 1, a, b,
                     c);
        ours.push_back(a);
        oursNoSync.push_back(b);
        peer.push_back(c);
    }

    const double mb = double(size) / (1024.0 * 1024.0);
    const double tOurs = bench::median(ours), tNoSync = bench::median(oursNoSync), tPeer = bench::median(peer);
    const std::string label = "download " + bench::sizeLabel(size) + " from 127.0.0.1, throughput, median of "
                              + std::to_string(runs);
    const std::string peerText = "curl " + bench::fmt("%.0f MiB/s", mb / tPeer);
    bench::row(label + " (engine as the program uses it)", bench::fmt("%.0f MiB/s", mb / tOurs), peerText,
               bench::fmt("%.2fx", tPeer / tOurs), ">= 0.9x");
    bench::row(label + " (engine, syncToDisk = true: flushed before rename)", bench::fmt("%.0f MiB/s", mb / tNoSync),
               peerText, bench::fmt("%.2fx", tPeer / tNoSync), "info (disk-bound)");
    bench::row("download peak RSS (this process, all runs)", bench::mib(double(bench::peakRssBytes())),
               "not measured (curl)", "-", "< 64 MiB");
    return 0;
}
