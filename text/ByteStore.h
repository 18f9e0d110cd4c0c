#pragma once

#include "BulkMemory.h"
#include "SpillFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>
#include <deque>
#include <functional>
#include <memory>

namespace corvanel {

// Bytes in order, only ever appended, until cleared. The newest `window`
// bytes (at least) stay in memory; older ones move to a spill file, whole
// chunks at a time, and are read back on demand through a small cache of
// recently used blocks. The file is made on the first spill, so a store that
// never outgrows its window never touches the disk.
//
// If the spill file cannot be made or cannot grow, the bytes stay in memory
// (nothing is lost) and one line goes to standard error, once per store.
// Spilling is tried again only after the memory part has grown by
// RetryAfter more bytes (a disk that was full may have room again), or
// after clear(); the arrears then go to the file CatchUpPerAppend bytes per
// append on top of what is appended, so that no one append stalls for long.
//
// Reading a block from the file asks the file to read ahead: spilled content
// is mostly read a screenful after another (a key held down, a screen reader
// reading on), so the next block is then in the page cache when it is
// wanted. Reading on (the block before is cached) asks for the
// ReadAheadBlocks after it, reading back for those before it, a jump for one
// on either side.
//
// A caller that must not wait for the disk (a paint) asks first with
// tryLoad(): the blocks not at hand are then fetched off its thread, and
// the store's arrival call tells it when to ask again. Every read still
// returns the real bytes, waiting for them if it must. A block whose fetch
// has arrived and that still cannot be had without waiting (a file system
// that never says yes) is then read the ordinary way, so that a paint is not
// blank for good; one whose fetch has not arrived is never waited for,
// however slow the disk.
//
// If spilled bytes cannot be read back (an I/O error on the file), they read
// as '?', one line goes to standard error (once per store) and readFailures()
// counts it, so that a caller saving the content can tell the copy is bad.
// The block is read again on the next access.
//
// Not thread-safe: one thread uses a store. Reads are const but fill the
// cache.
class ByteStore
{
public:
    using FileFactory = std::function<std::unique_ptr<SpillFile>()>;
    // Peak memory is about the window plus one chunk plus the cache
    // (32 + 2 + 2 MB): most of the receive box's own memory, large enough
    // that a session of a few hours at 9600 baud never spills at all.
    static constexpr qint64 DefaultWindow = qint64(32) * 1024 * 1024;
    static constexpr qint64 MaxChunkSize = qint64(2) * 1024 * 1024; // one huge page
    static constexpr qint64 MaxBlockSize = qint64(256) * 1024;
    static constexpr int CacheBlocks = 8;
    static constexpr qint64 ReadAheadBlocks = 2;
    static constexpr qint64 RetryAfter = qint64(64) * 1024 * 1024;
    static constexpr qint64 CatchUpPerAppend = qint64(4) * 1024 * 1024;

    explicit ByteStore(qint64 window = DefaultWindow, FileFactory files = openSpillFile);
    ~ByteStore();
    ByteStore(const ByteStore &) = delete;
    ByteStore &operator=(const ByteStore &) = delete;

    qint64 size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    void append(const char *data, qsizetype n);
    void append(QByteArrayView bytes) { append(bytes.data(), bytes.size()); }

    // The longest contiguous stored run starting at pos (0 <= pos < size()),
    // at most maxLen bytes long; empty outside that range. The view stays
    // valid until the next non-const call or the next run()/at()/mid()/
    // forEachPiece() call.
    QByteArrayView run(qint64 pos, qint64 maxLen) const;
    // The byte at pos (0 <= pos < size()); '\0' outside. Cheap in a loop.
    char at(qint64 pos) const
    {
        if (pos >= m_hotStart && pos < m_hotEnd)
            return m_hotData[pos - m_hotStart];
        const QByteArrayView r = run(pos, 1);
        return r.isEmpty() ? '\0' : r.front();
    }
    // [pos, pos+n), cut at the end; empty if pos is outside the content.
    QByteArray mid(qint64 pos, qint64 n) const;
    // Calls f(const char *data, qsizetype n) over consecutive pieces of
    // [pos, pos+n), cut at the end; nothing if pos is outside the content.
    // f must not change the store.
    template <typename F>
    void forEachPiece(qint64 pos, qint64 n, F &&f) const
    {
        if (pos < 0 || n <= 0 || pos >= m_size)
            return;
        qint64 left = std::min(n, m_size - pos);
        while (left > 0) {
            const QByteArrayView r = run(pos, left);
            f(r.data(), r.size());
            pos += r.size();
            left -= r.size();
        }
    }

    // Whether [pos, pos+n) can be read now without waiting for the disk: it
    // is in memory, or its blocks are, or the page cache holds them (they
    // are then read into the cache of blocks). If not, the missing blocks
    // are fetched and arrived (setArrival()) is called, from another thread,
    // once they are in; false until then. It never changes what is read.
    bool tryLoad(qint64 pos, qint64 n) const;
    // Called from the thread that fetches; it must be safe to call from
    // there for as long as the store lives.
    void setArrival(std::function<void()> arrived) { m_arrived = std::move(arrived); }

    // Empties the store, gives the file's space back and frees the memory.
    void clear();

    qint64 memoryUsed() const; // bytes held in memory (chunks + cache)
    qint64 spilledBytes() const { return m_spilled; } // bytes living in the file
    qint64 window() const { return m_window; }
    // A quarter of the window as a power of two, 512 bytes to 2 MB; each
    // write to the file is one whole chunk.
    qint64 chunkSize() const { return m_chunkSize; }
    qint64 readFailures() const { return m_readFailures; }
    // Whether spilling is held off after a failure (bytes stay in memory).
    bool spillHeldOff() const { return m_spillFailedAt >= 0; }

private:
    struct Block
    {
        std::unique_ptr<char[]> data;
        qint64 index = -1; // block number in the file; -1 when empty
        quint64 lastUse = 0;
    };

    void spill(qint64 maxChunks);
    void noteSpillFailure(const QString &reason);
    const Block &fileBlock(qint64 index) const;
    Block *cachedBlock(qint64 index) const;
    Block &victimBlock() const;
    bool blockAtHand(qint64 index) const;
    bool requestFetch(qint64 index) const; // false: there is no one to fetch it
    bool fetchArrived(qint64 index) const;
    bool knownMissing(qint64 index) const;
    void readAheadAround(qint64 index) const;
    void setHot(qint64 start, qint64 end, const char *data) const
    {
        m_hotStart = start;
        m_hotEnd = end;
        m_hotData = data;
    }
    void dropHot() const { setHot(0, 0, nullptr); }

    const qint64 m_window;
    const qint64 m_chunkSize; // a power of two
    const qint64 m_blockSize; // a power of two dividing m_chunkSize
    FileFactory m_files;
    std::unique_ptr<SpillFile> m_file;

    // Bytes [0, m_spilled) are in the file, [m_spilled, m_size) in m_chunks;
    // every chunk but the last is full, so m_spilled is a multiple of
    // m_chunkSize and no block straddles the boundary.
    using Chunk = Bulk;
    std::deque<Chunk> m_chunks;
    Chunk m_spare; // a spilled chunk kept for the next one
    qint64 m_size = 0;
    qint64 m_spilled = 0;
    qint64 m_spillFailedAt = -1; // memory part's size at the last failure
    bool m_warnedSpill = false;

    std::function<void()> m_arrived;
    mutable std::array<Block, CacheBlocks> m_cache;
    mutable std::unique_ptr<char[]> m_scratch; // a block read without waiting lands here first
    // Blocks whose fetch has arrived since they were last at hand, written
    // by the fetching thread; m_fetchRound tells a fetch asked before the
    // last clear() from one after it.
    // Only a recent arrival counts: the repaint it asks for comes within
    // milliseconds, while one from a place left long ago may be stale.
    static constexpr std::chrono::milliseconds ArrivalFresh {1000};
    struct Arrival
    {
        qint64 index;
        std::chrono::steady_clock::time_point at;
    };
    mutable std::mutex m_arrivedMutex;
    mutable std::vector<Arrival> m_arrivedBlocks;
    quint64 m_fetchRound = 0;
    // Blocks found not at hand since the last arrival (m_arrivals counts
    // them, from the fetching thread): a paint asks row by row, and until
    // something arrives the page cache need not be looked at again.
    mutable std::atomic<quint64> m_arrivals {0};
    mutable quint64 m_missingSince = 0;
    mutable std::vector<qint64> m_missing;
    mutable quint64 m_uses = 0;
    mutable qint64 m_readFailures = 0;
    mutable bool m_warnedRead = false;
    // The run at() reads from without a lookup.
    mutable qint64 m_hotStart = 0;
    mutable qint64 m_hotEnd = 0;
    mutable const char *m_hotData = nullptr;
};

} // namespace corvanel
