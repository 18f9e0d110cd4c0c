#pragma once

#include "EditHistory.h"
#include "OffsetWindow.h"
#include "PieceText.h"
#include "RowLayout.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QRawFont>
#include <QTimer>
#include <memory>
#include <array>
#include <limits>
#include <deque>
#include <vector>

class QMenu;

namespace corvanel {

class SteadyScrollBar;

// The receive box: an editable, scrollable, selectable multi-line text box
// built for logs of many megabytes. Every character is a code 0 to 255 and
// takes one byte; CR, LF and CR LF each start a new line; long lines wrap at
// the box's width. Appending costs what is appended, not what is held, and
// the view follows new data unless the user has scrolled up to read.
class ReceiveView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // The store holds what the box shows; by default one that moves older
    // content to a temporary file.
    explicit ReceiveView(QWidget *parent = nullptr, std::unique_ptr<ByteStore> store = {});
    ~ReceiveView() override;

    // The whole content; characters above 255 put in become '?'.
    QString text() const;
    QByteArray bytes() const { return m_text.toByteArray(); }
    void setText(const QString &text);
    void appendBytes(const QByteArray &bytes);
    void clear();
    qint64 length() const { return m_text.size(); }

    void setColours(const QColor &text, const QColor &base);

    // Caret and selection, as character offsets.
    qint64 cursorPosition() const { return m_cursor; }
    void setCursorPosition(qint64 pos, bool keepAnchor = false);
    qint64 selectionStart() const { return std::min(m_anchor, m_cursor); }
    qint64 selectionEnd() const { return std::max(m_anchor, m_cursor); }
    QString selectedText() const;
    void selectAll();
    void copy() const;
    void cut();
    void paste();
    // Replaces the selection (if any) with text, as typing does.
    void insertText(const QString &text);

    // The user's own edits can be undone and redone; arrivals are not edits
    // and leave the history as it is. Clearing the box empties it.
    void undo();
    void redo();
    bool isUndoAvailable() const { return m_history.canUndo(); }
    bool isRedoAvailable() const { return m_history.canRedo(); }

    // The box's context menu, owned by the caller.
    QMenu *createContextMenu();

    // Writes the whole content to path, one byte per character, through a
    // save file: on failure nothing is left half-written, and error says why.
    bool saveTo(const QString &path, QString *error) const;

Q_SIGNALS:
    // "Salva con nome..." was chosen.
    void saveRequested();

public:
    // Arrivals are shown once per frame; this shows what is pending at once.
    void refreshNow();

    // Wrapped rows on screen, and whether the view sticks to the end.
    qint64 rowCount() const { return m_layout.rowCount(); }
    bool followsEnd() const { return m_firstRow >= m_lastFirstRow; }
    // The row at the top, and scrolling to put a row there. The scroll bar
    // counts in int: while the rows that can be at the top number more than
    // its limit (INT_MAX; tests set a small one), each of its steps stands
    // for several rows, and its end for the last page exactly.
    qint64 firstRow() const { return m_firstRow; }
    void scrollToRow(qint64 row);
    void setScrollBarLimit(int steps);
    // Memory held for the content and its row index, in bytes.
    qint64 memoryUsed() const;

    // Character offset at a viewport point, and the caret rectangle of an offset.
    qint64 offsetAt(const QPoint &viewportPoint) const;
    // The same for a row (clamped to the rows there are) and an x.
    qint64 offsetInRow(qint64 row, int x) const;
    QRect caretRect(qint64 pos) const;

    // The wrapped row holding pos, and a row's [start, end): the end is the
    // next row's start, so a row includes its line break.
    qint64 rowAt(qint64 pos) const { return m_layout.rowOf(pos); }
    std::pair<qint64, qint64> rowRange(qint64 row) const;

    // The text as screen readers get it: one character per character of the
    // box, with NUL shown as U+2400, since D-Bus strings cannot carry it.
    QString accessibleText(qint64 start, qint64 end) const;
    // An accessibility event carries at most this many characters.
    static constexpr qint64 AccessibleEventCap = 4096;
    // Screen readers count in int: past INT_MAX characters they get a
    // window of the text that holds the newest text and the caret
    // (OffsetWindow). Their offsets are offsets into it.
    OffsetWindow accessibleWindow() const { return OffsetWindow::of(m_text.size(), m_cursor, m_accessibleLimit); }
    int accessibleOffset(qint64 pos) const { return static_cast<int>(accessibleWindow().offset(pos)); }
    // The window's text between two of its offsets.
    QString accessibleWindowText(qint64 startOffset, qint64 endOffset) const;
    // Tests use a small limit.
    void setAccessibleLimit(qint64 limit) { m_accessibleLimit = limit; }
    // While data keeps coming, screen readers hear of the newest whole row at
    // most once in AnnounceMs; once arrivals pause for AnnounceQuietMs, of
    // the rows still unannounced, the newest whole one with what follows it.
    static constexpr int AnnounceMs = 1000;
    static constexpr int AnnounceQuietMs = 300;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void measureFont();
    int wrapWidth() const;
    void relayoutIfResized();
    qreal advance(unsigned char c) const { return m_advance[c]; }
    qint64 rowOf(qint64 pos) const { return m_layout.rowOf(pos); }
    // The last caret place on a row: before its line break, or before the
    // last character of a wrapped row.
    qint64 rowLastStop(qint64 row) const;
    void restartCaretBlink();
    qint64 rowEnd(qint64 row) const { return m_layout.rowEnd(row); }
    void updateScrollBar(bool followEnd);
    // The scroll bar moved by the user's hand (dragged, clicked, wheeled).
    void scrollBarMoved(int value);
    int barValue(qint64 row) const;
    void ensureCursorVisible();
    using EditKind = EditHistory::Kind;

    // Replaces [start, end) with bytes as a user's edit; the caret ends after them.
    void edit(qint64 start, qint64 end, const QByteArray &bytes, EditKind kind = EditKind::Other);
    void replaceSelection(const QByteArray &bytes, EditKind kind = EditKind::Other);
    // Takes [pos, pos + length) out and puts `inserted` in; lays out, moves
    // the caret to caretAfter and tells screen readers. Returns what went out.
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
    void moveCursor(qint64 pos, bool keepAnchor);
    int visibleRows() const;
    // Screen readers hear of every change with an event of its own class.
    // Settled: the arrivals have paused (or an edit follows), so the newest
    // unannounced rows go out now, the unfinished one included.
    void announceAppended(bool settled = false);
    void announceEdit(qint64 pos, const QString &removed, qint64 inserted);
    void announceCaret(qint64 oldAnchor, qint64 oldCursor);

    PieceText m_text;
    RowLayout m_layout;
    SteadyScrollBar *m_scrollBar = nullptr; // the vertical one, owned by the box
    std::array<qreal, 256> m_advance {};
    RowLayout::Advances m_fixedAdvance {};
    std::array<quint32, 256> m_glyph {}; // 0: drawn as text (no glyph in the font)
    QRawFont m_rawFont;
    QTimer m_refresh;
    QElapsedTimer m_lastFrame; // since the last time arrivals were shown
    qint64 m_firstRow = 0;
    qint64 m_lastFirstRow = 0; // the row at the top at the end, as of the last updateScrollBar()
    qint64 m_rowsPerStep = 1;
    int m_scrollBarLimit = std::numeric_limits<int>::max();
    qint64 m_accessibleLimit = OffsetWindow::IntLimit;
    bool m_settingBar = false;
    qreal m_lineHeight = 13;
    // The scroll bar's width as the style gives it; asked again on a style change.
    mutable int m_scrollBarWidth = -1;
    qreal m_ascent = 10;
    qint64 m_cursor = 0;
    qint64 m_anchor = 0;
    qreal m_preferredX = -1; // kept while moving up and down
    bool m_caretShown = true;
    int m_caretTimer = 0;
    qint64 m_unannouncedFrom = -1; // appended and not yet announced
    QTimer m_announceQuiet; // runs out when arrivals pause
    QElapsedTimer m_lastAnnounced; // since arrivals were last announced
    EditHistory m_history; // the user's edits, for undo and redo
    bool m_pressedInSelection = false; // a press that may start dragging the selection
    QPoint m_pressPoint;
};

} // namespace corvanel
