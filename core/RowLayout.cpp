#include "RowLayout.h"

#include "PieceText.h"

#include <algorithm>
#include <limits>

namespace corvanel {
namespace {

// Walks the text from a row start and reports each new row start. Stop(s)
// returning true ends the walk before s is reported.
template <typename Report>
void scanRows(const PieceText &text, const std::array<qint32, 256> &advance, qint64 width, qint64 start,
              Report &&report)
{
    // Line breaks are given an advance no row can hold, so that one test
    // sends both a break and a full row to the careful path below.
    constexpr qint64 BreakMark = std::numeric_limits<qint64>::max() / 4;
    std::array<qint64, 256> fastAdvance {};
    std::copy(advance.begin(), advance.end(), fastAdvance.begin());
    fastAdvance['\r'] = fastAdvance['\n'] = BreakMark;

    const qint64 size = text.size();
    qint64 rowStart = start;
    qint64 lastBreak = -1; // just after the last blank of the row
    qint64 x = 0;          // in 64ths of a pixel
    bool skipLineFeed = false;
    bool stopped = false;
    qint64 pieceStart = start; // text position of the piece's first byte
    const auto scan = [&](const char *data, qsizetype n) {
        const qint64 base = pieceStart;
        pieceStart += n;
        qsizetype i = 0;
        if (skipLineFeed) {
            skipLineFeed = false;
            if (n > 0 && data[0] == '\n')
                i = 1;
        }
        while (i < n && !stopped) {
            // Characters that fit on the row: most of the text.
            qint64 fx = x;
            qsizetype blank = -1;
            for (; i < n; ++i) {
                const auto c = static_cast<unsigned char>(data[i]);
                const qint64 w = fastAdvance[c];
                if (fx + w > width)
                    break;
                fx += w;
                blank = c == ' ' ? i : blank;
            }
            x = fx;
            if (blank >= 0)
                lastBreak = base + blank + 1;
            if (i == n)
                return;

            // A line break, or a character that does not fit.
            const qint64 pos = base + i;
            const char c = data[i];
            if (c == '\r' || c == '\n') {
                qint64 next = pos + 1;
                if (c == '\r') {
                    // CR LF is one line break; look ahead across the piece.
                    if (next < size && (i + 1 < n ? data[i + 1] : text.at(next)) == '\n') {
                        ++next;
                        if (i + 1 < n)
                            ++i;
                        else
                            skipLineFeed = true;
                    }
                }
                if (report(next)) {
                    stopped = true;
                    return;
                }
                rowStart = next;
                lastBreak = -1;
                x = 0;
                ++i;
                continue;
            }
            const qint32 w = advance[static_cast<unsigned char>(c)];
            if (pos > rowStart) {
                qint64 next = pos;
                x = 0;
                if (lastBreak > rowStart && lastBreak < pos) {
                    next = lastBreak;
                    // The word moving down is within this piece, or spans
                    // the end of the one before: measure it where it lies.
                    if (pos - lastBreak <= i) {
                        for (qsizetype k = i - (pos - lastBreak); k < i; ++k)
                            x += advance[static_cast<unsigned char>(data[k])];
                    } else {
                        text.forEachPiece(lastBreak, pos - lastBreak, [&](const char *d, qsizetype m) {
                            for (qsizetype k = 0; k < m; ++k)
                                x += advance[static_cast<unsigned char>(d[k])];
                        });
                    }
                }
                if (report(next)) {
                    stopped = true;
                    return;
                }
                rowStart = next;
                lastBreak = -1;
            }
            // Placed: on the new row, or alone on a row too narrow for it.
            x += w;
            if (c == ' ')
                lastBreak = pos + 1;
            ++i;
        }
    };
    // A window at a time, so that a walk that stops early reads no further:
    // older text may have to come back from the temporary file.
    constexpr qint64 Window = 64 * 1024;
    for (qint64 from = start; from < size && !stopped; from += Window)
        text.forEachPiece(from, std::min(Window, size - from), scan);
}

} // namespace

void RowLayout::layoutFrom(const PieceText &text, size_t from)
{
    m_textSize = text.size();
    from = std::min(from, m_rows.size() - 1);
    m_rows.resize(from + 1);
    qint64 start = m_rows[from];
    // A row that began after a final CR moves past the LF that completes it.
    if (start > 0 && start < text.size() && text.at(start) == '\n' && text.at(start - 1) == '\r')
        m_rows[from] = ++start;
    scanRows(text, m_advances, m_width, start, [this](qint64 next) {
        m_rows.push_back(next);
        return false;
    });
}

RowLayout::Rows RowLayout::freshRows()
{
    // std::deque asks for its blocks of 512 bytes one at a time.
    return Rows({0}, PoolAllocator<qint64>(std::make_shared<BlockPool>(512)));
}

void RowLayout::layout(const PieceText &text, const Advances &advances, qint64 width)
{
    m_advances = advances;
    m_width = width;
    m_rows = freshRows(); // the old rows' memory goes with them
    layoutFrom(text, 0);
}

void RowLayout::appended(const PieceText &text)
{
    // Only the last row can change: lay out from there.
    layoutFrom(text, m_rows.size() - 1);
}

qint64 RowLayout::memoryUsed() const
{
    return static_cast<qint64>(std::max(m_rows.size() * sizeof(qint64), m_rows.get_allocator().pool()->reserved()));
}

qint64 RowLayout::rowEnd(qint64 row) const
{
    return row + 1 < rowCount() ? m_rows[static_cast<size_t>(row + 1)] : m_textSize;
}

qint64 RowLayout::rowOf(qint64 pos) const
{
    auto it = std::upper_bound(m_rows.begin(), m_rows.end(), pos);
    return it == m_rows.begin() ? 0 : static_cast<qint64>(it - m_rows.begin() - 1);
}

void RowLayout::edited(const PieceText &text, qint64 pos, qint64 removed, qint64 inserted)
{
    m_textSize = text.size();
    const qint64 delta = inserted - removed;
    // Wrapping can pull text back onto the row before, so start one row earlier.
    const auto first = static_cast<size_t>(std::max<qint64>(0, rowOf(pos) - 1));
    const qint64 settled = pos + inserted + 1; // rows starting beyond this are as before
    std::deque<qint64> fresh;
    size_t resumeAt = m_rows.size();
    scanRows(text, m_advances, m_width, m_rows[first], [&](qint64 next) {
        if (next > settled) {
            // The old layout had a row here too: everything after it holds.
            const qint64 old = next - delta;
            auto it = std::lower_bound(m_rows.begin() + static_cast<std::ptrdiff_t>(first) + 1, m_rows.end(), old);
            if (it != m_rows.end() && *it == old) {
                resumeAt = static_cast<size_t>(it - m_rows.begin());
                return true;
            }
        }
        fresh.push_back(next);
        return false;
    });
    // In place: the rows that changed, then the rest moved by delta.
    const auto at = m_rows.begin() + static_cast<std::ptrdiff_t>(first) + 1;
    m_rows.erase(at, m_rows.begin() + static_cast<std::ptrdiff_t>(resumeAt));
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(first) + 1, fresh.begin(), fresh.end());
    for (size_t j = first + 1 + fresh.size(); j < m_rows.size(); ++j)
        m_rows[j] += delta;
    // After a large deletion most of the pool would sit unused: the rows
    // left move to a pool of their own and the old one goes.
    constexpr std::size_t Worth = 4 * 1024 * 1024;
    const std::size_t reserved = m_rows.get_allocator().pool()->reserved();
    if (reserved >= Worth && m_rows.size() * sizeof(qint64) < reserved / 4) {
        Rows kept = freshRows();
        kept.assign(m_rows.begin(), m_rows.end());
        m_rows = std::move(kept);
    }
}


} // namespace corvanel
