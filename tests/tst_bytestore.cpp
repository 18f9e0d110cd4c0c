#include "ByteStore.h"
#include "FakeSpillFile.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <utility>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

using namespace corvanel;

namespace {

// Whatever the process writes on standard error while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QList<QByteArray> lines()
    {
        restore();
        m_file.seek(0);
        QList<QByteArray> out = m_file.readAll().split('\n');
        out.removeAll(QByteArray());
        return out;
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

class TestByteStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Random appends and reads against a plain byte array, with a window so
    // small that nearly everything lives in the file.
    void readsMatchModel_data()
    {
        QTest::addColumn<bool>("realFile");
        QTest::newRow("file in memory") << false;
        QTest::newRow("real temporary file") << true;
    }
    void readsMatchModel()
    {
        QFETCH(bool, realFile);
        QTemporaryDir cache;
        QVERIFY(cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        auto disk = std::make_shared<FakeDisk>();
        const qint64 window = 4096;
        ByteStore store(window, realFile ? ByteStore::FileFactory(openSpillFile) : fakeFiles(disk));
        disk->chunk = store.chunkSize();
        const qint64 block = std::min(store.chunkSize(), ByteStore::MaxBlockSize);
        const qint64 memoryBound = window + 3 * store.chunkSize() + ByteStore::CacheBlocks * block;

        QRandomGenerator rng(20240613);
        QByteArray model;
        for (int step = 0; step < 1500; ++step) {
            const qsizetype n = rng.bounded(20) == 0 ? qsizetype(rng.bounded(60000)) : qsizetype(rng.bounded(3000));
            const QByteArray bytes = pattern(model.size(), n);
            store.append(bytes.constData(), bytes.size());
            model += bytes;
            QCOMPARE(store.size(), model.size());
            QVERIFY(store.size() - store.spilledBytes() >= std::min<qint64>(window, store.size()));
            QVERIFY2(store.memoryUsed() <= memoryBound, qPrintable(QString::number(store.memoryUsed())));
            if (model.isEmpty())
                continue;

            const qint64 pos = rng.bounded(int(model.size()));
            const qint64 len = rng.bounded(5000) + 1;
            const QByteArrayView run = store.run(pos, len);
            QVERIFY(!run.isEmpty());
            QCOMPARE(QByteArray(run.data(), run.size()), model.mid(pos, run.size()));
            // A run stops only at maxLen, the end or a block boundary.
            const qint64 end = pos + run.size();
            QVERIFY(end == std::min<qint64>(pos + len, model.size()) || end % block == 0);

            QByteArray byAt;
            for (qint64 i = pos; i < std::min<qint64>(pos + len, model.size()); ++i)
                byAt += store.at(i);
            QCOMPARE(byAt, model.mid(pos, len));

            const qint64 from = rng.bounded(int(model.size())) - 10;
            QByteArray pieces;
            store.forEachPiece(from, len * 3, [&](const char *d, qsizetype k) {
                QVERIFY(k > 0);
                pieces.append(d, k);
            });
            QCOMPARE(pieces, from < 0 ? QByteArray() : model.mid(from, len * 3));
            QCOMPARE(store.mid(from, len), from < 0 ? QByteArray() : model.mid(from, len));
        }
        QVERIFY(store.spilledBytes() > model.size() / 2);
        QCOMPARE(store.mid(0, model.size()), model);
        QCOMPARE(store.at(model.size()), '\0');
        QVERIFY(store.run(model.size(), 10).isEmpty());
        QVERIFY(!disk->misalignedWrite);
        QCOMPARE(store.readFailures(), 0);
        qunsetenv("XDG_CACHE_HOME");
    }

    // The real file: in the cache directory (else the temporary one), never
    // visible there, given back on clear(), and the store works after it.
    void realFileIsUnnamed()
    {
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const mode_t mask = ::umask(022);
        const QString cache = scratch.filePath(QStringLiteral("cache/corvanel"));
        const QString tmp = scratch.filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(tmp));
        QFile blocker(scratch.filePath(QStringLiteral("plain-file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        qputenv("TMPDIR", QFile::encodeName(tmp));

        // No cache directory yet: it is made, with its missing parent, 0700 (the XDG rule).
        // Then one that cannot be made: the temporary one.
        for (const QString &dir : {cache, blocker.fileName() + QStringLiteral("/cache")}) {
            qputenv("XDG_CACHE_HOME", QFile::encodeName(dir));
            const QString expected = dir == cache ? cache : tmp;
            ByteStore store(4096);
            const QByteArray bytes = pattern(0, 300000);
            store.append(bytes.constData(), bytes.size());
            QVERIFY(store.spilledBytes() > 0);
            const QString fd = openFileIn(expected);
            QVERIFY2(!fd.isEmpty(), qPrintable(expected));
            QVERIFY(QDir(expected)
                        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                        .isEmpty());
            QCOMPARE(store.mid(0, bytes.size()), bytes);

            struct stat st
            {};
            QCOMPARE(::stat(QFile::encodeName(fd).constData(), &st), 0);
            QVERIFY(st.st_size >= store.spilledBytes());
            store.clear();
            QCOMPARE(store.size(), 0);
            QCOMPARE(store.spilledBytes(), 0);
            QCOMPARE(store.memoryUsed(), 0);
            QCOMPARE(::stat(QFile::encodeName(fd).constData(), &st), 0);
            QCOMPARE(st.st_size, 0);

            const QByteArray again = pattern(7, 100000);
            store.append(again.constData(), again.size());
            QVERIFY(store.spilledBytes() > 0);
            QCOMPARE(store.mid(0, again.size()), again);
        }
        QVERIFY(openFileIn(tmp).isEmpty()); // closed with its store
        for (const QString &made : {cache, scratch.filePath(QStringLiteral("cache"))}) {
            struct stat st
            {};
            QCOMPARE(::stat(QFile::encodeName(made).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, mode_t(0700));
        }
        ::umask(mask);

        // Neither directory can hold a file.
        qputenv("TMPDIR", QFile::encodeName(blocker.fileName() + QStringLiteral("/tmp")));
        QVERIFY(!openSpillFile());
        qunsetenv("XDG_CACHE_HOME");
        qunsetenv("TMPDIR");
    }

    // A file that cannot be made or cannot grow: nothing is lost, one line on
    // standard error, and spilling is tried again only now and then.
    void failingFileLosesNothing_data()
    {
        QTest::addColumn<bool>("noFile");
        QTest::addColumn<int>("failFrom");
        QTest::addColumn<int>("failUntil");
        QTest::newRow("no file can be made") << true << INT_MAX << INT_MAX;
        QTest::newRow("disk full from the third write") << false << 3 << INT_MAX;
        QTest::newRow("third write fails, then room again") << false << 3 << 3;
    }
    void failingFileLosesNothing()
    {
        QFETCH(bool, noFile);
        QFETCH(int, failFrom);
        QFETCH(int, failUntil);
        auto disk = std::make_shared<FakeDisk>();
        disk->failFrom = failFrom;
        disk->failUntil = failUntil;
        int nullOpens = 0;
        const qint64 window = 64 * 1024;
        ByteStore store(window, noFile ? ByteStore::FileFactory([&nullOpens] {
                            ++nullOpens;
                            return std::unique_ptr<SpillFile>();
                        })
                                       : fakeFiles(disk));
        disk->chunk = store.chunkSize();

        StderrCapture err;
        QByteArray model;
        const qint64 total = ByteStore::RetryAfter + 8 * 1024 * 1024;
        while (model.size() < total) {
            const QByteArray bytes = pattern(model.size(), 65536);
            store.append(bytes.constData(), bytes.size());
            model += bytes;
        }
        const QList<QByteArray> lines = err.lines();

        QCOMPARE(store.size(), model.size());
        QCOMPARE(store.mid(0, model.size()), model);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.front().startsWith("corvanel: cannot move the receive log to a temporary file (")
                     && lines.front().endsWith("): keeping it in memory"),
                 lines.front().constData());
        if (failUntil == INT_MAX) {
            // One attempt at the start, one after RetryAfter more bytes: not one per append.
            QCOMPARE(noFile ? nullOpens : disk->writes - 2, 2);
            QCOMPARE(store.spilledBytes(), noFile ? 0 : 2 * store.chunkSize());
            QVERIFY(store.spillHeldOff());
        } else {
            // Caught up again within the 8 MB that followed the retry.
            QVERIFY(!store.spillHeldOff());
            QVERIFY(store.memoryUsed() < window + 4 * store.chunkSize() + ByteStore::CacheBlocks * store.chunkSize());
        }
        QVERIFY(!disk->misalignedWrite);
    }

    // Spilled bytes that cannot be read back: '?' in their place, counted,
    // one line on standard error, and the right bytes once the file reads again.
    void failingReadIsCountedAndRetried()
    {
        SpilledStore spilled;
        auto &[disk, store, bytes] = spilled;
        QVERIFY(store.spilledBytes() > 0);

        StderrCapture err;
        disk->failReads = true;
        QCOMPARE(store.mid(0, 100), QByteArray(100, '?'));
        QCOMPARE(store.at(5), '?');
        QCOMPARE(store.mid(store.size() - 100, 100), bytes.right(100)); // the memory part is unaffected
        QCOMPARE(store.readFailures(), 2);
        disk->failReads = false;
        QCOMPARE(store.mid(0, bytes.size()), bytes);
        const QList<QByteArray> lines = err.lines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.front().startsWith("corvanel: cannot read the receive log back from its temporary file ("));
    }

    // A block read from the file asks for the next blocks the way the reader
    // goes, one on either side after a jump, within the spilled part; one
    // already in the cache, or in memory, asks nothing.
    void readsAskForTheNeighbours_data()
    {
        using Asked = std::vector<std::pair<qint64, qint64>>;
        QTest::addColumn<QList<qint64>>("blocks"); // read in this order; -1 is the last spilled one
        QTest::addColumn<Asked>("asked"); // by the last; negative offsets count from the spilled part's end
        const qint64 b = 1024; // the block of a 4096-byte window
        QTest::newRow("a jump") << QList<qint64> {20} << Asked {{19 * b, b}, {21 * b, b}};
        QTest::newRow("a jump to the first block") << QList<qint64> {0} << Asked {{b, b}};
        QTest::newRow("a jump to the last spilled block") << QList<qint64> {-1} << Asked {{-2 * b, b}};
        QTest::newRow("reading on") << QList<qint64> {20, 21} << Asked {{22 * b, 2 * b}};
        QTest::newRow("reading back") << QList<qint64> {20, 19} << Asked {{17 * b, 2 * b}};
        QTest::newRow("reading back to the start") << QList<qint64> {2, 1} << Asked {{0, b}};
        QTest::newRow("filling a gap") << QList<qint64> {20, 22, 21} << Asked {};
    }
    void readsAskForTheNeighbours()
    {
        using Asked = std::vector<std::pair<qint64, qint64>>;
        QFETCH(QList<qint64>, blocks);
        QFETCH(Asked, asked);
        SpilledStore spilled;
        auto &[disk, store, bytes] = spilled;
        const qint64 size = std::min(store.chunkSize(), ByteStore::MaxBlockSize);
        QCOMPARE(size, 1024);
        const qint64 blockCount = store.spilledBytes() / size;
        for (auto &a : asked)
            a.first += a.first < 0 ? store.spilledBytes() : 0;
        for (qint64 block : blocks) {
            block += block < 0 ? blockCount : 0;
            disk->readAheads.clear();
            QCOMPARE(store.at(block * size + 5), bytes.at(block * size + 5));
        }
        QCOMPARE(disk->readAheads, asked);
        const qint64 last = blocks.back() < 0 ? blocks.back() + blockCount : blocks.back();
        QCOMPARE(store.mid(last * size, size), bytes.mid(last * size, size)); // cached: nothing more
        QCOMPARE(store.mid(store.size() - 10, 10), bytes.right(10)); // in memory: nothing either
        QCOMPARE(disk->readAheads, asked);
    }

    void blockPoolGivesDistinctBlocksAndReusesThem()
    {
        BlockPool pool(500); // rounded up to keep every block aligned
        QCOMPARE(pool.blockSize(), size_t(512));
        // Enough blocks to need several slabs.
        const auto takeAll = [&pool] {
            std::vector<char *> blocks(5000);
            for (size_t i = 0; i < blocks.size(); ++i) {
                blocks[i] = static_cast<char *>(pool.take());
                std::memset(blocks[i], int(i), pool.blockSize());
            }
            return blocks;
        };
        std::vector<char *> blocks = takeAll();
        for (size_t i = 0; i < blocks.size(); ++i) {
            QCOMPARE(reinterpret_cast<std::uintptr_t>(blocks[i]) % alignof(std::max_align_t), 0u);
            QVERIFY(std::all_of(blocks[i], blocks[i] + 512, [i](char c) { return c == char(i); })); // no overlap
        }
        for (char *b : blocks)
            pool.give(b);
        std::vector<char *> again = takeAll();
        std::sort(blocks.begin(), blocks.end());
        std::sort(again.begin(), again.end());
        QVERIFY(again == blocks); // the same memory, and no more
    }

    void containersTakeTheirPoolAlong()
    {
        using Rows = std::deque<qint64, PoolAllocator<qint64>>;
        const auto pooled = [] { return PoolAllocator<qint64>(std::make_shared<BlockPool>(512)); };
        Rows a(pooled());
        for (qint64 i = 0; i < 100000; ++i)
            a.push_back(i);
        Rows b(10, 7, pooled());
        b = std::move(a); // b's old pool is let go; a's blocks stay with theirs
        QCOMPARE(b.size(), size_t(100000));
        QCOMPARE(b.back(), 99999);
        Rows c(5, 1, pooled());
        c = b; // c takes b's pool, and lets its own go
        QVERIFY(c == b);
        c.erase(c.begin() + 10, c.begin() + 90000);
        c.insert(c.begin() + 10, b.begin(), b.begin() + 5);
        QCOMPARE(c.size(), size_t(10010 + 5));
        QCOMPARE(c[12], 2);
    }
};

QTEST_GUILESS_MAIN(TestByteStore)
#include "tst_bytestore.moc"
