#pragma once

#include "EditHistory.h"
#include "PieceText.h"

#include <QObject>
#include <QPoint>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QWidget;

namespace corvanel {

class EditSurface;
class ReceiveAnnouncer;

// The receive box as a text box: the caret and the selection, keys, mouse,
// clipboard, drag and drop, undo and redo, and the context menu. It reads
// the text and changes it through the box that shows it (EditSurface), and
// tells screen readers of every change through the announcer.
class ReceiveEditor : public QObject
{
    Q_OBJECT
public:
    ReceiveEditor(EditSurface &surface, ReceiveAnnouncer &announcer);

    // Caret and selection, as character offsets.
    qint64 cursorPosition() const { return m_cursor; }
    qint64 selectionStart() const { return std::min(m_anchor, m_cursor); }
    qint64 selectionEnd() const { return std::max(m_anchor, m_cursor); }
    void setCursorPosition(qint64 pos, bool keepAnchor = false);
    QString selectedText() const;
    void selectAll();
    void copy() const;
    void cut();
    void paste();
    // Replaces the selection (if any) with text, as typing does.
    void insertText(const QString &text);
    // Replaces the whole text; not an edit: the history empties.
    void setText(const QString &text);

    // The user's own edits can be undone and redone; arrivals are not edits
    // and leave the history as it is.
    void undo();
    void redo();
    bool isUndoAvailable() const { return m_history.canUndo(); }
    bool isRedoAvailable() const { return m_history.canRedo(); }

    // The text grew at its end, which was at `oldEnd`.
    void appended(qint64 oldEnd);

    // The box's context menu, owned by the caller.
    QMenu *createContextMenu(QWidget *parent);

    // Input the box passes on. keyPress says whether it used the key.
    bool keyPress(QKeyEvent *e);
    void mousePress(QMouseEvent *e);
    void mouseMove(QMouseEvent *e);
    void mouseRelease(QMouseEvent *e);
    void mouseDoubleClick(QMouseEvent *e);
    void dragEnter(QDragEnterEvent *e);
    void dragMove(QDragMoveEvent *e);
    void drop(QDropEvent *e);

Q_SIGNALS:
    // "Salva con nome..." was chosen.
    void saveRequested();

private:
    using EditKind = EditHistory::Kind;

    void moveCursor(qint64 pos, bool keepAnchor);
    // Replaces [start, end) with bytes as a user's edit; the caret ends after them.
    void edit(qint64 start, qint64 end, const QByteArray &bytes, EditKind kind = EditKind::Other);
    void replaceSelection(const QByteArray &bytes, EditKind kind = EditKind::Other);
    // Takes [pos, pos + length) out and puts `inserted` in; moves the caret
    // to caretAfter and tells screen readers. Returns what went out.
    PieceText::Pieces swapText(qint64 pos, qint64 length, const PieceText::Pieces &inserted, qint64 caretAfter);
    // The keys, by kind; each says whether it handled the key.
    bool shortcutKey(QKeyEvent *e);
    bool caretKey(QKeyEvent *e);
    bool editKey(QKeyEvent *e);
    void moveSideways(bool left, bool shift);
    void moveByRows(int key, bool shift);
    void deleteBackward(bool word);
    void deleteForward(bool word);
    void startDrag();
    // A drop at `at` would put the box's own selection into itself.
    bool dropsIntoSelection(const QDropEvent *e, qint64 at) const;

    EditSurface &m_surface;
    const PieceText &m_text;
    ReceiveAnnouncer &m_announcer;
    qint64 m_cursor = 0;
    qint64 m_anchor = 0;
    qreal m_preferredX = -1; // kept while moving up and down
    EditHistory m_history; // the user's edits, for undo and redo
    bool m_pressedInSelection = false; // a press that may start dragging the selection
    QPoint m_pressPoint;
};

} // namespace corvanel
