#pragma once

#include "PieceText.h"

#include <QByteArray>
#include <QPoint>

class QWidget;

namespace corvanel {

class RowLayout;

// What the editing controller needs of the box that shows the text: the
// text and its rows to read, places on screen, and the one way to change the
// text, so that the rows, the scroll bar and the picture follow every change.
class EditSurface
{
public:
    virtual ~EditSurface() = default;

    virtual const PieceText &content() const = 0;
    virtual const RowLayout &rows() const = 0;
    // Whole rows the box shows at once.
    virtual int visibleRows() const = 0;
    // The character offset at a viewport point, in a row at an x, and the x
    // of the caret before an offset.
    virtual qint64 offsetAt(const QPoint &viewportPoint) const = 0;
    virtual qint64 offsetInRow(qint64 row, int x) const = 0;
    virtual int caretX(qint64 pos) const = 0;

    // Puts bytes into the text's store, for replace() to put into the text.
    virtual PieceText::Piece keep(const QByteArray &bytes) = 0;
    // Takes [pos, pos + length) out and puts `inserted` in; returns what went out.
    virtual PieceText::Pieces replace(qint64 pos, qint64 length, const PieceText::Pieces &inserted) = 0;
    // Replaces the whole text and shows its start.
    virtual void replaceAll(const QByteArray &bytes) = 0;
    // The caret moved to pos: it is scrolled into view and shown at once.
    virtual void showCaret(qint64 pos) = 0;
    // The selection changed where the caret did not.
    virtual void redraw() = 0;
    // The widget, as the parent of a menu and the source of a drag.
    virtual QWidget *widget() = 0;
};

} // namespace corvanel
