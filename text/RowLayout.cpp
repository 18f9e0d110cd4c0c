#include "RowLayout.h"

#include "PieceText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace corvanel {
namespace {

using FastAdvances = std::array<qint64, 256>;
// The row walk reads the text this much at a time.
constexpr qint64 Window = qint64 {64} * 1024;

// Line breaks are given an advance no row can hold, so that one test in the
// fitting loop sends both a break and a full row to the careful path.
FastAdvances withBreakMarks(const std::array<qint32, 256> &advance)
{
    constexpr qint64 BreakMark = std::numeric_limits<qint64>::max() / 4;
    FastAdvances fast {};
    std::copy(advance.begin(), advance.end(), fast.begin());
    fast['\r'] = fast['\n'] = BreakMark;
    return fast;
}

// The characters from i on that fit on a row already x wide: most of the
// text, so the loop only adds advances. Returns the first that does not, or
// n; x follows.
inline qsizetype fit(const FastAdvances &advance, qint64 width, const char *data, qsizetype i, qsizetype n, qint64 &x)
{
    qint64 fx = x;
    for (; i < n; ++i) {
        const qint64 w = advance[static_cast<unsigned char>(data[i])];
        if (fx + w > width)
            break;
        fx += w;
    }
    x = fx;
    return i;
}

// Just after the last blank among data[from, to), base being data's text
// position; lastBreak when there is none. Looked for only where a row
// wraps or a piece ends: rarely, next to the characters fit() adds up.
inline qint64 lastBlank(const char *data, qsizetype from, qsizetype to, qint64 base, qint64 lastBreak)
{
    from = std::max<qsizetype>(from, 0);
    if (from >= to)
        return lastBreak;
    const void *blank = memrchr(data + from, ' ', static_cast<size_t>(to - from));
    return blank == nullptr ? lastBreak : base + (static_cast<const char *>(blank) - data) + 1;
}

// How the walk goes on past a character that ends the fitting loop.
struct Step
{
    qint64 next; // a new row starts here; -1: none does
    qint64 x; // the width on the row after the step
    qint64 lastBreak; // just after the row's last blank, or -1
    qsizetype last; // the piece's last character the step took
    bool lineFeedNext; // a CR ended the piece: skip an LF that starts the next one
};

// The line break at data[i], text position pos. CR LF is one line break,
// even split between two pieces. Inline, as is wrap(): they come once a row.
Q_ALWAYS_INLINE Step lineBreak(const PieceText &text, const char *data, qsizetype i, qsizetype n, qint64 pos)
{
    Step step {pos + 1, 0, -1, i, false};
    if (data[i] != '\r' || step.next >= text.size())
        return step;
    if (i + 1 < n) {
        if (data[i + 1] == '\n') {
            ++step.next;
            ++step.last;
        }
    } else if (text.at(step.next) == '\n') {
        ++step.next;
        step.lineFeedNext = true;
    }
    return step;
}

// The width of the word from text position from to data[i] (at pos), which
// moves down to a new row. It is within this piece, or spans the end of the
// one before: measured where it lies.
Q_NEVER_INLINE qint64 wordWidth(const PieceText &text, const std::array<qint32, 256> &advance, const char *data,
                                qsizetype i, qint64 pos, qint64 from)
{
    qint64 x = 0;
    const auto measure = [&](const char *d, qsizetype begin, qsizetype end) {
        for (qsizetype k = begin; k < end; ++k)
            x += advance[static_cast<unsigned char>(d[k])];
    };
    if (pos - from <= i)
        measure(data, i - (pos - from), i);
    else
        text.forEachPiece(from, pos - from, [&](const char *d, qsizetype m) { measure(d, 0, m); });
    return x;
}

// data[i], at text position pos, does not fit on the row from rowStart, x
// wide so far: the row ends after its last blank if it has one, else before
// the character, and the character goes on the new row. Alone on a row, it
// stays there however narrow the row is.
Q_ALWAYS_INLINE Step wrap(const PieceText &text, const std::array<qint32, 256> &advance, const char *data, qsizetype i,
                          qint64 pos, qint64 rowStart, qint64 x, qint64 lastBreak)
{
    Step step {pos, 0, -1, i, false};
    if (pos == rowStart) {
        step = {-1, x, lastBreak, i, false};
    } else if (lastBreak > rowStart && lastBreak < pos) {
        step.next = lastBreak;
        step.x = wordWidth(text, advance, data, i, pos, lastBreak);
    }
    const auto c = static_cast<unsigned char>(data[i]);
    step.x += advance[c];
    if (c == ' ')
        step.lastBreak = pos + 1;
    return step;
}

// Walks the text from a row start and reports each new row start. Stop(s)
// returning true ends the walk before s is reported.
template <typename Report>
void scanRows(const PieceText &text, const std::array<qint32, 256> &advance, qint64 width, qint64 start,
              Report &&report)
{
    const FastAdvances fastAdvance = withBreakMarks(advance);
    qint64 rowStart = start;
    qint64 lastBreak = -1; // just after the last blank of the row
    qint64 x = 0; // in 64ths of a pixel
    bool skipLineFeed = false;
    bool stopped = false;
    qint64 pieceStart = start; // text position of the piece's first byte
    const auto scan = [&](const char *data, qsizetype n) {
        const qint64 base = pieceStart;
        pieceStart += n;
        auto i = static_cast<qsizetype>(skipLineFeed && n > 0 && data[0] == '\n');
        skipLineFeed = false;
        while (!stopped) {
            i = fit(fastAdvance, width, data, i, n, x);
            if (i == n) {
                lastBreak = lastBlank(data, rowStart - base, n, base, lastBreak);
                return;
            }
            // A line break, or a character that does not fit.
            const qint64 pos = base + i;
            const Step step = data[i] == '\r' || data[i] == '\n'
                                  ? lineBreak(text, data, i, n, pos)
                                  : wrap(text, advance, data, i, pos, rowStart, x,
                                         lastBlank(data, rowStart - base, i, base, lastBreak));
            if (step.next >= 0) {
                stopped = report(step.next);
                if (stopped)
                    return;
                rowStart = step.next;
            }
            x = step.x;
            lastBreak = step.lastBreak;
            i = step.last + 1;
            skipLineFeed = step.lineFeedNext;
        }
    };
    // A window at a time, so that a walk that stops early reads no further:
    // older text may have to come back from the temporary file.
    const qint64 size = text.size();
    for (qint64 from = start; from < size && !stopped; from += Window)
        text.forEachPiece(from, std::min(Window, size - from), scan);
}

} // namespace

void RowLayout::dropGroups()
{
    for (Group &g : m_groups) {
        g.index = SIZE_MAX;
        std::vector<qint64>().swap(g.rows); // the memory too: a large deletion gives it back
    }
}

RowLayout::Group &RowLayout::leastRecent() const
{
    Group *victim = &m_groups.front();
    for (Group &g : m_groups) {
        if (g.lastUse < victim->lastUse)
            victim = &g;
    }
    victim->lastUse = ++m_uses;
    return *victim;
}

void RowLayout::openGroup(qint64 start)
{
    // The group that ends here is likely to be painted next: keep its rows.
    Group &kept = leastRecent();
    kept.index = m_marks.size() - 1;
    m_marks.push_back({start, m_marks.back().row + static_cast<qint64>(m_tail.size())});
    std::swap(kept.rows, m_tail);
    m_tail.clear();
    m_tail.push_back(start);
}

void RowLayout::layoutLastRow(const PieceText &text)
{
    m_text = &text;
    m_textSize = text.size();
    qint64 start = m_tail.back();
    // A row that began after a final CR moves past the LF that completes it.
    if (start > 0 && start < text.size() && text.at(start) == '\n' && text.at(start - 1) == '\r') {
        m_tail.back() = ++start;
        if (m_tail.size() == 1)
            m_marks.back().pos = start;
    }
    scanRows(text, m_advances, m_width, start, [this](qint64 next) {
        addRow(next);
        return false;
    });
}

void RowLayout::layout(const PieceText &text, const Advances &advances, qint64 width)
{
    m_advances = advances;
    m_width = width;
    m_marks = std::deque<Mark> {{0, 0}}; // moved in: the old index's memory goes with it
    m_tail = std::vector<qint64> {0};
    dropGroups();
    layoutLastRow(text);
}

void RowLayout::appended(const PieceText &text)
{
    // Only the last row can change: lay out from there.
    layoutLastRow(text);
}

qint64 RowLayout::memoryUsed() const
{
    auto total = m_marks.size() * sizeof(Mark) + m_tail.capacity() * sizeof(qint64);
    for (const Group &g : m_groups)
        total += g.rows.capacity() * sizeof(qint64);
    return static_cast<qint64>(total);
}

size_t RowLayout::markOf(qint64 pos) const
{
    auto it = std::upper_bound(m_marks.begin(), m_marks.end(), pos, [](qint64 p, const Mark &m) { return p < m.pos; });
    return it == m_marks.begin() ? 0 : static_cast<size_t>(it - m_marks.begin() - 1);
}

const std::vector<qint64> &RowLayout::group(size_t index) const
{
    if (index + 1 >= m_marks.size())
        return m_tail;
    for (Group &g : m_groups) {
        if (g.index == index) {
            g.lastUse = ++m_uses;
            return g.rows;
        }
    }
    Group &g = leastRecent();
    g.index = index;
    const Mark from = m_marks[index];
    const Mark to = m_marks[index + 1];
    const auto count = static_cast<size_t>(to.row - from.row);
    g.rows.assign(1, from.pos);
    scanRows(*m_text, m_advances, m_width, from.pos, [&](qint64 next) {
        if (next >= to.pos || g.rows.size() >= count)
            return true;
        g.rows.push_back(next);
        return false;
    });
    g.rows.resize(count, to.pos); // as many rows as the marks say, whatever happens
    return g.rows;
}

size_t RowLayout::markOfRow(qint64 row) const
{
    auto it = std::upper_bound(m_marks.begin(), m_marks.end(), row, [](qint64 r, const Mark &m) { return r < m.row; });
    return it == m_marks.begin() ? 0 : static_cast<size_t>(it - m_marks.begin() - 1);
}

qint64 RowLayout::rowStart(qint64 row) const
{
    const qint64 tailRow = m_marks.back().row;
    if (row >= tailRow)
        return m_tail[static_cast<size_t>(row - tailRow)];
    const size_t index = markOfRow(row);
    return group(index)[static_cast<size_t>(row - m_marks[index].row)];
}

RowLayout::Span RowLayout::textOfRows(qint64 first, qint64 last) const
{
    first = std::clamp<qint64>(first, 0, rowCount() - 1);
    last = std::clamp<qint64>(last, first, rowCount() - 1);
    const size_t from = markOfRow(first);
    const size_t to = markOfRow(std::min(last + 1, rowCount() - 1)); // rowEnd(last) is the next row's start
    bool laidOut = true;
    for (size_t i = from; i <= to && laidOut; ++i) {
        laidOut = i + 1 >= m_marks.size()
                  || std::any_of(m_groups.begin(), m_groups.end(), [i](const Group &g) { return g.index == i; });
    }
    if (laidOut)
        return {rowStart(first), rowEnd(last), true};
    // Laying a group out reads up to a window past its end, and one
    // character more for a CR LF.
    const qint64 end = to + 1 < m_marks.size() ? m_marks[to + 1].pos + Window + 1 : m_textSize;
    return {m_marks[from].pos, std::min(end, m_textSize), false};
}

qint64 RowLayout::rowEnd(qint64 row) const
{
    return row + 1 < rowCount() ? rowStart(row + 1) : m_textSize;
}

qint64 RowLayout::rowOf(qint64 pos) const
{
    const size_t index = markOf(pos);
    const std::vector<qint64> &rows = group(index);
    auto it = std::upper_bound(rows.begin(), rows.end(), pos);
    return m_marks[index].row + (it == rows.begin() ? 0 : static_cast<qint64>(it - rows.begin() - 1));
}

void RowLayout::edited(const PieceText &text, qint64 pos, qint64 removed, qint64 inserted)
{
    m_text = &text;
    m_textSize = text.size();
    dropGroups();
    const qint64 delta = inserted - removed;
    // Wrapping can pull text back onto the row before, which may be in the
    // group before: lay out again from there.
    size_t first = markOf(pos);
    if (first > 0)
        --first;
    const qint64 settled = pos + inserted + 1; // rows starting beyond this may be as before
    std::deque<Mark> marks(m_marks.begin(), m_marks.begin() + static_cast<std::ptrdiff_t>(first) + 1);
    std::vector<qint64> rows {marks.back().pos};
    qint64 row = marks.back().row; // the number of rows.back()
    size_t old = first + 1; // the next old mark that may still hold
    bool resumed = false;
    scanRows(text, m_advances, m_width, marks.back().pos, [&](qint64 next) {
        if (next > settled) {
            // The old index had a group here too: every group after it holds.
            while (old < m_marks.size() && m_marks[old].pos < next - delta)
                ++old;
            if (old < m_marks.size() && m_marks[old].pos == next - delta) {
                resumed = true;
                return true;
            }
        }
        ++row;
        if (static_cast<qint64>(rows.size()) >= GroupRows && next - rows.front() >= GroupChars) {
            marks.push_back({next, row});
            rows.clear();
        }
        rows.push_back(next);
        return false;
    });
    if (resumed) {
        const qint64 rowDelta = row + 1 - m_marks[old].row;
        for (size_t j = old; j < m_marks.size(); ++j)
            marks.push_back({m_marks[j].pos + delta, m_marks[j].row + rowDelta});
        for (qint64 &start : m_tail)
            start += delta;
    } else {
        m_tail = std::move(rows);
    }
    m_marks = std::move(marks); // a copy the size it needs: a large deletion gives memory back
}

} // namespace corvanel
