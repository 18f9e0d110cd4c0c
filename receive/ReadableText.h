#pragma once

#include "OffsetWindow.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <utility>

namespace corvanel {

// The receive box as screen readers see it, all that its accessibility
// adapter and its announcer read and move: the text, the caret and the
// selection, the rows as shown, and places on screen. Offsets are character
// offsets into the whole text.
class ReadableText
{
public:
    virtual ~ReadableText() = default;

    virtual qint64 length() const = 0;
    // One character per character of the text, with NUL shown as U+2400,
    // since D-Bus strings cannot carry it.
    virtual QString accessibleText(qint64 start, qint64 end) const = 0;
    // Screen readers count in int: past INT_MAX characters they get a window
    // of the text that holds the newest text and the caret. Their offsets
    // are offsets into it.
    virtual OffsetWindow accessibleWindow() const = 0;

    virtual qint64 cursorPosition() const = 0;
    virtual qint64 selectionStart() const = 0;
    virtual qint64 selectionEnd() const = 0;
    // Selects from anchor to cursor (the same for no selection).
    virtual void select(qint64 anchor, qint64 cursor) = 0;

    // Rows as shown: the row holding pos, and a row's [start, end), the end
    // being the next row's start.
    virtual qint64 rowCount() const = 0;
    virtual qint64 rowAt(qint64 pos) const = 0;
    virtual std::pair<qint64, qint64> rowRange(qint64 row) const = 0;

    // The caret's rectangle before pos, and the offset at a point, on screen.
    virtual QRect screenCaretRect(qint64 pos) const = 0;
    virtual qint64 offsetAtScreen(const QPoint &globalPoint) const = 0;
};

} // namespace corvanel
