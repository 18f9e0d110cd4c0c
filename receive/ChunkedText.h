#pragma once

#include <QByteArray>
#include <vector>

namespace corvanel {

// Text of one byte per character, held in chunks so that appending costs what
// is appended and an edit in the middle costs one chunk, however much is held.
class ChunkedText
{
public:
    static constexpr qsizetype ChunkSize = 64 * 1024;

    qint64 size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    void append(const char *data, qsizetype n);
    void append(const QByteArray &bytes) { append(bytes.constData(), bytes.size()); }
    // Inserts at pos (0..size()).
    void insert(qint64 pos, const QByteArray &bytes);
    // Removes n characters from pos; clamped to the text.
    void remove(qint64 pos, qint64 n);
    void clear();

    char at(qint64 pos) const;
    QByteArray mid(qint64 pos, qint64 n) const;
    QByteArray toByteArray() const { return mid(0, m_size); }

    // Calls f(const char *data, qsizetype n) for consecutive pieces of [pos, pos+n).
    template <typename F>
    void forEachPiece(qint64 pos, qint64 n, F &&f) const
    {
        if (pos < 0 || n <= 0 || pos >= m_size)
            return;
        n = std::min(n, m_size - pos);
        size_t c = chunkOf(pos);
        qint64 offset = pos - m_starts[c];
        while (n > 0 && c < m_chunks.size()) {
            const QByteArray &chunk = m_chunks[c];
            const qsizetype take = static_cast<qsizetype>(std::min<qint64>(n, chunk.size() - offset));
            f(chunk.constData() + offset, take);
            n -= take;
            offset = 0;
            ++c;
        }
    }

    // Bytes reserved for the text (for memory accounting).
    qint64 capacity() const;

private:
    size_t chunkOf(qint64 pos) const;
    void renumberFrom(size_t chunk);

    std::vector<QByteArray> m_chunks;
    std::vector<qint64> m_starts; // offset of each chunk's first character
    qint64 m_size = 0;
};

} // namespace corvanel
