#include "ReceiveView.h"

#include "ReceiveViewAccessible.h"
#include "RowPainter.h"
#include "SteadyScrollBar.h"
#include "Messages.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QStyleHints>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <unistd.h>

namespace corvanel {
namespace {

constexpr int Margin = 2;
// Arrivals after a quiet spell (a device answering) show within a frame;
// while data keeps coming they show ten times a second, since every frame
// costs a repaint and a trip to the display whatever it holds.
constexpr int FrameMs = 16;
constexpr int StreamFrameMs = 100;
constexpr int QuietMs = 250; // no frame for this long: the stream has paused

bool isBreak(char c)
{
    return c == '\r' || c == '\n';
}

QByteArray toBytes(const QString &text)
{
    // One byte per character; a character above 255 becomes '?'.
    return text.toLatin1();
}

} // namespace

ReceiveView::ReceiveView(QWidget *parent, std::unique_ptr<ByteStore> store)
    : QAbstractScrollArea(parent), m_text(store ? std::move(store) : std::make_unique<ByteStore>())
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
    m_announceQuiet.setSingleShot(true);
    connect(&m_announceQuiet, &QTimer::timeout, this, [this] { announceAppended(true); });
    measureFont();
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

void ReceiveView::measureFont()
{
    // Glyphs and advances are looked up once per font: rows are then painted
    // as glyph runs, with no text shaping, at exactly the places the layout
    // computed.
    const QFontMetricsF fm(font());
    m_rawFont = QRawFont::fromFont(font());
    const qreal box = fm.horizontalAdvance(u'x');
    for (int c = 0; c < 256; ++c) {
        const auto uc = static_cast<unsigned char>(c);
        m_glyph[uc] = 0;
        if (isBreak(static_cast<char>(c))) {
            m_advance[uc] = 0;
        } else if (c == '\t') {
            m_advance[uc] = 4 * fm.horizontalAdvance(u' ');
        } else if (isControlCode(uc)) {
            m_advance[uc] = box;
        } else {
            const QString ch(QChar(static_cast<char16_t>(c)));
            const QList<quint32> glyphs = m_rawFont.isValid() ? m_rawFont.glyphIndexesForString(ch) : QList<quint32>();
            if (glyphs.size() == 1 && glyphs.first() != 0) {
                m_glyph[uc] = glyphs.first();
                m_advance[uc] = std::max<qreal>(1, m_rawFont.advancesForGlyphIndexes(glyphs).first().x());
            } else {
                m_advance[uc] = std::max<qreal>(1, fm.horizontalAdvance(ch));
            }
        }
        // A 64th of a pixel: the layout adds integers, painting adds the same
        // values as reals, and both land on the same places.
        m_fixedAdvance[uc] = static_cast<qint32>(std::lround(m_advance[uc] * 64));
        m_advance[uc] = m_fixedAdvance[uc] / 64.0;
    }
    m_lineHeight = std::max<qreal>(1, fm.lineSpacing());
    m_ascent = fm.ascent();
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
        m_layout.layout(m_text, m_fixedAdvance, qint64(wrapWidth()) * 64);
}

int ReceiveView::visibleRows() const
{
    return std::max(1, static_cast<int>(viewport()->height() / m_lineHeight));
}

QString ReceiveView::text() const
{
    return QString::fromLatin1(m_text.toByteArray());
}

void ReceiveView::setText(const QString &text)
{
    announceAppended(true);
    const QString removed = QAccessible::isActive() ? accessibleText(0, AccessibleEventCap) : QString();
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    m_text.clear();
    m_history.clear();
    m_text.append(toBytes(text));
    m_layout.layout(m_text, m_fixedAdvance, qint64(wrapWidth()) * 64);
    m_cursor = m_anchor = 0;
    updateScrollBar(false);
    scrollToRow(0);
    announceEdit(0, removed, m_text.size());
    announceCaret(oldAnchor, oldCursor);
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
    if (m_unannouncedFrom < 0)
        m_unannouncedFrom = before;
    m_text.append(bytes);
    // A LF completing a CR at the caret: the caret goes past the line break.
    if (before > 0 && bytes.front() == '\n' && m_text.at(before - 1) == '\r') {
        if (m_cursor == before)
            ++m_cursor;
        if (m_anchor == before)
            ++m_anchor;
    }
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
    announceAppended();
}

void ReceiveView::updateScrollBar(bool followEnd)
{
    const int page = visibleRows();
    m_lastFirstRow = std::max<qint64>(0, rowCount() - page);
    m_rowsPerStep = m_lastFirstRow / m_scrollBarLimit + 1;
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

void ReceiveView::setScrollBarLimit(int steps)
{
    m_scrollBarLimit = std::max(1, steps);
    updateScrollBar(followsEnd());
}

namespace {

// Writes all of it to the descriptor; 0, or the errno of the failure.
int writeAll(int fd, const char *data, qsizetype n)
{
    while (n > 0) {
        const ssize_t done = ::write(fd, data, size_t(n));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return done < 0 ? errno : EIO;
        data += done;
        n -= done;
    }
    return 0;
}

} // namespace

bool ReceiveView::saveTo(const QString &path, QString *error) const
{
    QSaveFile file(path);
    const qint64 readFailures = m_text.store().readFailures();
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // Straight to the descriptor, and flushed before the commit: Qt 6.4
    // gives a write the disk cuts short part-way (ENOSPC) no reason at all,
    // and passes off one cut in its last buffered write as saved.
    int failure = 0;
    m_text.forEachPiece(0, m_text.size(), [&](const char *d, qsizetype n) {
        if (failure == 0)
            failure = writeAll(file.handle(), d, n);
    });
    if (failure == 0 && ::fsync(file.handle()) != 0)
        failure = errno;
    if (failure != 0 || m_text.store().readFailures() != readFailures) {
        // A write failed, or part of the log could not be read back: no copy is passed off.
        file.cancelWriting();
        *error = failure != 0 ? qt_error_string(failure) : msg::text(msg::RereadFailed);
        return false;
    }
    if (file.commit())
        return true;
    *error = file.errorString();
    return false;
}

qint64 ReceiveView::memoryUsed() const
{
    return m_text.memoryUsed() + m_layout.memoryUsed();
}

// ---- geometry --------------------------------------------------------------

QRect ReceiveView::caretRect(qint64 pos) const
{
    const qint64 row = rowOf(pos);
    qreal x = Margin;
    m_text.forEachPiece(m_layout.rowStart(row), pos - m_layout.rowStart(row), [&](const char *d, qsizetype n) {
        for (qsizetype i = 0; i < n; ++i)
            x += advance(static_cast<unsigned char>(d[i]));
    });
    // Far off screen in a long capture the place would not fit an int: a
    // place still off screen stands for it.
    constexpr qreal Far = 1 << 24;
    const qreal y = std::clamp<qreal>(static_cast<qreal>(row - m_firstRow) * m_lineHeight, -Far, Far);
    return QRectF(x, y, 1, m_lineHeight).toAlignedRect();
}

qint64 ReceiveView::offsetAt(const QPoint &p) const
{
    return offsetInRow(m_firstRow + static_cast<qint64>(std::floor(p.y() / m_lineHeight)), p.x());
}

qint64 ReceiveView::offsetInRow(qint64 row, int x) const
{
    row = std::clamp<qint64>(row, 0, rowCount() - 1);
    const qint64 start = m_layout.rowStart(row);
    const qint64 end = rowEnd(row);
    qreal left = Margin; // of the character at pos
    qint64 pos = start;
    bool done = false;
    m_text.forEachPiece(start, end - start, [&](const char *d, qsizetype n) {
        for (qsizetype i = 0; i < n && !done; ++i) {
            if (isBreak(d[i])) {
                done = true;
                return;
            }
            const qreal w = advance(static_cast<unsigned char>(d[i]));
            if (x < left + w / 2) {
                done = true;
                return;
            }
            left += w;
            ++pos;
        }
    });
    return std::min(pos, rowLastStop(row));
}

qint64 ReceiveView::rowLastStop(qint64 row) const
{
    const qint64 start = m_layout.rowStart(row);
    qint64 end = rowEnd(row);
    if (end > start && isBreak(m_text.at(end - 1))) {
        while (end > start && isBreak(m_text.at(end - 1)))
            --end;
    } else if (row + 1 < rowCount() && end > start) {
        // A wrapped row: its end is the next row's start, so the last place
        // on this row is before its last character, as in a stock text box.
        --end;
    }
    return end;
}

// ---- painting --------------------------------------------------------------

void ReceiveView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    p.setFont(font());
    const RowPainter::Font looks {m_rawFont, m_glyph, m_advance, m_lineHeight, m_ascent};
    RowPainter rows(p, looks, palette(), selectionStart(), selectionEnd());
    const int height = viewport()->height();
    for (qint64 row = m_firstRow; row < rowCount(); ++row) {
        const qreal top = static_cast<qreal>(row - m_firstRow) * m_lineHeight;
        if (top >= height)
            break;
        const qint64 start = m_layout.rowStart(row);
        qint64 pos = start;
        qreal x = Margin;
        m_text.forEachPiece(start, rowEnd(row) - start,
                            [&](const char *d, qsizetype n) { rows.paintBytes(d, n, pos, x, top); });
    }
    rows.finish();

    if (hasFocus() && m_caretShown) {
        const QRect caret = caretRect(m_cursor);
        if (caret.bottom() >= 0 && caret.top() < height)
            p.fillRect(caret, palette().color(QPalette::Text));
    }
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
        measureFont();
        m_layout.layout(m_text, m_fixedAdvance, qint64(wrapWidth()) * 64);
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
        viewport()->update(caretRect(m_cursor).adjusted(-1, 0, 1, 0));
        return;
    }
    QAbstractScrollArea::timerEvent(e);
}

} // namespace corvanel
