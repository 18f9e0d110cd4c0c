// The receive box as a text box: caret, selection, keys, mouse, clipboard,
// drag and drop, undo and redo.

#include "ReceiveView.h"
#include "TextMoves.h"
#include "Messages.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QStyleHints>
#include <climits>

namespace corvanel {
namespace {

QByteArray toBytes(const QString &text)
{
    // One byte per character; a character above 255 becomes '?'.
    return text.toLatin1();
}

} // namespace

// ---- caret and selection ----------------------------------------------------

void ReceiveView::moveCursor(qint64 pos, bool keepAnchor)
{
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    // Nothing can stand between the CR and the LF of a line break.
    m_cursor = moves::outOfPair(m_text, std::clamp<qint64>(pos, 0, m_text.size()));
    if (!keepAnchor)
        m_anchor = m_cursor;
    m_caretShown = true;
    m_history.breakRun();
    ensureCursorVisible();
    viewport()->update();
    announceCaret(oldAnchor, oldCursor);
}

void ReceiveView::setCursorPosition(qint64 pos, bool keepAnchor)
{
    m_preferredX = -1;
    moveCursor(pos, keepAnchor);
}

void ReceiveView::ensureCursorVisible()
{
    const qint64 row = rowOf(m_cursor);
    if (row < m_firstRow)
        scrollToRow(row);
    else if (row >= m_firstRow + visibleRows())
        scrollToRow(row - visibleRows() + 1);
}

QString ReceiveView::selectedText() const
{
    return QString::fromLatin1(m_text.mid(selectionStart(), selectionEnd() - selectionStart()));
}

void ReceiveView::selectAll()
{
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    m_anchor = 0;
    m_cursor = m_text.size();
    m_history.breakRun();
    viewport()->update();
    announceCaret(oldAnchor, oldCursor);
}

// ---- editing ------------------------------------------------------------------

void ReceiveView::copy() const
{
    if (selectionEnd() > selectionStart())
        QApplication::clipboard()->setText(selectedText());
}

void ReceiveView::cut()
{
    copy();
    replaceSelection({});
}

void ReceiveView::paste()
{
    insertText(QApplication::clipboard()->text());
}

void ReceiveView::insertText(const QString &text)
{
    replaceSelection(toBytes(text));
}

void ReceiveView::replaceSelection(const QByteArray &bytes, EditKind kind)
{
    edit(selectionStart(), selectionEnd(), bytes, kind);
}

void ReceiveView::edit(qint64 start, qint64 end, const QByteArray &bytes, EditKind kind)
{
    if (start == end && bytes.isEmpty())
        return;
    PieceText::Pieces inserted;
    if (!bytes.isEmpty())
        inserted.push_back(m_text.keep(bytes)); // into the store, then into the text by reference
    PieceText::Pieces removed = swapText(start, end - start, inserted, start + bytes.size());
    m_history.record(kind, {start, std::move(removed), std::move(inserted)});
}

PieceText::Pieces ReceiveView::swapText(qint64 pos, qint64 length, const PieceText::Pieces &inserted, qint64 caretAfter)
{
    announceAppended(true); // earlier arrivals first, so that positions agree
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    const QString removedText
        = QAccessible::isActive() ? accessibleText(pos, pos + std::min(length, AccessibleEventCap)) : QString();
    relayoutIfResized();
    PieceText::Pieces removed = m_text.take(pos, length);
    m_text.put(pos, inserted);
    const qint64 added = PieceText::lengthOf(inserted);
    m_layout.edited(m_text, pos, length, added);
    m_cursor = m_anchor = moves::outOfPair(m_text, caretAfter);
    m_preferredX = -1;
    updateScrollBar(false);
    ensureCursorVisible();
    viewport()->update();
    announceEdit(pos, removedText, added);
    announceCaret(oldAnchor, oldCursor);
    return removed;
}

void ReceiveView::undo()
{
    const EditHistory::Step step = m_history.undo();
    for (auto c = step.rbegin(); c != step.rend(); ++c)
        swapText(c->pos, PieceText::lengthOf(c->inserted), c->removed, c->pos + PieceText::lengthOf(c->removed));
}

void ReceiveView::redo()
{
    for (const EditHistory::Change &c : m_history.redo())
        swapText(c.pos, PieceText::lengthOf(c.removed), c.inserted, c.pos + PieceText::lengthOf(c.inserted));
}

void ReceiveView::deleteBackward(bool word)
{
    if (m_anchor != m_cursor)
        replaceSelection({});
    else if (m_cursor > 0)
        edit(word ? moves::previousWord(m_text, m_cursor) : moves::previousStop(m_text, m_cursor), m_cursor, {},
             word ? EditKind::Other : EditKind::Backspace);
}

void ReceiveView::deleteForward(bool word)
{
    if (m_anchor != m_cursor)
        replaceSelection({});
    else if (m_cursor < m_text.size())
        edit(m_cursor, word ? moves::nextWord(m_text, m_cursor) : moves::nextStop(m_text, m_cursor), {},
             word ? EditKind::Other : EditKind::Delete);
}

// ---- keys ---------------------------------------------------------------------

void ReceiveView::keyPressEvent(QKeyEvent *e)
{
    if (shortcutKey(e) || caretKey(e) || editKey(e)) {
        e->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

bool ReceiveView::shortcutKey(QKeyEvent *e)
{
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    if (e->matches(QKeySequence::Undo))
        undo();
    else if (e->matches(QKeySequence::Redo) || (ctrl && e->key() == Qt::Key_Y)
             || (ctrl && shift && e->key() == Qt::Key_Z))
        redo();
    else if (e->matches(QKeySequence::SelectAll))
        selectAll();
    else if (e->matches(QKeySequence::Copy))
        copy();
    else if (e->matches(QKeySequence::Cut))
        cut();
    else if (e->matches(QKeySequence::Paste))
        paste();
    else if (e->matches(QKeySequence::DeleteStartOfWord))
        deleteBackward(true);
    else if (e->matches(QKeySequence::DeleteEndOfWord))
        deleteForward(true);
    else
        return false;
    return true;
}

bool ReceiveView::caretKey(QKeyEvent *e)
{
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const int key = e->key();
    if (e->matches(QKeySequence::MoveToStartOfDocument) || e->matches(QKeySequence::SelectStartOfDocument))
        setCursorPosition(0, shift);
    else if (e->matches(QKeySequence::MoveToEndOfDocument) || e->matches(QKeySequence::SelectEndOfDocument))
        setCursorPosition(m_text.size(), shift);
    else if (e->matches(QKeySequence::MoveToNextWord) || e->matches(QKeySequence::SelectNextWord))
        setCursorPosition(moves::nextWord(m_text, m_cursor), shift);
    else if (e->matches(QKeySequence::MoveToPreviousWord) || e->matches(QKeySequence::SelectPreviousWord))
        setCursorPosition(moves::previousWord(m_text, m_cursor), shift);
    else if (key == Qt::Key_Left || key == Qt::Key_Right)
        moveSideways(key == Qt::Key_Left, shift);
    else if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown)
        moveByRows(key, shift);
    else if (key == Qt::Key_Home)
        setCursorPosition(m_layout.rowStart(rowOf(m_cursor)), shift);
    else if (key == Qt::Key_End)
        setCursorPosition(rowLastStop(rowOf(m_cursor)), shift);
    else
        return false;
    return true;
}

void ReceiveView::moveSideways(bool left, bool shift)
{
    if (!shift && m_anchor != m_cursor)
        setCursorPosition(left ? selectionStart() : selectionEnd());
    else
        setCursorPosition(left ? moves::previousStop(m_text, m_cursor) : moves::nextStop(m_text, m_cursor), shift);
}

void ReceiveView::moveByRows(int key, bool shift)
{
    // The caret keeps the column it had before a run of such moves.
    if (m_preferredX < 0)
        m_preferredX = caretRect(m_cursor).x();
    const int step = (key == Qt::Key_Up || key == Qt::Key_Down) ? 1 : visibleRows();
    const int sign = (key == Qt::Key_Up || key == Qt::Key_PageUp) ? -1 : 1;
    const qint64 row = std::clamp<qint64>(rowOf(m_cursor) + qint64(sign) * step, 0, rowCount() - 1);
    const qreal keepX = m_preferredX;
    moveCursor(offsetInRow(row, static_cast<int>(keepX)), shift);
    m_preferredX = keepX;
}

bool ReceiveView::editKey(QKeyEvent *e)
{
    const int key = e->key();
    if (key == Qt::Key_Backspace)
        deleteBackward(false);
    else if (key == Qt::Key_Delete)
        deleteForward(false);
    else if (key == Qt::Key_Return || key == Qt::Key_Enter)
        replaceSelection("\r\n");
    else if (!e->text().isEmpty() && !e->text().at(0).isNull() && e->text().at(0).isPrint())
        replaceSelection(toBytes(e->text()), EditKind::Typing);
    else
        return false;
    return true;
}

// ---- mouse ----------------------------------------------------------------------

void ReceiveView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    const qint64 at = offsetAt(e->position().toPoint());
    // A press inside the selection may be the start of dragging it.
    m_pressedInSelection = !(e->modifiers() & Qt::ShiftModifier) && at >= selectionStart() && at < selectionEnd();
    m_pressPoint = e->position().toPoint();
    if (!m_pressedInSelection)
        setCursorPosition(at, e->modifiers() & Qt::ShiftModifier);
    e->accept();
}

void ReceiveView::mouseMoveEvent(QMouseEvent *e)
{
    if (!(e->buttons() & Qt::LeftButton)) {
        e->accept();
        return;
    }
    if (m_pressedInSelection) {
        if ((e->position().toPoint() - m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
            m_pressedInSelection = false;
            startDrag();
        }
    } else {
        setCursorPosition(offsetAt(e->position().toPoint()), true);
    }
    e->accept();
}

void ReceiveView::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && m_pressedInSelection) {
        // A click in the selection, not a drag: place the caret there.
        m_pressedInSelection = false;
        setCursorPosition(offsetAt(e->position().toPoint()));
    }
    e->setAccepted(e->button() == Qt::LeftButton);
}

void ReceiveView::mouseDoubleClickEvent(QMouseEvent *e)
{
    const auto [start, end] = moves::wordAt(m_text, offsetAt(e->position().toPoint()));
    m_anchor = start;
    moveCursor(end, true);
}

// ---- drag and drop ----------------------------------------------------------------

void ReceiveView::startDrag()
{
    auto *mime = new QMimeData;
    mime->setText(selectedText());
    auto *drag = new QDrag(this);
    drag->setMimeData(mime);
    const qint64 start = selectionStart();
    const qint64 end = selectionEnd();
    // A move into another widget takes the text out of this box; a move
    // within the box is done by the drop itself (and reported as a copy).
    if (drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction) == Qt::MoveAction)
        edit(start, end, {});
}

void ReceiveView::dragEnterEvent(QDragEnterEvent *e)
{
    if (e->mimeData()->hasText())
        e->acceptProposedAction();
}

void ReceiveView::dragMoveEvent(QDragMoveEvent *e)
{
    const qint64 at = offsetAt(e->position().toPoint());
    // Dropping the selection onto itself would do nothing.
    if (!e->mimeData()->hasText() || (e->source() == this && at > selectionStart() && at < selectionEnd())) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
}

void ReceiveView::dropEvent(QDropEvent *e)
{
    const qint64 at = offsetAt(e->position().toPoint());
    const qint64 start = selectionStart();
    const qint64 end = selectionEnd();
    if (!e->mimeData()->hasText() || (e->source() == this && at > start && at < end)) {
        e->ignore();
        return;
    }
    m_history.breakRun();
    if (e->source() == this && e->dropAction() == Qt::MoveAction) {
        // Within the box: the selection's own pieces move, in one step.
        PieceText::Pieces moved = swapText(start, end - start, {}, start);
        const qint64 target = at >= end ? at - (end - start) : at;
        swapText(target, 0, moved, target + (end - start));
        m_history.recordStep({{start, moved, {}}, {target, {}, moved}});
        m_anchor = target;
        e->setDropAction(Qt::CopyAction);
    } else {
        const QByteArray bytes = toBytes(e->mimeData()->text());
        edit(at, at, bytes);
        m_anchor = at;
        e->acceptProposedAction();
    }
    viewport()->update();
    e->accept();
}

// ---- context menu -------------------------------------------------------------------

void ReceiveView::contextMenuEvent(QContextMenuEvent *e)
{
    const std::unique_ptr<QMenu> menu(createContextMenu());
    menu->exec(e->globalPos());
}

QMenu *ReceiveView::createContextMenu()
{
    auto *menu = new QMenu(this);
    const bool hasSelection = selectionEnd() > selectionStart();
    menu->addAction(msg::text(msg::Undo), this, &ReceiveView::undo)->setEnabled(isUndoAvailable());
    menu->addAction(msg::text(msg::Redo), this, &ReceiveView::redo)->setEnabled(isRedoAvailable());
    menu->addSeparator();
    menu->addAction(msg::text(msg::Cut), this, &ReceiveView::cut)->setEnabled(hasSelection);
    menu->addAction(msg::text(msg::Copy), this, &ReceiveView::copy)->setEnabled(hasSelection);
    menu->addAction(msg::text(msg::Paste), this, &ReceiveView::paste)
        ->setEnabled(!QApplication::clipboard()->text().isEmpty());
    menu->addSeparator();
    menu->addAction(msg::text(msg::SelectAll), this, &ReceiveView::selectAll);
    menu->addSeparator();
    menu->addAction(msg::text(msg::SaveAs), this, &ReceiveView::saveRequested);
    return menu;
}

} // namespace corvanel
