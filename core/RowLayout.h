#pragma once

#include "BulkMemory.h"

#include <QtGlobal>
#include <array>
#include <deque>

namespace corvanel {

class PieceText;

// Where the receive box's rows start. CR, LF and CR LF each end a row (a CR
// LF split over two arrivals too); a row that would be wider than the width
// wraps after its last blank, or before the character that does not fit.
// Widths are in 64ths of a pixel, one advance per character code. Relaying
// out after an append or an edit costs the rows that change, not the text.
class RowLayout
{
public:
    using Advances = std::array<qint32, 256>;

    // Lays the whole text out with these advances and this width.
    void layout(const PieceText &text, const Advances &advances, qint64 width);
    // The text grew at its end.
    void appended(const PieceText &text);
    // At pos, `removed` characters were replaced by `inserted` ones.
    void edited(const PieceText &text, qint64 pos, qint64 removed, qint64 inserted);

    qint64 width() const { return m_width; }
    qint64 rowCount() const { return static_cast<qint64>(m_rows.size()); }
    // The first character of a row, and the end of a row (the next row's
    // start, or the text's end): a row includes its line break.
    qint64 rowStart(qint64 row) const { return m_rows[static_cast<size_t>(row)]; }
    qint64 rowEnd(qint64 row) const;
    // The row holding pos (a position at a row's start belongs to that row).
    qint64 rowOf(qint64 pos) const;
    // The row index's memory, blocks freed by edits and kept for reuse included.
    qint64 memoryUsed() const;

private:
    // Rebuilds the rows from row index `from` to the end of the text.
    void layoutFrom(const PieceText &text, size_t from);

    // Row starts come in bulk from a pool of their own: at line speeds rows
    // are added by the hundred thousand a second.
    using Rows = std::deque<qint64, PoolAllocator<qint64>>;
    static Rows freshRows();
    Rows m_rows = freshRows();
    Advances m_advances {};
    qint64 m_width = -1;
    qint64 m_textSize = 0;
};

} // namespace corvanel
