#include "ReceiveEditor.h"

#include "EditSurface.h"
#include "Messages.h"
#include "ReceiveAnnouncer.h"
#include "RowLayout.h"
#include "TextMoves.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace corvanel {
namespace {

QByteArray toBytes(const QString &text)
{
    // One byte per character; a character above 255 becomes '?'.
    return text.toLatin1();
}

} // namespace

ReceiveEditor::ReceiveEditor(EditSurface &surface, ReceiveAnnouncer &announcer)
    : m_surface(surface), m_text(surface.content()), m_announcer(announcer)
{}

// ---- caret and selection ----------------------------------------------------

void ReceiveEditor::moveCursor(qint64 pos, bool keepAnchor)
{
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    // Nothing can stand between the CR and the LF of a line break.
    m_cursor = moves::outOfPair(m_text, std::clamp<qint64>(pos, 0, m_text.size()));
    if (!keepAnchor)
        m_anchor = m_cursor;
    m_history.breakRun();
    m_surface.showCaret(m_cursor);
    m_announcer.caretMoved(oldAnchor, oldCursor);
}

void ReceiveEditor::setCursorPosition(qint64 pos, bool keepAnchor)
{
    m_preferredX = -1;
    moveCursor(pos, keepAnchor);
}

QString ReceiveEditor::selectedText() const
{
    return QString::fromLatin1(m_text.mid(selectionStart(), selectionEnd() - selectionStart()));
}

void ReceiveEditor::selectAll()
{
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    m_anchor = 0;
    m_cursor = m_text.size();
    m_history.breakRun();
    m_surface.redraw();
    m_announcer.caretMoved(oldAnchor, oldCursor);
}

// ---- editing ------------------------------------------------------------------

void ReceiveEditor::copy() const
{
    if (selectionEnd() > selectionStart())
        QApplication::clipboard()->setText(selectedText());
}

void ReceiveEditor::cut()
{
    copy();
    replaceSelection({});
}

void ReceiveEditor::paste()
{
    insertText(QApplication::clipboard()->text());
}

void ReceiveEditor::insertText(const QString &text)
{
    replaceSelection(toBytes(text));
}

void ReceiveEditor::replaceSelection(const QByteArray &bytes, EditKind kind)
{
    edit(selectionStart(), selectionEnd(), bytes, kind);
}

void ReceiveEditor::edit(qint64 start, qint64 end, const QByteArray &bytes, EditKind kind)
{
    if (start == end && bytes.isEmpty())
        return;
    PieceText::Pieces inserted;
    if (!bytes.isEmpty())
        inserted.push_back(m_surface.keep(bytes)); // into the store, then into the text by reference
    PieceText::Pieces removed = swapText(start, end - start, inserted, start + bytes.size());
    m_history.record(kind, {start, std::move(removed), std::move(inserted)});
}

PieceText::Pieces ReceiveEditor::swapText(qint64 pos, qint64 length, const PieceText::Pieces &inserted,
                                          qint64 caretAfter)
{
    m_announcer.arrivals(true); // earlier arrivals first, so that positions agree
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    const QString removedText = m_announcer.aboutToRemove(pos, length);
    PieceText::Pieces removed = m_surface.replace(pos, length, inserted);
    m_cursor = m_anchor = moves::outOfPair(m_text, caretAfter);
    m_preferredX = -1;
    m_surface.showCaret(m_cursor);
    m_announcer.edited(pos, removedText, PieceText::lengthOf(inserted));
    m_announcer.caretMoved(oldAnchor, oldCursor);
    return removed;
}

void ReceiveEditor::setText(const QString &text)
{
    m_announcer.arrivals(true);
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    const QString removed = m_announcer.aboutToRemove(0, m_text.size());
    m_history.clear();
    m_cursor = m_anchor = 0;
    m_preferredX = -1;
    m_surface.replaceAll(toBytes(text));
    m_announcer.edited(0, removed, m_text.size());
    m_announcer.caretMoved(oldAnchor, oldCursor);
}

void ReceiveEditor::appended(qint64 oldEnd)
{
    // A LF completing a CR at the caret: the caret goes past the line break.
    if (oldEnd > 0 && oldEnd < m_text.size() && m_text.at(oldEnd) == '\n' && m_text.at(oldEnd - 1) == '\r') {
        if (m_cursor == oldEnd)
            ++m_cursor;
        if (m_anchor == oldEnd)
            ++m_anchor;
    }
}

void ReceiveEditor::undo()
{
    const EditHistory::Step step = m_history.undo();
    for (auto c = step.rbegin(); c != step.rend(); ++c)
        swapText(c->pos, PieceText::lengthOf(c->inserted), c->removed, c->pos + PieceText::lengthOf(c->removed));
}

void ReceiveEditor::redo()
{
    for (const EditHistory::Change &c : m_history.redo())
        swapText(c.pos, PieceText::lengthOf(c.removed), c.inserted, c.pos + PieceText::lengthOf(c.inserted));
}

void ReceiveEditor::deleteBackward(bool word)
{
    if (m_anchor != m_cursor)
        replaceSelection({});
    else if (m_cursor > 0)
        edit(word ? moves::previousWord(m_text, m_cursor) : moves::previousStop(m_text, m_cursor), m_cursor, {},
             word ? EditKind::Other : EditKind::Backspace);
}

void ReceiveEditor::deleteForward(bool word)
{
    if (m_anchor != m_cursor)
        replaceSelection({});
    else if (m_cursor < m_text.size())
        edit(m_cursor, word ? moves::nextWord(m_text, m_cursor) : moves::nextStop(m_text, m_cursor), {},
             word ? EditKind::Other : EditKind::Delete);
}

// ---- keys ---------------------------------------------------------------------

bool ReceiveEditor::keyPress(QKeyEvent *e)
{
    return shortcutKey(e) || caretKey(e) || editKey(e);
}

bool ReceiveEditor::shortcutKey(QKeyEvent *e)
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

bool ReceiveEditor::caretKey(QKeyEvent *e)
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
        setCursorPosition(m_surface.rows().rowStart(m_surface.rows().rowOf(m_cursor)), shift);
    else if (key == Qt::Key_End)
        setCursorPosition(moves::rowLastStop(m_text, m_surface.rows(), m_surface.rows().rowOf(m_cursor)), shift);
    else
        return false;
    return true;
}

void ReceiveEditor::moveSideways(bool left, bool shift)
{
    if (!shift && m_anchor != m_cursor)
        setCursorPosition(left ? selectionStart() : selectionEnd());
    else
        setCursorPosition(left ? moves::previousStop(m_text, m_cursor) : moves::nextStop(m_text, m_cursor), shift);
}

void ReceiveEditor::moveByRows(int key, bool shift)
{
    // The caret keeps the column it had before a run of such moves.
    if (m_preferredX < 0)
        m_preferredX = m_surface.caretX(m_cursor);
    const int step = (key == Qt::Key_Up || key == Qt::Key_Down) ? 1 : m_surface.visibleRows();
    const int sign = (key == Qt::Key_Up || key == Qt::Key_PageUp) ? -1 : 1;
    const RowLayout &rows = m_surface.rows();
    const qint64 row = std::clamp<qint64>(rows.rowOf(m_cursor) + qint64(sign) * step, 0, rows.rowCount() - 1);
    const qreal keepX = m_preferredX;
    moveCursor(m_surface.offsetInRow(row, static_cast<int>(keepX)), shift);
    m_preferredX = keepX;
}

bool ReceiveEditor::editKey(QKeyEvent *e)
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

void ReceiveEditor::mousePress(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    const qint64 at = m_surface.offsetAt(e->position().toPoint());
    // A press inside the selection may be the start of dragging it.
    m_pressedInSelection = !(e->modifiers() & Qt::ShiftModifier) && at >= selectionStart() && at < selectionEnd();
    m_pressPoint = e->position().toPoint();
    if (!m_pressedInSelection)
        setCursorPosition(at, e->modifiers() & Qt::ShiftModifier);
    e->accept();
}

void ReceiveEditor::mouseMove(QMouseEvent *e)
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
        setCursorPosition(m_surface.offsetAt(e->position().toPoint()), true);
    }
    e->accept();
}

void ReceiveEditor::mouseRelease(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && m_pressedInSelection) {
        // A click in the selection, not a drag: place the caret there.
        m_pressedInSelection = false;
        setCursorPosition(m_surface.offsetAt(e->position().toPoint()));
    }
    e->setAccepted(e->button() == Qt::LeftButton);
}

void ReceiveEditor::mouseDoubleClick(QMouseEvent *e)
{
    const auto [start, end] = moves::wordAt(m_text, m_surface.offsetAt(e->position().toPoint()));
    m_anchor = start;
    moveCursor(end, true);
}

// ---- drag and drop ----------------------------------------------------------------

void ReceiveEditor::startDrag()
{
    auto *mime = new QMimeData;
    mime->setText(selectedText());
    auto *drag = new QDrag(m_surface.widget());
    drag->setMimeData(mime);
    const qint64 start = selectionStart();
    const qint64 end = selectionEnd();
    // A move into another widget takes the text out of this box; a move
    // within the box is done by the drop itself (and reported as a copy).
    if (drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction) == Qt::MoveAction)
        edit(start, end, {});
}

void ReceiveEditor::dragEnter(QDragEnterEvent *e)
{
    if (e->mimeData()->hasText())
        e->acceptProposedAction();
}

void ReceiveEditor::dragMove(QDragMoveEvent *e)
{
    if (!e->mimeData()->hasText() || dropsIntoSelection(e, m_surface.offsetAt(e->position().toPoint()))) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
}

bool ReceiveEditor::dropsIntoSelection(const QDropEvent *e, qint64 at) const
{
    // Dropping the selection onto itself would do nothing.
    return e->source() == m_surface.widget() && at > selectionStart() && at < selectionEnd();
}

void ReceiveEditor::drop(QDropEvent *e)
{
    const qint64 at = m_surface.offsetAt(e->position().toPoint());
    const qint64 start = selectionStart();
    const qint64 end = selectionEnd();
    if (!e->mimeData()->hasText() || dropsIntoSelection(e, at)) {
        e->ignore();
        return;
    }
    m_history.breakRun();
    if (e->source() == m_surface.widget() && e->dropAction() == Qt::MoveAction) {
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
    m_surface.redraw();
    e->accept();
}

// ---- context menu -------------------------------------------------------------------

QMenu *ReceiveEditor::createContextMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const bool hasSelection = selectionEnd() > selectionStart();
    menu->addAction(msg::text(msg::Undo), this, &ReceiveEditor::undo)->setEnabled(isUndoAvailable());
    menu->addAction(msg::text(msg::Redo), this, &ReceiveEditor::redo)->setEnabled(isRedoAvailable());
    menu->addSeparator();
    menu->addAction(msg::text(msg::Cut), this, &ReceiveEditor::cut)->setEnabled(hasSelection);
    menu->addAction(msg::text(msg::Copy), this, &ReceiveEditor::copy)->setEnabled(hasSelection);
    menu->addAction(msg::text(msg::Paste), this, &ReceiveEditor::paste)
        ->setEnabled(!QApplication::clipboard()->text().isEmpty());
    menu->addSeparator();
    menu->addAction(msg::text(msg::SelectAll), this, &ReceiveEditor::selectAll);
    menu->addSeparator();
    menu->addAction(msg::text(msg::SaveAs), this, &ReceiveEditor::saveRequested);
    return menu;
}

} // namespace corvanel
