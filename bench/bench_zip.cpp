// The ZIP layer against the Info-ZIP command line.
//
//   bench_zip --dir TMPDIR [--size BYTES] [--levels 1,6,9] [--runs 1]
//
// Generates one file of BYTES (deterministic: every other MiB is random, the
// rest log-like text that deflate shrinks several times over), then packs it
// at each level with packFile (as the program stores a copy: the archive hashed right after) and with `zip -q -<level>
// out.zip file`, one after the other, and compares time and archive size. The source stays in the page cache, so both
// sides read it at memory speed.

#include "bench_common.h"

#include "zip/Zip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Rng {
    uint64_t s;
    uint64_t next()
    {
        // splitmix64: fast, and the same stream on every machine.
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

std::vector<std::string> makeWords(Rng &rng)
{
    static const char letters[] = "etaoinshrdlucmfwypvbgkjqxz";
    std::vector<std::string> words;
    for (int i = 0; i < 400; ++i) {
        const int len = 2 + int(rng.next() % 9);
        std::string w;
        for (int k = 0; k < len; ++k) {
            // Skewed towards the common letters, as real words are.
            const uint64_t r = rng.next();
            w += letters[(r % 26) * ((r >> 8) % 26) / 26];
        }
        words.push_back(w);
    }
    return words;
}

void fillText(std::string &block, size_t size, Rng &rng, const std::vector<std::string> &words, uint64_t &clock)
{
    static const char *levels[] = {"INFO", "INFO", "INFO", "DEBUG", "WARN", "ERROR"};
    block.clear();
    char stamp[64];
    while (block.size() < size) {
        clock += rng.next() % 3000;
        const uint64_t sec = clock / 1000;
        std::snprintf(stamp, sizeof stamp, "2024-%02u-%02u %02u:%02u:%02u.%03u %-5s ", unsigned(1 + sec / 2592000 % 12),
                      unsigned(1 + sec / 86400 % 28), unsigned(sec / 3600 % 24), unsigned(sec / 60 % 60),
                      unsigned(sec % 60), unsigned(clock % 1000), levels[rng.next() % 6]);
        block += stamp;
        const int n = 4 + int(rng.next() % 12);
        for (int i = 0; i < n; ++i) {
            const uint64_t r = rng.next();
            // Most words come from a small common set, a few from the rest.
            const size_t w = (r & 3) ? (r >> 2) % 40 : (r >> 2) % words.size();
            block += words[w];
            if ((r >> 20) % 9 == 0) {
                block += '=';
                block += std::to_string((r >> 24) % 100000);
            }
            block += i + 1 < n ? ' ' : '\n';
        }
    }
    block.resize(size);
}

bool generate(const QString &path, unsigned long long size)
{
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return false;
    Rng rng{20240501};
    const std::vector<std::string> words = makeWords(rng);
    uint64_t clock = 0;
    constexpr size_t kBlock = 1 << 20;
    std::string block;
    std::vector<uint64_t> random(kBlock / 8);
    bool ok = true;
    for (unsigned long long done = 0, i = 0; ok && done < size; ++i) {
        const size_t n = size - done < kBlock ? size_t(size - done) : kBlock;
        if (i % 2 == 0) {
            for (uint64_t &v : random)
                v = rng.next();
            ok = std::fwrite(random.data(), 1, n, f) == n;
        } else {
            fillText(block, n, rng, words, clock);
            ok = std::fwrite(block.data(), 1, n, f) == n;
        }
        done += n;
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv)
{
    QString dir;
    unsigned long long size = 512ull << 20;
    std::string levelList = "1,6,9";
    int runs = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--dir"))
            dir = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--size"))
            size = std::strtoull(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--levels"))
            levelList = argv[i + 1];
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[i + 1]);
    }
    if (dir.isEmpty() || runs < 1) {
        std::fprintf(stderr, "usage: %s --dir DIR [--size BYTES] [--levels 1,6,9] [--runs N]\n", argv[0]);
        return 2;
    }
    dir = QDir(dir).absolutePath();
    // zip stores the name as given: run it beside the file so both archives
    // hold the same bare entry name.
    if (!QDir::setCurrent(dir)) {
        std::fprintf(stderr, "cannot enter %s\n", qPrintable(dir));
        return 1;
    }

    const QString name = QStringLiteral("mixed.dat");
    const QString source = dir + QLatin1Char('/') + name;
    double t0 = bench::now();
    if (!generate(source, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(source));
        return 1;
    }
    std::fprintf(stderr, "  generated %s in %.1f s\n", bench::sizeLabel(size).c_str(), bench::now() - t0);

    fetchora::zip::InitZip();
    std::stringstream levels(levelList);
    std::string item;
    while (std::getline(levels, item, ',')) {
        const int level = std::atoi(item.c_str());
        const QString oursZip = dir + QStringLiteral("/ours-%1.zip").arg(level);
        const QString peerZip = QStringLiteral("peer-%1.zip").arg(level);
        std::vector<double> oursT, peerT;
        qint64 oursSize = 0, peerSize = 0;
        for (int r = 0; r < runs; ++r) {
            QFile::remove(oursZip);
            t0 = bench::now();
            const fetchora::zip::ZipResult rc =
                fetchora::zip::packFile(oursZip, source, QString(), level, fetchora::Language::English);
            const double a = bench::now() - t0;
            if (!rc.ok()) {
                std::fprintf(stderr, "packFile: %ld %s\n", rc.number, qPrintable(rc.description));
                return 1;
            }
            oursSize = QFileInfo(oursZip).size();
            QFile::remove(oursZip);

            QFile::remove(peerZip);
            const double b =
                bench::runTimed({"zip", "-q", "-" + std::to_string(level), peerZip.toStdString(), name.toStdString()});
            if (b < 0)
                return 1;
            peerSize = QFileInfo(peerZip).size();
            QFile::remove(peerZip);
            std::fprintf(stderr, "  level %d run %d: ours %.2f s %lld B, zip %.2f s %lld B\n", level, r + 1, a,
                         oursSize, b, peerSize);
            oursT.push_back(a);
            peerT.push_back(b);
        }
        const double ta = bench::median(oursT), tb = bench::median(peerT);
        const std::string label = "zip " + bench::sizeLabel(size) + " mixed, level " + std::to_string(level);
        const std::string med = runs > 1 ? ", median of " + std::to_string(runs) : "";
        bench::row(label + ", time" + med, bench::fmt("%.2f s", ta), "zip " + bench::fmt("%.2f s", tb),
                   bench::fmt("%.2fx", ta / tb), "<= 1.0x");
        bench::row(label + ", archive size", bench::mib(double(oursSize)), "zip " + bench::mib(double(peerSize)),
                   bench::fmt("%.4fx", double(oursSize) / double(peerSize)), "<= 1.01x");
    }
    QFile::remove(source);
    return 0;
}
