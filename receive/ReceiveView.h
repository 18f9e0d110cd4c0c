#pragma once

#include "EditSurface.h"
#include "FontTable.h"
#include "OffsetWindow.h"
#include "PieceText.h"
#include "ReadableText.h"
#include "ReceiveAnnouncer.h"
#include "ReceiveEditor.h"
#include "RowLayout.h"
#include "SaveText.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QTimer>
#include <limits>
#include <memory>

class QMenu;

namespace corvanel {

class SteadyScrollBar;

// Where the receive box meets Qt's int counts: the scroll bar's steps, and the
// characters a screen reader counts. Past them a step stands for several
// rows, and a screen reader gets a window of the text (accessibleWindow()).
struct IntLimits
{
    int scrollSteps = std::numeric_limits<int>::max();
    qint64 accessibleChars = OffsetWindow::IntLimit;
};

// The receive box: an editable, scrollable, selectable multi-line text box
// built for logs of many megabytes. Every character is a code 0 to 255 and
// takes one byte; CR, LF and CR LF each start a new line; long lines wrap at
// the box's width. Appending costs what is appended, not what is held, and
// the view follows new data unless the user has scrolled up to read.
//
// The box itself shows the text: it owns the text and its rows, paints them
// and scrolls. Editing is its ReceiveEditor's job, and what screen readers
// get of it goes through ReadableText to its accessibility adapter and its
// ReceiveAnnouncer.
class ReceiveView : public QAbstractScrollArea, public ReadableText, private EditSurface
{
    Q_OBJECT
public:
    // The store holds what the box shows; by default one that moves older
    // content to a temporary file. Tests give a store of their own, and
    // small limits to reach what lies past them.
    explicit ReceiveView(QWidget *parent = nullptr, std::unique_ptr<ByteStore> store = {}, IntLimits limits = {});
    ~ReceiveView() override;

    // The whole content; characters above 255 put in become '?'.
    QString text() const;
    QByteArray bytes() const { return m_text.toByteArray(); }
    void setText(const QString &text);
    void appendBytes(const QByteArray &bytes);
    void clear();
    qint64 length() const override { return m_text.size(); }

    void setColours(const QColor &text, const QColor &base);

    // The box as a text box (ReceiveEditor): caret and selection as
    // character offsets, the clipboard, and undo and redo of the user's own
    // edits; arrivals are not edits.
    qint64 cursorPosition() const override { return m_editor.cursorPosition(); }
    void setCursorPosition(qint64 pos, bool keepAnchor = false) { m_editor.setCursorPosition(pos, keepAnchor); }
    qint64 selectionStart() const override { return m_editor.selectionStart(); }
    qint64 selectionEnd() const override { return m_editor.selectionEnd(); }
    QString selectedText() const { return m_editor.selectedText(); }
    void selectAll() { m_editor.selectAll(); }
    void copy() const { m_editor.copy(); }
    void cut() { m_editor.cut(); }
    void paste() { m_editor.paste(); }
    void insertText(const QString &text) { m_editor.insertText(text); }
    void undo() { m_editor.undo(); }
    void redo() { m_editor.redo(); }
    bool isUndoAvailable() const { return m_editor.isUndoAvailable(); }
    bool isRedoAvailable() const { return m_editor.isRedoAvailable(); }
    // The box's context menu, owned by the caller.
    QMenu *createContextMenu() { return m_editor.createContextMenu(this); }

    // Writes the whole content to path (saveText).
    bool saveTo(const QString &path, QString *error) const { return saveText(m_text, path, error); }

Q_SIGNALS:
    // "Salva con nome..." was chosen.
    void saveRequested();

public:
    // Arrivals are shown once per frame; this shows what is pending at once.
    void refreshNow();

    // Wrapped rows on screen, and whether the view sticks to the end.
    qint64 rowCount() const override { return m_layout.rowCount(); }
    bool followsEnd() const { return m_firstRow >= m_lastFirstRow; }
    // The row at the top, and scrolling to put a row there. The scroll bar
    // counts in int: while the rows that can be at the top number more than
    // its limit, each of its steps stands for several rows, and its end for
    // the last page exactly.
    qint64 firstRow() const { return m_firstRow; }
    void scrollToRow(qint64 row);
    // Paints that found some of the text of the rows on screen not at hand,
    // and left those rows (or, before their rows are known, the box) blank
    // while it was fetched.
    qint64 framesWithoutText() const { return m_framesWithoutText; }
    // Memory held for the content and its row index, in bytes.
    qint64 memoryUsed() const;

    // Character offset at a viewport point, and the caret rectangle of an offset.
    qint64 offsetAt(const QPoint &viewportPoint) const override;
    QRect caretRect(qint64 pos) const;

    // The wrapped row holding pos, and a row's [start, end): the end is the
    // next row's start, so a row includes its line break.
    qint64 rowAt(qint64 pos) const override { return m_layout.rowOf(pos); }
    std::pair<qint64, qint64> rowRange(qint64 row) const override;

    // The text as screen readers get it (ReadableText).
    QString accessibleText(qint64 start, qint64 end) const override;
    OffsetWindow accessibleWindow() const override;

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
    // ReadableText
    void select(qint64 anchor, qint64 cursor) override;
    QRect screenCaretRect(qint64 pos) const override;
    qint64 offsetAtScreen(const QPoint &globalPoint) const override;
    // EditSurface
    const PieceText &content() const override { return m_text; }
    const RowLayout &rows() const override { return m_layout; }
    int visibleRows() const override;
    qint64 offsetInRow(qint64 row, int x) const override;
    int caretX(qint64 pos) const override { return caretRect(pos).x(); }
    PieceText::Piece keep(const QByteArray &bytes) override { return m_text.keep(bytes); }
    PieceText::Pieces replace(qint64 pos, qint64 length, const PieceText::Pieces &inserted) override;
    void replaceAll(const QByteArray &bytes) override;
    void showCaret(qint64 pos) override;
    void redraw() override;
    QWidget *widget() override { return this; }

    int wrapWidth() const;
    void relayoutIfResized();
    void restartCaretBlink();
    void updateScrollBar(bool followEnd);
    // The scroll bar moved by the user's hand (dragged, clicked, wheeled).
    void scrollBarMoved(int value);
    int barValue(qint64 row) const;
    void paintCaret(QPainter &p);

    PieceText m_text;
    RowLayout m_layout;
    SteadyScrollBar *m_scrollBar = nullptr; // the vertical one, owned by the box
    FontTable m_font;
    QTimer m_refresh;
    QElapsedTimer m_lastFrame; // since the last time arrivals were shown
    qint64 m_firstRow = 0;
    qint64 m_lastFirstRow = 0; // the row at the top at the end, as of the last updateScrollBar()
    qint64 m_rowsPerStep = 1;
    qint64 m_framesWithoutText = 0;
    IntLimits m_limits;
    bool m_settingBar = false;
    // The scroll bar's width as the style gives it; asked again on a style change.
    mutable int m_scrollBarWidth = -1;
    bool m_caretShown = true;
    QRect m_caretArea; // where the last paint had the caret; null if not on screen
    int m_caretTimer = 0;
    ReceiveAnnouncer m_announcer {this, *this};
    ReceiveEditor m_editor {*this, m_announcer};
};

} // namespace corvanel
