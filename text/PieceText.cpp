#include "PieceText.h"

#include <algorithm>

namespace corvanel {

qint64 PieceText::lengthOf(const Pieces &pieces)
{
    qint64 n = 0;
    for (const Piece &p : pieces)
        n += p.length;
    return n;
}

PieceText::PieceText(std::unique_ptr<ByteStore> store) : m_store(std::move(store)) {}

size_t PieceText::pieceOf(qint64 pos) const
{
    auto it = std::upper_bound(m_starts.begin(), m_starts.end(), pos);
    return it == m_starts.begin() ? 0 : static_cast<size_t>(it - m_starts.begin() - 1);
}

void PieceText::renumberFrom(size_t piece)
{
    m_starts.resize(m_pieces.size());
    qint64 start = piece == 0 ? 0 : m_starts[piece - 1] + m_pieces[piece - 1].length;
    for (size_t i = piece; i < m_pieces.size(); ++i) {
        m_starts[i] = start;
        start += m_pieces[i].length;
    }
}

size_t PieceText::splitAt(qint64 pos)
{
    if (pos >= m_size)
        return m_pieces.size();
    const size_t i = pieceOf(pos);
    const qint64 offset = pos - m_starts[i];
    if (offset == 0)
        return i;
    const Piece whole = m_pieces[i];
    m_pieces[i].length = offset;
    m_pieces.insert(m_pieces.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                    Piece {whole.at + offset, whole.length - offset});
    m_starts.insert(m_starts.begin() + static_cast<std::ptrdiff_t>(i) + 1, pos);
    return i + 1;
}

void PieceText::append(const char *data, qsizetype n)
{
    if (n <= 0)
        return;
    // Arrivals continue the last piece while nothing was typed in between.
    if (!m_pieces.empty() && m_pieces.back().at + m_pieces.back().length == m_store->size()) {
        m_pieces.back().length += n;
    } else {
        m_pieces.push_back({m_store->size(), n});
        m_starts.push_back(m_size);
    }
    m_store->append(data, n);
    m_size += n;
}

PieceText::Piece PieceText::insert(qint64 pos, const QByteArray &bytes)
{
    const Piece added {m_store->size(), bytes.size()};
    if (bytes.isEmpty())
        return added;
    pos = std::clamp<qint64>(pos, 0, m_size);
    if (pos == m_size) {
        append(bytes);
        return added;
    }
    m_store->append(bytes.constData(), bytes.size());
    put(pos, {added});
    return added;
}

PieceText::Piece PieceText::keep(const QByteArray &bytes)
{
    const Piece kept {m_store->size(), bytes.size()};
    m_store->append(bytes.constData(), bytes.size());
    return kept;
}

PieceText::Pieces PieceText::take(qint64 pos, qint64 n)
{
    pos = std::clamp<qint64>(pos, 0, m_size);
    n = std::clamp<qint64>(n, 0, m_size - pos);
    if (n == 0)
        return {};
    const size_t first = splitAt(pos);
    const size_t last = splitAt(pos + n);
    const auto begin = m_pieces.begin() + static_cast<std::ptrdiff_t>(first);
    const auto end = m_pieces.begin() + static_cast<std::ptrdiff_t>(last);
    Pieces taken(begin, end);
    m_pieces.erase(begin, end);
    m_size -= n;
    renumberFrom(first);
    return taken;
}

void PieceText::put(qint64 pos, const Pieces &pieces)
{
    const qint64 n = lengthOf(pieces);
    if (n == 0)
        return;
    pos = std::clamp<qint64>(pos, 0, m_size);
    const size_t i = splitAt(pos);
    m_pieces.insert(m_pieces.begin() + static_cast<std::ptrdiff_t>(i), pieces.begin(), pieces.end());
    m_size += n;
    renumberFrom(i);
}

void PieceText::clear()
{
    m_pieces.clear();
    m_pieces.shrink_to_fit();
    m_starts.clear();
    m_starts.shrink_to_fit();
    m_size = 0;
    m_store->clear();
}

char PieceText::at(qint64 pos) const
{
    const size_t i = pieceOf(pos);
    return m_store->at(m_pieces[i].at + pos - m_starts[i]);
}

QByteArray PieceText::mid(qint64 pos, qint64 n) const
{
    QByteArray out;
    if (pos < 0 || pos >= m_size || n <= 0)
        return out;
    out.reserve(static_cast<qsizetype>(std::min(n, m_size - pos)));
    forEachPiece(pos, n, [&](const char *d, qsizetype k) { out.append(d, k); });
    return out;
}

qint64 PieceText::memoryUsed() const
{
    return m_store->memoryUsed()
           + static_cast<qint64>(m_pieces.capacity() * sizeof(Piece) + m_starts.capacity() * sizeof(qint64));
}

bool PieceText::tryLoad(qint64 pos, qint64 n) const
{
    bool atHand = true;
    if (pos < 0 || n <= 0 || pos >= m_size)
        return atHand;
    n = std::min(n, m_size - pos);
    size_t i = pieceOf(pos);
    qint64 offset = pos - m_starts[i];
    // Every piece is asked, so that all that is missing is fetched at once.
    for (; n > 0 && i < m_pieces.size(); ++i, offset = 0) {
        const qint64 take = std::min(n, m_pieces[i].length - offset);
        atHand = m_store->tryLoad(m_pieces[i].at + offset, take) && atHand;
        n -= take;
    }
    return atHand;
}

} // namespace corvanel
