#pragma once

#include <QtGlobal>
#include <limits>

namespace corvanel {

// Screen readers count a text's characters in int. A text longer than that
// is shown to them as a window of at most `limit` characters that always
// holds the newest text and the caret:
//
// - while the caret is among the newest `limit` characters, the window is
//   one stretch ending at the end of the text;
// - otherwise it is two stretches joined: up to half the limit around the
//   caret, then the newest characters.
//
// The window's edges move in steps of an eighth of the limit (about 268
// million characters), so that offsets a reader holds stay valid for a
// while as text arrives; an offset moves only when an edge does. A text no
// longer than the limit is its own window, offset for position.
class OffsetWindow
{
public:
    static constexpr qint64 IntLimit = std::numeric_limits<int>::max();

    static OffsetWindow of(qint64 length, qint64 caret, qint64 limit = IntLimit);

    qint64 size() const { return m_headSize + m_tailSize; }
    // The position of an offset (0 to size()).
    qint64 position(qint64 offset) const;
    // The offset of a position; one outside the window gets the nearest
    // edge of the stretch it missed.
    qint64 offset(qint64 pos) const;
    // Where the second stretch starts, in offsets (size() when there is one).
    qint64 seam() const { return m_headSize; }
    qint64 headStart() const { return m_headStart; }
    qint64 tailStart() const { return m_tailStart; }

private:
    qint64 m_headStart = 0;
    qint64 m_headSize = 0;
    qint64 m_tailStart = 0;
    qint64 m_tailSize = 0;
};

} // namespace corvanel
