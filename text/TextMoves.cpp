#include "TextMoves.h"

#include "PieceText.h"
#include "RowLayout.h"

#include <QChar>

namespace corvanel::moves {
namespace {

// The stock text layout's word separators.
bool isSeparator(char c)
{
    switch (c) {
    case '.':
    case ',':
    case '?':
    case '!':
    case '@':
    case '#':
    case '$':
    case ':':
    case ';':
    case '-':
    case '<':
    case '>':
    case '[':
    case ']':
    case '(':
    case ')':
    case '{':
    case '}':
    case '=':
    case '/':
    case '+':
    case '%':
    case '&':
    case '^':
    case '*':
    case '\'':
    case '"':
    case '`':
    case '~':
    case '|':
    case '\\':
        return true;
    default:
        return false;
    }
}

bool isBlank(char c)
{
    return !isBreak(c) && QChar(static_cast<char16_t>(static_cast<unsigned char>(c))).isSpace();
}

bool inWord(char c)
{
    return !isBreak(c) && !isBlank(c) && !isSeparator(c);
}

// Just past the run that starts at pos (< size): separators, or a word.
qint64 endOfRun(const PieceText &text, qint64 pos)
{
    const qint64 size = text.size();
    const auto inRun = isSeparator(text.at(pos)) ? isSeparator : inWord;
    while (pos < size && inRun(text.at(pos)))
        ++pos;
    return pos;
}

} // namespace

bool isBreak(char c)
{
    return c == '\r' || c == '\n';
}

qint64 nextStop(const PieceText &text, qint64 pos)
{
    if (pos >= text.size())
        return text.size();
    if (text.at(pos) == '\r' && pos + 1 < text.size() && text.at(pos + 1) == '\n')
        return pos + 2;
    return pos + 1;
}

qint64 previousStop(const PieceText &text, qint64 pos)
{
    if (pos <= 0)
        return 0;
    if (pos >= 2 && text.at(pos - 1) == '\n' && text.at(pos - 2) == '\r')
        return pos - 2;
    return pos - 1;
}

qint64 outOfPair(const PieceText &text, qint64 pos)
{
    if (pos > 0 && pos < text.size() && text.at(pos - 1) == '\r' && text.at(pos) == '\n')
        return pos - 1;
    return pos;
}

qint64 nextWord(const PieceText &text, qint64 pos)
{
    const qint64 size = text.size();
    if (pos >= size)
        return size;
    if (isBreak(text.at(pos)))
        return nextStop(text, pos);
    pos = endOfRun(text, pos);
    while (pos < size && isBlank(text.at(pos)))
        ++pos;
    return pos;
}

qint64 previousWord(const PieceText &text, qint64 pos)
{
    if (pos <= 0)
        return 0;
    if (isBreak(text.at(pos - 1)))
        return previousStop(text, pos);
    while (pos > 0 && isBlank(text.at(pos - 1)))
        --pos;
    if (pos > 0 && isSeparator(text.at(pos - 1))) {
        while (pos > 0 && isSeparator(text.at(pos - 1)))
            --pos;
    } else {
        while (pos > 0 && inWord(text.at(pos - 1)))
            --pos;
    }
    return pos;
}

std::pair<qint64, qint64> wordAt(const PieceText &text, qint64 pos)
{
    const qint64 size = text.size();
    pos = outOfPair(text, std::clamp<qint64>(pos, 0, size));
    const bool lineEnd = pos >= size || isBreak(text.at(pos));
    // The start: at the end of a line after a blank or a separator there is
    // no word; otherwise back to the start of the word the pointer is in.
    qint64 start = pos;
    if (pos > 0 && !isBreak(text.at(pos - 1))) {
        if (lineEnd && !inWord(text.at(pos - 1)))
            return {pos, pos};
        start = previousWord(text, lineEnd ? pos : pos + 1);
    }
    qint64 end = start;
    if (end < size && !isBreak(text.at(end)))
        end = endOfRun(text, end);
    return {start, end};
}

qint64 rowLastStop(const PieceText &text, const RowLayout &rows, qint64 row)
{
    const qint64 start = rows.rowStart(row);
    qint64 end = rows.rowEnd(row);
    if (end > start && isBreak(text.at(end - 1))) {
        while (end > start && isBreak(text.at(end - 1)))
            --end;
    } else if (row + 1 < rows.rowCount() && end > start) {
        // A wrapped row: its end is the next row's start, so the last place
        // on this row is before its last character, as in a stock text box.
        --end;
    }
    return end;
}

} // namespace corvanel::moves
