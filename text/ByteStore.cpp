#include "ByteStore.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace corvanel {

namespace {

qint64 chunkSizeFor(qint64 window)
{
    // A quarter of the window, as a power of two between 512 bytes and 2 MB:
    // large writes for the real window, many boundaries for a tiny one.
    qint64 size = 512;
    while (size * 2 <= window / 4 && size * 2 <= ByteStore::MaxChunkSize)
        size *= 2;
    return size;
}

} // namespace

ByteStore::ByteStore(qint64 window, FileFactory files)
    : m_window(std::max<qint64>(window, 0)),
      m_chunkSize(chunkSizeFor(m_window)),
      m_blockSize(std::min(m_chunkSize, MaxBlockSize)),
      m_files(std::move(files))
{}

ByteStore::~ByteStore()
{
    m_file.reset(); // its fetching thread ends before what it calls back into
}

void ByteStore::append(const char *data, qsizetype n)
{
    if (n <= 0)
        return;
    dropHot();
    const qsizetype appended = n;
    while (n > 0) {
        const qint64 inLast = (m_size - m_spilled) - (qint64(m_chunks.size()) - 1) * m_chunkSize;
        if (m_chunks.empty() || inLast == m_chunkSize) {
            m_chunks.push_back(m_spare ? std::move(m_spare) : allocateBulk(static_cast<std::size_t>(m_chunkSize)));
            continue;
        }
        const qsizetype take = qsizetype(std::min<qint64>(n, m_chunkSize - inLast));
        std::memcpy(m_chunks.back().get() + inLast, data, size_t(take));
        data += take;
        n -= take;
        m_size += take;
    }
    spill((appended + CatchUpPerAppend) / m_chunkSize);
}

void ByteStore::spill(qint64 maxChunks)
{
    while (maxChunks-- > 0 && m_chunks.size() >= 2 && (m_size - m_spilled) - m_chunkSize >= m_window) {
        if (m_spillFailedAt >= 0 && (m_size - m_spilled) < m_spillFailedAt + RetryAfter)
            return;
        if (!m_file && m_files)
            m_file = m_files();
        if (!m_file) {
            noteSpillFailure(QStringLiteral("no temporary directory can hold it"));
            return;
        }
        if (!m_file->write(m_spilled, m_chunks.front().get(), qsizetype(m_chunkSize))) {
            noteSpillFailure(m_file->errorString());
            return;
        }
        m_spare = std::move(m_chunks.front());
        m_chunks.pop_front();
        m_spilled += m_chunkSize;
        m_spillFailedAt = -1;
    }
}

void ByteStore::noteSpillFailure(const QString &reason)
{
    m_spillFailedAt = m_size - m_spilled;
    if (m_warnedSpill)
        return;
    m_warnedSpill = true;
    std::fprintf(stderr, "corvanel: cannot move the receive log to a temporary file (%s): keeping it in memory\n",
                 qPrintable(reason));
    std::fflush(stderr);
}

QByteArrayView ByteStore::run(qint64 pos, qint64 maxLen) const
{
    if (pos < 0 || pos >= m_size || maxLen <= 0)
        return {};
    if (pos >= m_spilled) {
        const qint64 c = (pos - m_spilled) / m_chunkSize;
        const qint64 start = m_spilled + c * m_chunkSize;
        const qint64 end = std::min(start + m_chunkSize, m_size);
        const char *data = m_chunks[size_t(c)].get();
        setHot(start, end, data);
        return QByteArrayView(data + (pos - start), qsizetype(std::min(maxLen, end - pos)));
    }
    const qint64 index = pos / m_blockSize;
    const qint64 start = index * m_blockSize;
    const qint64 end = start + m_blockSize; // within the file: m_spilled is a multiple of the block size
    const Block &block = fileBlock(index);
    if (block.index == index)
        setHot(start, end, block.data.get());
    else
        dropHot(); // a failed read is tried again next time
    return QByteArrayView(block.data.get() + (pos - start), qsizetype(std::min(maxLen, end - pos)));
}

ByteStore::Block *ByteStore::cachedBlock(qint64 index) const
{
    for (Block &b : m_cache) {
        if (b.index == index)
            return &b;
    }
    return nullptr;
}

ByteStore::Block &ByteStore::victimBlock() const
{
    Block *victim = &m_cache.front(); // an empty block, else the least recently used
    for (Block &b : m_cache) {
        if (victim->index >= 0 && (b.index < 0 || b.lastUse < victim->lastUse))
            victim = &b;
    }
    return *victim;
}

const ByteStore::Block &ByteStore::fileBlock(qint64 index) const
{
    ++m_uses;
    if (Block *b = cachedBlock(index)) {
        b->lastUse = m_uses;
        return *b;
    }
    Block *victim = &victimBlock();
    if (!victim->data)
        victim->data.reset(new char[size_t(m_blockSize)]);
    victim->lastUse = m_uses;
    if (m_file && m_file->read(index * m_blockSize, victim->data.get(), qsizetype(m_blockSize))) {
        victim->index = index;
        readAheadAround(index);
        return *victim;
    }
    victim->index = -1;
    std::memset(victim->data.get(), '?', size_t(m_blockSize));
    ++m_readFailures;
    if (!m_warnedRead) {
        m_warnedRead = true;
        std::fprintf(stderr, "corvanel: cannot read the receive log back from its temporary file (%s): showing '?'\n",
                     m_file ? qPrintable(m_file->errorString()) : "no file");
        std::fflush(stderr);
    }
    return *victim;
}

void ByteStore::readAheadAround(qint64 index) const
{
    const auto cached = [this](qint64 i) {
        return i >= 0 && std::any_of(m_cache.begin(), m_cache.end(), [i](const Block &b) { return b.index == i; });
    };
    const bool forward = cached(index - 1);
    const bool backward = cached(index + 1);
    // Reading on, or back: the next blocks that way. After a jump, one on
    // either side, for whichever way the reader goes next; none in a gap.
    const qint64 before = forward ? 0 : backward ? ReadAheadBlocks : 1;
    const qint64 after = backward ? 0 : forward ? ReadAheadBlocks : 1;
    const qint64 first = std::max<qint64>(index - before, 0);
    const qint64 end = std::min(index + 1 + after, m_spilled / m_blockSize);
    if (first < index)
        m_file->readAhead(first * m_blockSize, (index - first) * m_blockSize);
    if (index + 1 < end)
        m_file->readAhead((index + 1) * m_blockSize, (end - index - 1) * m_blockSize);
}

bool ByteStore::requestFetch(qint64 index) const
{
    const quint64 round = m_fetchRound;
    const auto arrived = [this, index, round, tell = m_arrived] {
        {
            const std::lock_guard<std::mutex> lock(m_arrivedMutex);
            if (round == m_fetchRound) {
                if (m_arrivedBlocks.size() >= size_t {4} * CacheBlocks) // those of places long left
                    m_arrivedBlocks.erase(m_arrivedBlocks.begin());
                m_arrivedBlocks.push_back({index, std::chrono::steady_clock::now()});
            }
        }
        ++m_arrivals;
        tell();
    };
    return m_file->fetch(index * m_blockSize, m_blockSize, arrived);
}

bool ByteStore::fetchArrived(qint64 index) const
{
    const std::lock_guard<std::mutex> lock(m_arrivedMutex);
    const auto it = std::find_if(m_arrivedBlocks.begin(), m_arrivedBlocks.end(),
                                 [index](const Arrival &a) { return a.index == index; });
    if (it == m_arrivedBlocks.end())
        return false;
    // An arrival long past says nothing of the page cache now: the pages
    // may have been dropped since, and the block is fetched again.
    const bool fresh = std::chrono::steady_clock::now() - it->at <= ArrivalFresh;
    if (!fresh)
        m_arrivedBlocks.erase(it);
    return fresh;
}

bool ByteStore::knownMissing(qint64 index) const
{
    const quint64 arrivals = m_arrivals.load();
    if (arrivals != m_missingSince) {
        m_missing.clear();
        m_missingSince = arrivals;
    }
    return std::find(m_missing.begin(), m_missing.end(), index) != m_missing.end();
}

bool ByteStore::blockAtHand(qint64 index) const
{
    const auto settled = [&] {
        const std::lock_guard<std::mutex> lock(m_arrivedMutex);
        m_arrivedBlocks.erase(std::remove_if(m_arrivedBlocks.begin(), m_arrivedBlocks.end(),
                                             [index](const Arrival &a) { return a.index == index; }),
                              m_arrivedBlocks.end());
        return true;
    };
    if (cachedBlock(index))
        return settled();
    if (knownMissing(index))
        return false;
    if (!m_scratch)
        m_scratch.reset(new char[size_t(m_blockSize)]);
    switch (m_file->readAtHand(index * m_blockSize, m_scratch.get(), qsizetype(m_blockSize))) {
    case SpillFile::Outcome::WouldWait:
        if (!fetchArrived(index)) {
            if (m_missing.size() >= size_t {4} * CacheBlocks) // with no fetching thread nothing ever arrives
                m_missing.erase(m_missing.begin());
            m_missing.push_back(index);
            return false;
        }
        fileBlock(index); // fetched, and still not to be had without waiting
        return settled();
    case SpillFile::Outcome::Failed:
        return true; // the read proper tries again, and reports it
    case SpillFile::Outcome::Done:
        break;
    }
    // The real bytes, read whole: they go into the cache as a read would.
    Block &victim = victimBlock();
    dropHot(); // at() may be reading from the block that goes
    std::swap(victim.data, m_scratch);
    victim.index = index;
    victim.lastUse = ++m_uses;
    readAheadAround(index);
    return settled();
}

bool ByteStore::tryLoad(qint64 pos, qint64 n) const
{
    const qint64 end = std::min(pos + std::max<qint64>(n, 0), m_spilled);
    if (pos < 0 || pos >= end || !m_file)
        return true; // in memory, or nothing
    if (!m_arrived)
        return true; // no one to tell: the caller reads for itself, waiting
    // Block by block, the last first: fetches are taken newest first, so the
    // top of a screen comes in first.
    bool atHand = true;
    for (qint64 index = (end - 1) / m_blockSize; index >= pos / m_blockSize; --index) {
        if (!blockAtHand(index) && requestFetch(index))
            atHand = false;
    }
    return atHand;
}

QByteArray ByteStore::mid(qint64 pos, qint64 n) const
{
    QByteArray out;
    if (pos < 0 || pos >= m_size || n <= 0)
        return out;
    out.reserve(qsizetype(std::min(n, m_size - pos)));
    forEachPiece(pos, n, [&](const char *d, qsizetype k) { out.append(d, k); });
    return out;
}

void ByteStore::clear()
{
    dropHot();
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_spare.reset();
    m_scratch.reset();
    {
        const std::lock_guard<std::mutex> lock(m_arrivedMutex);
        m_arrivedBlocks.clear();
        ++m_fetchRound;
    }
    m_missing.clear();
    for (Block &b : m_cache) {
        b.data.reset();
        b.index = -1;
    }
    if (m_file)
        m_file->truncate();
    m_size = 0;
    m_spilled = 0;
    m_spillFailedAt = -1;
}

qint64 ByteStore::memoryUsed() const
{
    qint64 total = (qint64(m_chunks.size()) + (m_spare ? 1 : 0)) * m_chunkSize;
    for (const Block &b : m_cache)
        total += b.data ? m_blockSize : 0;
    total += m_scratch ? m_blockSize : 0;
    return total;
}

} // namespace corvanel
