#include "ByteStore.h"
#include "FakeSpillFile.h"
#include "ReadAhead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace corvanel;

// Reading spilled bytes back for a caller that must not wait for the disk
// (a paint): what is at hand, what is fetched, and the file's own thread.
namespace {

// How many of the pages of [offset, offset + n) of the file /proc names are
// in the page cache, after dropping them first if asked (written out first).
qint64 pagesCached(const QString &procFd, qint64 offset, qint64 n, bool dropFirst)
{
    const int fd = ::open(QFile::encodeName(procFd).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (dropFirst) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    }
    qint64 cached = -1;
    void *map = ::mmap(nullptr, size_t(n), PROT_READ, MAP_SHARED, fd, off_t(offset));
    if (map != MAP_FAILED) {
        std::vector<unsigned char> pages(size_t(n / ::sysconf(_SC_PAGESIZE)));
        if (::mincore(map, size_t(n), pages.data()) == 0)
            cached = std::count_if(pages.begin(), pages.end(), [](unsigned char c) { return c & 1; });
        ::munmap(map, size_t(n));
    }
    ::close(fd);
    return cached;
}

// The memory this process has mapped, in KB, counted exactly (Rss of
// smaps_rollup, where the status file's counts are approximate).
qint64 residentKb()
{
    QFile rollup(QStringLiteral("/proc/self/smaps_rollup"));
    if (!rollup.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        if (line.startsWith("Rss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Whether the file /proc names is mapped into this process.
bool isMapped(const QString &procFd)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly)
           && maps.readAll().contains(QFile::encodeName(QFileInfo(procFd).symLinkTarget()));
}

} // namespace

class TestSpillReads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A paint asks row by row: a block found not at hand is looked for in
    // the page cache once, and again only after something has arrived.
    void aMissingBlockIsLookedForOnceUntilAnArrival()
    {
        SpilledStore spilled;
        auto &[disk, store, bytes] = spilled;
        store.setArrival([] {});
        disk->slow = true;
        for (int row = 0; row < 5; ++row)
            QVERIFY(!store.tryLoad(10 * 1024 + row * 10, 10));
        QCOMPARE(disk->atHandLooks, 1);
        QVERIFY(!store.tryLoad(11 * 1024, 10)); // another block is looked for
        QCOMPARE(disk->atHandLooks, 2);
        disk->arrive(); // in, and the disk fast again
        QVERIFY(store.tryLoad(10 * 1024, 10));
        QCOMPARE(disk->atHandLooks, 3);
        QCOMPARE(store.mid(10 * 1024, 10), bytes.mid(10 * 1024, 10));
    }

    // However slow the disk, a block whose fetch has not arrived is never
    // waited for; one just fetched and still refused (a file system that
    // never reads without waiting) is read the ordinary way, so a paint is
    // never blank for good.
    void aBlockIsWaitedForOnlyOnceFetched()
    {
        SpilledStore spilled;
        auto &[disk, store, bytes] = spilled;
        int arrived = 0;
        store.setArrival([&arrived] { ++arrived; });
        disk->slow = true;
        QVERIFY(!store.tryLoad(10 * 1024, 10));
        QTest::qWait(300);
        QVERIFY(!store.tryLoad(10 * 1024, 10)); // still being fetched
        QCOMPARE(disk->reads, 0);
        for (const auto &fetched : std::exchange(disk->arrivals, {}))
            fetched(); // in, yet still refused
        QCOMPARE(arrived, 2);
        QVERIFY(!store.tryLoad(11 * 1024, 10)); // another block: not fetched yet
        QVERIFY(store.tryLoad(10 * 1024, 10));
        QCOMPARE(disk->reads, 1);
        QCOMPARE(store.mid(10 * 1024, 10), bytes.mid(10 * 1024, 10));
        QCOMPARE(disk->reads, 1); // from the cache
        for (const auto &fetched : std::exchange(disk->arrivals, {}))
            fetched();
        QTest::qWait(1100); // an arrival long past says nothing of the page cache now
        QVERIFY(!store.tryLoad(11 * 1024, 10));
        QCOMPARE(disk->reads, 1);
        QVERIFY(!disk->arrivals.empty()); // fetched again
        store.clear(); // a fetch from before the clear counts for nothing after it
        store.append(bytes.constData(), bytes.size());
        for (const auto &fetched : std::exchange(disk->arrivals, {}))
            fetched();
        QVERIFY(!store.tryLoad(11 * 1024, 10));
        QCOMPARE(disk->reads, 1);
    }

    // The real file reads without waiting only what the page cache holds,
    // and on a miss starts no reading of its own (that could wait for a busy
    // disk's queue): the pages stay out until a read proper brings them in.
    void theRealFileReadsAtHandOnlyWhatIsCached()
    {
        // Beside the test rather than in /tmp, which may be a memory file system.
        QTemporaryDir cache(QCoreApplication::applicationDirPath() + QStringLiteral("/spill-XXXXXX"));
        QVERIFY(cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        std::unique_ptr<SpillFile> file = openSpillFile();
        qunsetenv("XDG_CACHE_HOME");
        QVERIFY(file);
        const QByteArray bytes = pattern(0, 1 << 20);
        QVERIFY(file->write(0, bytes.constData(), bytes.size()));
        const QString fd = openFileIn(cache.path());
        const qint64 at = 256 * 1024, n = 64 * 1024;
        if (pagesCached(fd, at, n, true) != 0)
            QSKIP("this file system keeps the file's pages in memory");
        QByteArray got(n, '\0');
        QCOMPARE(file->readAtHand(at + 100, got.data(), n - 200), SpillFile::Outcome::WouldWait);
        QTest::qWait(100);
        QCOMPARE(pagesCached(fd, at, n, false), 0);
        QVERIFY(file->read(at, got.data(), n));
        got.fill('\0');
        QCOMPARE(file->readAtHand(at + 100, got.data(), n - 200), SpillFile::Outcome::Done);
        QCOMPARE(got.left(n - 200), bytes.mid(at + 100, n - 200));

        // The file stays mapped between looks (a look that maps and unmaps
        // takes the address space's lock for writing), but what was read
        // at hand is not left mapped, to count as the program's memory;
        // after the file is emptied and written again the new bytes are
        // read; and copies past the mapping's renewal read right.
        QVERIFY(isMapped(fd));
        file->truncate();
        const QByteArray again = pattern(3, 1 << 20);
        QVERIFY(file->write(0, again.constData(), again.size()));
        QByteArray all(again.size(), '\0');
        QVERIFY(file->read(0, all.data(), all.size()));
        all.fill('\0');
        const qint64 resident = residentKb();
        QCOMPARE(file->readAtHand(0, all.data(), all.size()), SpillFile::Outcome::Done);
        QVERIFY2(residentKb() - resident < 256, qPrintable(QString::number(residentKb() - resident)));
        QCOMPARE(all, again);
        for (int i = 0; i < 1100; ++i) {
            const qint64 from = (i * 4099) % (again.size() - n);
            QCOMPARE(file->readAtHand(from, got.data(), n), SpillFile::Outcome::Done);
            QCOMPARE(got, again.mid(from, n));
        }
    }

    // A caller that must not wait is told so, and the blocks are fetched;
    // a read proper still gets the real bytes, and once they are in they are
    // read without waiting, into the cache.
    void aLoadThatMustNotWaitFetchesInstead()
    {
        using Ranges = std::vector<std::pair<qint64, qint64>>;
        SpilledStore spilled;
        auto &[disk, store, bytes] = spilled;
        int arrived = 0;
        store.setArrival([&arrived] { ++arrived; });
        const qint64 b = 1024;
        disk->slow = true;
        QVERIFY(store.tryLoad(store.size() - 100, 100)); // in memory
        QVERIFY(!store.tryLoad(20 * b + 5, 2 * b));
        QCOMPARE(disk->fetches, (Ranges {{22 * b, b}, {21 * b, b}, {20 * b, b}})); // the first block newest
        QCOMPARE(disk->reads, 0);
        QCOMPARE(store.mid(20 * b + 5, 2 * b), bytes.mid(20 * b + 5, 2 * b));
        QCOMPARE(disk->reads, 3);
        QVERIFY(!store.tryLoad(30 * b, 1)); // what waits is never a placeholder
        QCOMPARE(store.at(30 * b), bytes.at(30 * b));
        disk->arrive();
        QCOMPARE(arrived, 4);
        QVERIFY(store.tryLoad(40 * b + 5, 2 * b));
        const int reads = disk->reads;
        QCOMPARE(store.mid(40 * b + 5, 2 * b), bytes.mid(40 * b + 5, 2 * b));
        QCOMPARE(disk->reads, reads);
        QCOMPARE(store.readFailures(), 0);
    }

    // The real file's reading ahead: it reads what was asked on its own
    // thread, and a store cleared or destroyed while much is still asked
    // for goes on as if there were none (this runs under the sanitizers too).
    void readAheadComesAndGoesSafely()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        const QByteArray bytes = pattern(0, 1 << 20);
        QCOMPARE(file.write(bytes), bytes.size());
        QVERIFY(file.flush());
        {
            ReadAhead ahead(file.handle());
            for (int i = 0; i < ReadAhead::MaxPending + 4; ++i)
                ahead.request(i * 100000, 100000); // the oldest may be dropped
            ahead.request(900000, 1 << 20); // runs past the end
            QTRY_VERIFY(!ahead.busy());
            QVERIFY(ahead.bytesAsked() >= (ReadAhead::MaxPending - 1) * 100000 + (1 << 20)); // the newest kept
            QVERIFY(ahead.bytesAsked() <= (ReadAhead::MaxPending + 4) * 100000 + (1 << 20));
            std::atomic<int> arrived {0};
            QVERIFY(ahead.fetch(500000, 1 << 20, [&arrived] { ++arrived; })); // read for real, past the end too
            QTRY_COMPARE(arrived.load(), 1);
            for (int i = 0; i < 100; ++i)
                ahead.request(0, qint64(1) << 40);
        } // destroyed with requests waiting

        QTemporaryDir cache;
        QVERIFY(cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        QRandomGenerator rng(7);
        for (int round = 0; round < 20; ++round) {
            ByteStore store(4096);
            store.setArrival([] {});
            for (int refill = 0; refill < 2; ++refill) {
                const QByteArray content = pattern(round * 1000 + refill, 1 << 19);
                store.append(content.constData(), content.size());
                for (int i = 0; i < 50; ++i) {
                    const qint64 pos = rng.bounded(int(store.spilledBytes()));
                    QCOMPARE(store.mid(pos, 3000), content.mid(pos, 3000));
                    store.tryLoad(rng.bounded(int(store.spilledBytes())), 3000); // fetches left pending
                }
                if (refill == 0)
                    store.clear(); // the file emptied while its reading ahead is pending
            }
        } // and destroyed so
        qunsetenv("XDG_CACHE_HOME");
    }
};

QTEST_GUILESS_MAIN(TestSpillReads)
#include "tst_spillreads.moc"
