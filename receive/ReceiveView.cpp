#include "ReceiveView.h"

#include "ReceiveViewAccessible.h"
#include "RowPainter.h"
#include "SteadyScrollBar.h"
#include "TextMoves.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <algorithm>
#include <cmath>

namespace corvanel {
namespace {

constexpr int Margin = 2;
// Arrivals after a quiet spell (a device answering) show within a frame;
// while data keeps coming they show ten times a second, since every frame
// costs a repaint and a trip to the display whatever it holds.
constexpr int FrameMs = 16;
constexpr int StreamFrameMs = 100;
constexpr int QuietMs = 250; // no frame for this long: the stream has paused

} // namespace

ReceiveView::ReceiveView(QWidget *parent, std::unique_ptr<ByteStore> store, IntLimits limits)
    : QAbstractScrollArea(parent),
      m_text(store ? std::move(store) : std::make_unique<ByteStore>()),
      m_limits {std::max(1, limits.scrollSteps), std::max<qint64>(1, limits.accessibleChars)}
{
    m_scrollBar = new SteadyScrollBar(Qt::Vertical, this);
    setVerticalScrollBar(m_scrollBar);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn); // the wrap width never changes with the content
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent); // paintEvent fills it whole
    viewport()->setAcceptDrops(true);
    connect(QApplication::styleHints(), &QStyleHints::cursorFlashTimeChanged, this, [this] {
        if (hasFocus())
            restartCaretBlink();
    });
    verticalScrollBar()->setSingleStep(1);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &ReceiveView::scrollBarMoved);
    m_refresh.setSingleShot(true);
    m_lastFrame.start();
    connect(&m_refresh, &QTimer::timeout, this, &ReceiveView::refreshNow);
    connect(&m_editor, &ReceiveEditor::saveRequested, this, &ReceiveView::saveRequested);
    m_font = FontTable::of(font());
    // Called from the thread that fetches spilled text: the repaint is
    // queued to this object, whose store (and so that thread) ends before it.
    m_text.setArrival([this] {
        QMetaObject::invokeMethod(
            this, [this] { viewport()->update(); }, Qt::QueuedConnection);
    });
    installReceiveViewAccessibility();
}

ReceiveView::~ReceiveView() = default;

void ReceiveView::setColours(const QColor &text, const QColor &base)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::Base, base);
    setPalette(pal);
    viewport()->update();
}

int ReceiveView::wrapWidth() const
{
    // From the box's own width rather than the viewport's: a hidden widget
    // gets its resize events only when shown, and the scroll bar is always
    // there, so this is the viewport's width to be. Asked at every arrival:
    // the style is asked only once.
    if (m_scrollBarWidth < 0)
        m_scrollBarWidth = verticalScrollBar()->sizeHint().width();
    return std::max(1, contentsRect().width() - m_scrollBarWidth - 2 * Margin);
}

void ReceiveView::relayoutIfResized()
{
    if (qint64(wrapWidth()) * 64 != m_layout.width())
        m_layout.layout(m_text, m_font.fixedAdvance, qint64(wrapWidth()) * 64);
}

int ReceiveView::visibleRows() const
{
    return std::max(1, static_cast<int>(viewport()->height() / m_font.lineHeight));
}

QString ReceiveView::text() const
{
    return QString::fromLatin1(m_text.toByteArray());
}

void ReceiveView::setText(const QString &text)
{
    m_editor.setText(text);
}

void ReceiveView::clear()
{
    setText(QString());
}

void ReceiveView::appendBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 before = m_text.size();
    m_text.append(bytes);
    m_editor.appended(before);
    m_announcer.appended(before);
    // Only the last row can change: lay out from there.
    relayoutIfResized();
    m_layout.appended(m_text);
    // The screen, the scroll bar and screen readers hear of it once per frame.
    if (!m_refresh.isActive())
        m_refresh.start(m_lastFrame.elapsed() > QuietMs ? FrameMs : StreamFrameMs);
}

void ReceiveView::refreshNow()
{
    m_refresh.stop();
    m_lastFrame.start();
    // The scroll bar's range has not changed since the last frame, so being
    // at its end means the user was following the end.
    updateScrollBar(followsEnd());
    viewport()->update();
    m_announcer.arrivals();
}

void ReceiveView::updateScrollBar(bool followEnd)
{
    const int page = visibleRows();
    m_lastFirstRow = std::max<qint64>(0, rowCount() - page);
    m_rowsPerStep = m_lastFirstRow / m_limits.scrollSteps + 1;
    m_firstRow = followEnd ? m_lastFirstRow : std::min(m_firstRow, m_lastFirstRow);
    m_settingBar = true;
    // The last step may stand for fewer rows: its end is the last page.
    m_scrollBar->setSpan(page, static_cast<int>((m_lastFirstRow + m_rowsPerStep - 1) / m_rowsPerStep), followEnd);
    if (!followEnd && m_scrollBar->value() != barValue(m_firstRow))
        m_scrollBar->setValue(barValue(m_firstRow));
    m_settingBar = false;
}

int ReceiveView::barValue(qint64 row) const
{
    return row >= m_lastFirstRow ? m_scrollBar->maximum() : static_cast<int>(row / m_rowsPerStep);
}

void ReceiveView::scrollBarMoved(int value)
{
    if (!m_settingBar)
        m_firstRow = value >= m_scrollBar->maximum() ? m_lastFirstRow : qint64(value) * m_rowsPerStep;
}

void ReceiveView::scrollToRow(qint64 row)
{
    m_firstRow = std::clamp<qint64>(row, 0, m_lastFirstRow);
    m_settingBar = true;
    m_scrollBar->setValue(barValue(m_firstRow));
    m_settingBar = false;
    viewport()->update();
}

// ---- the text as the editor changes it -------------------------------------

PieceText::Pieces ReceiveView::replace(qint64 pos, qint64 length, const PieceText::Pieces &inserted)
{
    relayoutIfResized();
    PieceText::Pieces removed = m_text.take(pos, length);
    m_text.put(pos, inserted);
    m_layout.edited(m_text, pos, length, PieceText::lengthOf(inserted));
    updateScrollBar(false);
    return removed;
}

void ReceiveView::replaceAll(const QByteArray &bytes)
{
    m_text.clear();
    m_text.append(bytes);
    m_layout.layout(m_text, m_font.fixedAdvance, qint64(wrapWidth()) * 64);
    updateScrollBar(false);
    scrollToRow(0);
}

void ReceiveView::showCaret(qint64 pos)
{
    const qint64 row = m_layout.rowOf(pos);
    if (row < m_firstRow)
        scrollToRow(row);
    else if (row >= m_firstRow + visibleRows())
        scrollToRow(row - visibleRows() + 1);
    m_caretShown = true;
    viewport()->update();
}

void ReceiveView::redraw()
{
    viewport()->update();
}

qint64 ReceiveView::memoryUsed() const
{
    return m_text.memoryUsed() + m_layout.memoryUsed();
}

// ---- geometry --------------------------------------------------------------

QRect ReceiveView::caretRect(qint64 pos) const
{
    const qint64 row = m_layout.rowOf(pos);
    qreal x = Margin;
    m_text.forEachPiece(m_layout.rowStart(row), pos - m_layout.rowStart(row), [&](const char *d, qsizetype n) {
        for (qsizetype i = 0; i < n; ++i)
            x += m_font.advance[static_cast<unsigned char>(d[i])];
    });
    // Far off screen in a long capture the place would not fit an int: a
    // place still off screen stands for it.
    constexpr qreal Far = 1 << 24;
    const qreal y = std::clamp<qreal>(static_cast<qreal>(row - m_firstRow) * m_font.lineHeight, -Far, Far);
    return QRectF(x, y, 1, m_font.lineHeight).toAlignedRect();
}

qint64 ReceiveView::offsetAt(const QPoint &p) const
{
    return offsetInRow(m_firstRow + static_cast<qint64>(std::floor(p.y() / m_font.lineHeight)), p.x());
}

qint64 ReceiveView::offsetInRow(qint64 row, int x) const
{
    row = std::clamp<qint64>(row, 0, rowCount() - 1);
    const qint64 start = m_layout.rowStart(row);
    const qint64 end = m_layout.rowEnd(row);
    qreal left = Margin; // of the character at pos
    qint64 pos = start;
    bool done = false;
    m_text.forEachPiece(start, end - start, [&](const char *d, qsizetype n) {
        for (qsizetype i = 0; i < n && !done; ++i) {
            if (moves::isBreak(d[i])) {
                done = true;
                return;
            }
            const qreal w = m_font.advance[static_cast<unsigned char>(d[i])];
            if (x < left + w / 2) {
                done = true;
                return;
            }
            left += w;
            ++pos;
        }
    });
    return std::min(pos, moves::rowLastStop(m_text, m_layout, row));
}

// ---- the text as screen readers get it ----------------------------------------

QString ReceiveView::accessibleText(qint64 start, qint64 end) const
{
    start = std::clamp<qint64>(start, 0, m_text.size());
    end = std::clamp<qint64>(end, start, m_text.size());
    QString out(static_cast<qsizetype>(end - start), Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    m_text.forEachPiece(start, end - start, [&](const char *d, qsizetype n) {
        for (qsizetype i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(d[i]);
            *o++ = c == 0 ? u'\u2400' : char16_t(c);
        }
    });
    return out;
}

OffsetWindow ReceiveView::accessibleWindow() const
{
    return OffsetWindow::of(m_text.size(), m_editor.cursorPosition(), m_limits.accessibleChars);
}

std::pair<qint64, qint64> ReceiveView::rowRange(qint64 row) const
{
    const qint64 r = std::clamp<qint64>(row, 0, rowCount() - 1);
    return {m_layout.rowStart(r), m_layout.rowEnd(r)};
}

void ReceiveView::select(qint64 anchor, qint64 cursor)
{
    m_editor.setCursorPosition(anchor);
    m_editor.setCursorPosition(cursor, true);
}

QRect ReceiveView::screenCaretRect(qint64 pos) const
{
    return caretRect(pos).translated(viewport()->mapToGlobal(QPoint(0, 0)));
}

qint64 ReceiveView::offsetAtScreen(const QPoint &globalPoint) const
{
    return offsetAt(viewport()->mapFromGlobal(globalPoint));
}

// ---- painting --------------------------------------------------------------

void ReceiveView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    m_caretArea = QRect();
    // The rows on screen, and the next one's start (where they end). Text
    // not at hand is fetched, its rows stay blank, and the paint comes again
    // when it is in. Where rows start is known only once their group is laid
    // out, which reads the group's text: until then the whole box waits.
    const qint64 last = std::min(rowCount() - 1, m_firstRow + visibleRows());
    const RowLayout::Span span = m_layout.textOfRows(m_firstRow, last);
    const bool whole = m_text.tryLoad(span.start, span.end - span.start);
    if (!whole)
        ++m_framesWithoutText;
    if (!whole && !span.laidOut)
        return;
    p.setFont(font());
    RowPainter rows(p, m_font, palette(), m_editor.selectionStart(), m_editor.selectionEnd());
    const qint64 caret = m_editor.cursorPosition();
    bool caretRowPainted = false;
    for (qint64 row = m_firstRow; row <= last; ++row) {
        const qint64 start = m_layout.rowStart(row);
        const qint64 end = m_layout.rowEnd(row);
        if (!whole && !m_text.tryLoad(start, end - start))
            continue;
        const qreal top = static_cast<qreal>(row - m_firstRow) * m_font.lineHeight;
        qint64 pos = start;
        qreal x = Margin;
        m_text.forEachPiece(start, end - start,
                            [&](const char *d, qsizetype n) { rows.paintBytes(d, n, pos, x, top); });
        // A caret at a row's end belongs to the next row, but for the last.
        caretRowPainted = caretRowPainted || (caret >= start && (caret < end || row == rowCount() - 1));
    }
    rows.finish();
    // The caret only where its row was painted: finding it elsewhere could
    // mean reading text that is not at hand.
    if (caretRowPainted)
        paintCaret(p);
}

void ReceiveView::paintCaret(QPainter &p)
{
    if (!hasFocus())
        return;
    m_caretArea = caretRect(m_editor.cursorPosition());
    if (m_caretShown && m_caretArea.bottom() >= 0 && m_caretArea.top() < viewport()->height())
        p.fillRect(m_caretArea, palette().color(QPalette::Text));
}

// ---- input, handed to the editor ---------------------------------------------

void ReceiveView::keyPressEvent(QKeyEvent *e)
{
    if (m_editor.keyPress(e))
        e->accept();
    else
        QAbstractScrollArea::keyPressEvent(e);
}

void ReceiveView::mousePressEvent(QMouseEvent *e)
{
    m_editor.mousePress(e);
}

void ReceiveView::mouseMoveEvent(QMouseEvent *e)
{
    m_editor.mouseMove(e);
}

void ReceiveView::mouseReleaseEvent(QMouseEvent *e)
{
    m_editor.mouseRelease(e);
}

void ReceiveView::mouseDoubleClickEvent(QMouseEvent *e)
{
    m_editor.mouseDoubleClick(e);
}

void ReceiveView::dragEnterEvent(QDragEnterEvent *e)
{
    m_editor.dragEnter(e);
}

void ReceiveView::dragMoveEvent(QDragMoveEvent *e)
{
    m_editor.dragMove(e);
}

void ReceiveView::dropEvent(QDropEvent *e)
{
    m_editor.drop(e);
}

void ReceiveView::contextMenuEvent(QContextMenuEvent *e)
{
    const std::unique_ptr<QMenu> menu(createContextMenu());
    menu->exec(e->globalPos());
}

void ReceiveView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool follow = followsEnd();
    relayoutIfResized();
    updateScrollBar(follow);
}

void ReceiveView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::StyleChange) {
        m_scrollBarWidth = -1;
        const bool follow = followsEnd();
        relayoutIfResized();
        updateScrollBar(follow);
    }
    if (event->type() == QEvent::FontChange) {
        m_font = FontTable::of(font());
        m_layout.layout(m_text, m_font.fixedAdvance, qint64(wrapWidth()) * 64);
        updateScrollBar(followsEnd());
        viewport()->update();
    }
}

void ReceiveView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void ReceiveView::focusInEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusInEvent(e);
    restartCaretBlink();
}

void ReceiveView::restartCaretBlink()
{
    // The flash time changes too: it is 0 while the window rests.
    if (m_caretTimer != 0)
        killTimer(m_caretTimer);
    m_caretTimer = 0;
    const int flash = QApplication::styleHints()->cursorFlashTime();
    if (flash > 0 && hasFocus())
        m_caretTimer = startTimer(flash / 2);
    m_caretShown = true;
    viewport()->update();
}

void ReceiveView::focusOutEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusOutEvent(e);
    if (m_caretTimer != 0) {
        killTimer(m_caretTimer);
        m_caretTimer = 0;
    }
    viewport()->update();
}

void ReceiveView::timerEvent(QTimerEvent *e)
{
    if (e->timerId() == m_caretTimer) {
        m_caretShown = !m_caretShown;
        // Where the last paint put it, if it was on screen: the caret's own
        // place could be in text that is not at hand.
        if (!m_caretArea.isNull())
            viewport()->update(m_caretArea.adjusted(-1, 0, 1, 0));
        return;
    }
    QAbstractScrollArea::timerEvent(e);
}

} // namespace corvanel
