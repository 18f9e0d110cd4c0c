// The receive log's store on its own: 4 KB appends up to 1 GB with the spill
// file on, the append rate per 128 MB (is it flat?), the longest single
// append, peak resident memory, and reading everything back: sequentially,
// byte by byte, and 4 KB at random places; from the page cache, then again
// after the file's pages were written out and dropped from it.
//
//   ./build/bench_bytestore [MB] [--no-file]
//
// --no-file keeps everything in memory, for comparison.

#include "ByteStore.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace corvanel;

namespace {

using Clock = std::chrono::steady_clock;

constexpr qsizetype Block = 4096;
constexpr qsizetype Source = 4 * 1024 * 1024;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// User and system time of the process.
double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in MB (VmHWM: peak resident, VmRSS: now).
double statusMB(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0)
            return std::stod(line.substr(key.size())) / 1024.0; // kB
    }
    return -1;
}

// Block k of the stream starts at this offset of the random source.
qsizetype sourceOffset(qint64 k)
{
    return qsizetype((k * 4099) % (Source - Block));
}

// The store's spill file, opened again through /proc (-1 if none).
int reopenSpillFile()
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
        const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
        if (target.endsWith(QStringLiteral(" (deleted)")))
            return ::open(QFile::encodeName(fds.filePath(fd)).constData(), O_RDONLY | O_CLOEXEC);
    }
    return -1;
}

struct ReadFigures
{
    double sequentialMBs;
    double atMBs;
    double randomUs;
};

ReadFigures readBack(const ByteStore &store, const QByteArray &source, qint64 expectedSum)
{
    ReadFigures f {};
    const qint64 size = store.size();
    qint64 sum = 0;
    auto t = Clock::now();
    store.forEachPiece(0, size, [&](const char *d, qsizetype n) {
        const auto *u = reinterpret_cast<const unsigned char *>(d);
        for (qsizetype i = 0; i < n; ++i)
            sum += u[i];
    });
    f.sequentialMBs = double(size) / 1048576.0 / seconds(Clock::now() - t);
    if (sum != expectedSum)
        std::printf("READ-BACK MISMATCH: byte sum %lld, expected %lld\n", (long long)sum, (long long)expectedSum);

    // Byte by byte over 64 MB of the oldest content.
    const qint64 span = std::min<qint64>(size, 64 * 1048576);
    unsigned x = 0;
    t = Clock::now();
    for (qint64 p = 0; p < span; ++p)
        x += static_cast<unsigned char>(store.at(p));
    f.atMBs = double(span) / 1048576.0 / seconds(Clock::now() - t);

    // 4 KB at random places, each checked against the source.
    QRandomGenerator rng(7);
    constexpr int Reads = 5000;
    int wrong = 0;
    Clock::duration spent {};
    for (int i = 0; i < Reads; ++i) {
        const qint64 pos = qint64(rng.generate64() % quint64(size - Block));
        t = Clock::now();
        const QByteArray got = store.mid(pos, Block);
        spent += Clock::now() - t;
        for (qsizetype j = 0; j < got.size(); j += 97) {
            const qint64 p = pos + j;
            if (got[j] != source[sourceOffset(p / Block) + qsizetype(p % Block)])
                ++wrong;
        }
    }
    f.randomUs = seconds(spent) * 1e6 / Reads;
    if (wrong != 0 || x == 1) // x is read so that the at() loop stays
        std::printf("RANDOM READS WRONG: %d bytes\n", wrong);
    return f;
}

void printReads(const char *what, const ReadFigures &f)
{
    std::printf("read back, %-26s sequential %7.0f MB/s   at() loop %6.0f MB/s   random 4 KB %7.1f us\n", what,
                f.sequentialMBs, f.atMBs, f.randomUs);
}

} // namespace

int main(int argc, char **argv)
{
    qint64 totalMB = 1024;
    bool noFile = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-file") == 0)
            noFile = true;
        else
            totalMB = std::max(128LL, std::atoll(argv[i]));
    }
    const qint64 total = totalMB * 1048576;
    constexpr qint64 Segment = 128 * 1048576;

    QByteArray source(Source, Qt::Uninitialized);
    QRandomGenerator rng(42);
    rng.fillRange(reinterpret_cast<quint32 *>(source.data()), Source / 4);

    const double startHwm = statusMB("VmHWM");
    ByteStore store(ByteStore::DefaultWindow, noFile
                                                  ? ByteStore::FileFactory([] { return std::unique_ptr<SpillFile>(); })
                                                  : ByteStore::FileFactory(openSpillFile));
    std::printf("%lld MB in 4 KB appends, window %lld MB, chunk %lld KB, %s\n", (long long)totalMB,
                (long long)(store.window() >> 20), (long long)(store.chunkSize() >> 10),
                noFile ? "no spill file" : "spill file in $XDG_CACHE_HOME or ~/.cache");
    std::printf("peak resident before: %.1f MB\n", startHwm);

    qint64 sum = 0;
    qint64 k = 0;
    Clock::duration segmentTime {};
    Clock::duration longest {};
    double slowest = 1e300, fastest = 0;
    double cpuAtSegment = cpuSeconds();
    while (store.size() < total) {
        const char *block = source.constData() + sourceOffset(k++);
        const auto t = Clock::now();
        store.append(block, Block);
        const auto d = Clock::now() - t;
        segmentTime += d;
        longest = std::max(longest, d);
        for (qsizetype i = 0; i < Block; ++i)
            sum += static_cast<unsigned char>(block[i]);
        if (store.size() % Segment == 0) {
            const double rate = double(Segment) / 1048576.0 / seconds(segmentTime);
            slowest = std::min(slowest, rate);
            fastest = std::max(fastest, rate);
            // CPU time includes making the check sum, the same in every segment.
            const double cpu = cpuSeconds();
            std::printf("%5lld MB  %7.0f MB/s  CPU %5.2f ms/MB  longest append %6.0f us  in memory %5.1f MB  in the "
                        "file %6lld MB\n",
                        (long long)(store.size() >> 20), rate, (cpu - cpuAtSegment) * 1000.0 / 128.0,
                        seconds(longest) * 1e6, double(store.memoryUsed()) / 1048576.0,
                        (long long)(store.spilledBytes() >> 20));
            segmentTime = {};
            longest = {};
            cpuAtSegment = cpu;
        }
    }
    std::printf("append rate: slowest segment / fastest = %.2f\n", slowest / fastest);
    std::printf("peak resident after appending: %.1f MB (now %.1f MB)\n", statusMB("VmHWM"), statusMB("VmRSS"));

    printReads("from the page cache", readBack(store, source, sum));
    if (!noFile) {
        const int fd = reopenSpillFile();
        if (fd >= 0 && ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0)
            printReads("from the disk", readBack(store, source, sum));
        else
            std::printf("could not drop the file's pages from the page cache\n");
        if (fd >= 0)
            ::close(fd);
    }
    std::printf("peak resident at the end: %.1f MB; store's memory %.1f MB; read failures %lld\n", statusMB("VmHWM"),
                double(store.memoryUsed()) / 1048576.0, (long long)store.readFailures());
    return 0;
}
