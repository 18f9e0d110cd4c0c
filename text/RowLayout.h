#pragma once

#include <QtGlobal>
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace corvanel {

class PieceText;

// Where the receive box's rows start. CR, LF and CR LF each end a row (a CR
// LF split over two arrivals too); a row that would be wider than the width
// wraps after its last blank, or before the character that does not fit.
// Widths are in 64ths of a pixel, one advance per character code. Relaying
// out after an append or an edit costs the rows that change, not the text.
//
// The index is sparse, so that its memory does not grow with the capture:
// the rows come in groups of at least GroupRows rows and GroupChars
// characters, and only each group's first row (a mark: its start and its
// number) is kept, 16 bytes per 256 KB of text or more. The rows of the last
// group are kept whole, since arrivals go there; those of any other group are
// laid out again from the text when asked for, and the last few groups asked
// for are kept. The text must outlive the layout, and be the one last given.
class RowLayout
{
public:
    using Advances = std::array<qint32, 256>;
    static constexpr qint64 GroupRows = 256;
    static constexpr qint64 GroupChars = qint64 {256} * 1024; // one block of the store's file
    static constexpr int CachedGroups = 4;

    // Lays the whole text out with these advances and this width.
    void layout(const PieceText &text, const Advances &advances, qint64 width);
    // The text grew at its end.
    void appended(const PieceText &text);
    // At pos, `removed` characters were replaced by `inserted` ones.
    void edited(const PieceText &text, qint64 pos, qint64 removed, qint64 inserted);

    qint64 width() const { return m_width; }
    qint64 rowCount() const { return m_marks.back().row + static_cast<qint64>(m_tail.size()); }
    // The first character of a row, and the end of a row (the next row's
    // start, or the text's end): a row includes its line break.
    qint64 rowStart(qint64 row) const;
    qint64 rowEnd(qint64 row) const;
    // The row holding pos (a position at a row's start belongs to that row).
    qint64 rowOf(qint64 pos) const;
    // The text that rows first..last (clamped to the rows there are) and the
    // start of the row after them are found from, without reading any:
    // just those rows' [start, end) when their groups' rows are at hand
    // (laidOut), else the text laying those groups out again reads.
    struct Span
    {
        qint64 start;
        qint64 end;
        bool laidOut;
    };
    Span textOfRows(qint64 first, qint64 last) const;
    // The row index's memory: marks, the last group and the groups kept.
    qint64 memoryUsed() const;

private:
    struct Mark
    {
        qint64 pos; // the group's first row starts here
        qint64 row; // and has this number
    };
    struct Group
    {
        size_t index = SIZE_MAX; // into m_marks; SIZE_MAX: empty
        std::vector<qint64> rows;
        quint64 lastUse = 0;
    };

    // Lays out from the start of the last row to the end of the text.
    void layoutLastRow(const PieceText &text);
    // A new row at the end; it may open a new group.
    void addRow(qint64 start)
    {
        if (static_cast<qint64>(m_tail.size()) >= GroupRows && start - m_tail.front() >= GroupChars)
            openGroup(start);
        else
            m_tail.push_back(start);
    }
    void openGroup(qint64 start);
    size_t markOf(qint64 pos) const;
    size_t markOfRow(qint64 row) const;
    // The row starts of group `index` (the last one's are m_tail).
    const std::vector<qint64> &group(size_t index) const;
    Group &leastRecent() const;
    void dropGroups();

    const PieceText *m_text = nullptr;
    // A deque: a capture of any length adds marks without ever copying them all.
    std::deque<Mark> m_marks {{0, 0}};
    std::vector<qint64> m_tail {0}; // the last group's row starts; the first is m_marks.back().pos
    mutable std::array<Group, CachedGroups> m_groups;
    mutable quint64 m_uses = 0;
    Advances m_advances {};
    qint64 m_width = -1;
    qint64 m_textSize = 0;
};

} // namespace corvanel
