#pragma once

#include <QtGlobal>
#include <utility>

namespace corvanel {

class PieceText;
class RowLayout;

// Where the caret goes in the receive box. CR, LF and CR LF are each one line
// break, and the caret never stands inside a CR LF pair. Words follow the
// stock text box's rules, so that the receive box and the send box agree:
// blanks (Unicode white space) separate words, and runs of punctuation such
// as . , ; : - / ( ) count as words of their own.
namespace moves {

bool isBreak(char c);
// The next and previous caret stops: one character, or a whole CR LF.
qint64 nextStop(const PieceText &text, qint64 pos);
qint64 previousStop(const PieceText &text, qint64 pos);
// pos, moved out of a CR LF pair to just before the CR.
qint64 outOfPair(const PieceText &text, qint64 pos);
// Ctrl+Right and Ctrl+Left: the start of the next word, the start of this
// or the previous one. A line break is a stop of its own.
qint64 nextWord(const PieceText &text, qint64 pos);
qint64 previousWord(const PieceText &text, qint64 pos);
// The word a double click at pos selects, as [start, end).
std::pair<qint64, qint64> wordAt(const PieceText &text, qint64 pos);
// The last caret place on a row: before its line break, or before the last
// character of a wrapped row (End goes there).
qint64 rowLastStop(const PieceText &text, const RowLayout &rows, qint64 row);

} // namespace moves
} // namespace corvanel
