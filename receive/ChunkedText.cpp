#include "receive/ChunkedText.h"

#include <algorithm>

namespace corvanel {

size_t ChunkedText::chunkOf(qint64 pos) const
{
    // The last chunk whose start is <= pos.
    auto it = std::upper_bound(m_starts.begin(), m_starts.end(), pos);
    return it == m_starts.begin() ? 0 : static_cast<size_t>(it - m_starts.begin() - 1);
}

void ChunkedText::renumberFrom(size_t chunk)
{
    m_starts.resize(m_chunks.size());
    qint64 start = chunk == 0 ? 0 : m_starts[chunk - 1] + m_chunks[chunk - 1].size();
    for (size_t i = chunk; i < m_chunks.size(); ++i) {
        m_starts[i] = start;
        start += m_chunks[i].size();
    }
}

void ChunkedText::append(const char *data, qsizetype n)
{
    while (n > 0) {
        if (m_chunks.empty() || m_chunks.back().size() >= ChunkSize) {
            m_starts.push_back(m_size);
            m_chunks.emplace_back();
            m_chunks.back().reserve(ChunkSize); // filled in place, never reallocated
        }
        QByteArray &last = m_chunks.back();
        const qsizetype take = std::min(n, ChunkSize - last.size());
        last.append(data, take);
        data += take;
        n -= take;
        m_size += take;
    }
}

void ChunkedText::insert(qint64 pos, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    pos = std::clamp<qint64>(pos, 0, m_size);
    if (pos == m_size) {
        append(bytes);
        return;
    }
    const size_t c = chunkOf(pos);
    QByteArray &chunk = m_chunks[c];
    chunk.insert(static_cast<qsizetype>(pos - m_starts[c]), bytes);
    m_size += bytes.size();
    // Keep chunks bounded so that later edits stay cheap.
    if (chunk.size() > 2 * ChunkSize) {
        std::vector<QByteArray> pieces;
        for (qsizetype at = 0; at < chunk.size(); at += ChunkSize)
            pieces.push_back(chunk.mid(at, ChunkSize));
        m_chunks.erase(m_chunks.begin() + static_cast<std::ptrdiff_t>(c));
        m_chunks.insert(m_chunks.begin() + static_cast<std::ptrdiff_t>(c), pieces.begin(), pieces.end());
    }
    renumberFrom(c);
}

void ChunkedText::remove(qint64 pos, qint64 n)
{
    pos = std::clamp<qint64>(pos, 0, m_size);
    n = std::clamp<qint64>(n, 0, m_size - pos);
    if (n == 0)
        return;
    const size_t first = chunkOf(pos);
    size_t c = first;
    qint64 offset = pos - m_starts[c];
    qint64 left = n;
    while (left > 0) {
        QByteArray &chunk = m_chunks[c];
        const qint64 take = std::min(left, chunk.size() - offset);
        chunk.remove(static_cast<qsizetype>(offset), static_cast<qsizetype>(take));
        left -= take;
        offset = 0;
        ++c;
    }
    m_size -= n;
    m_chunks.erase(std::remove_if(m_chunks.begin() + static_cast<std::ptrdiff_t>(first), m_chunks.end(),
                                  [](const QByteArray &b) { return b.isEmpty(); }),
                   m_chunks.end());
    if (m_chunks.empty()) {
        m_starts.clear();
        return;
    }
    renumberFrom(std::min(first, m_chunks.size() - 1));
}

void ChunkedText::clear()
{
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_starts.clear();
    m_starts.shrink_to_fit();
    m_size = 0;
}

char ChunkedText::at(qint64 pos) const
{
    const size_t c = chunkOf(pos);
    return m_chunks[c].at(static_cast<qsizetype>(pos - m_starts[c]));
}

QByteArray ChunkedText::mid(qint64 pos, qint64 n) const
{
    QByteArray out;
    if (pos < 0 || pos >= m_size || n <= 0)
        return out;
    out.reserve(static_cast<qsizetype>(std::min(n, m_size - pos)));
    forEachPiece(pos, n, [&](const char *d, qsizetype k) { out.append(d, k); });
    return out;
}

qint64 ChunkedText::capacity() const
{
    qint64 total = 0;
    for (const QByteArray &c : m_chunks)
        total += c.capacity();
    return total;
}

} // namespace corvanel
