#include "receive/ReceiveView.h"

#include "receive/ReceiveViewAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGlyphRun>
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
constexpr int FrameMs = 16; // arrivals are shown at most this often

bool isBreak(char c) { return c == '\r' || c == '\n'; }

// Characters drawn as a small box: the control codes of both halves.
bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

QByteArray toBytes(const QString &text)
{
    // One byte per character; a character above 255 becomes '?'.
    return text.toLatin1();
}

} // namespace

ReceiveView::ReceiveView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn); // the wrap width never changes with the content
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(FrameMs);
    connect(&m_refresh, &QTimer::timeout, this, &ReceiveView::refreshNow);
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
        } else if (isControl(uc)) {
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
    // there, so this is the viewport's width to be.
    const int scrollBar = verticalScrollBar()->sizeHint().width();
    return std::max(1, contentsRect().width() - scrollBar - 2 * Margin);
}

void ReceiveView::relayoutIfResized()
{
    if (wrapWidth() != m_laidOutWidth)
        layoutFrom(0);
}

int ReceiveView::visibleRows() const
{
    return std::max(1, static_cast<int>(viewport()->height() / m_lineHeight));
}

size_t ReceiveView::rowOf(qint64 pos) const
{
    auto it = std::upper_bound(m_rows.begin(), m_rows.end(), pos);
    return it == m_rows.begin() ? 0 : static_cast<size_t>(it - m_rows.begin() - 1);
}

qint64 ReceiveView::rowEnd(size_t row) const
{
    return row + 1 < m_rows.size() ? m_rows[row + 1] : m_text.size();
}

namespace {

// Walks the text from a row start and reports each new row start. Stop(s)
// returning true ends the walk before s is reported.
template <typename Report>
void scanRows(const ChunkedText &text, const std::array<qint32, 256> &advance, qint64 width, qint64 start,
              Report &&report)
{
    const qint64 size = text.size();
    qint64 rowStart = start;
    qint64 lastBreak = -1; // just after the last blank of the row
    qint64 x = 0;          // in 64ths of a pixel
    bool skipLineFeed = false;
    bool stopped = false;
    qint64 pos = start;
    text.forEachPiece(start, size - start, [&](const char *data, qsizetype n) {
        for (qsizetype i = 0; i < n && !stopped; ++i, ++pos) {
            const char c = data[i];
            if (skipLineFeed) {
                skipLineFeed = false;
                if (c == '\n')
                    continue;
            }
            if (c == '\r' || c == '\n') {
                qint64 next = pos + 1;
                if (c == '\r') {
                    // CR LF is one line break; look ahead across the piece.
                    if (next < size && (i + 1 < n ? data[i + 1] : text.at(next)) == '\n') {
                        ++next;
                        skipLineFeed = true;
                    }
                }
                if (report(next)) {
                    stopped = true;
                    return;
                }
                rowStart = next;
                lastBreak = -1;
                x = 0;
                continue;
            }
            const qint32 w = advance[static_cast<unsigned char>(c)];
            if (x + w > width && pos > rowStart) {
                qint64 next = pos;
                x = 0;
                if (lastBreak > rowStart && lastBreak < pos) {
                    next = lastBreak;
                    // The word moving down is within this piece, or spans
                    // the end of the one before: measure it where it lies.
                    if (pos - lastBreak <= i) {
                        for (qsizetype k = i - (pos - lastBreak); k < i; ++k)
                            x += advance[static_cast<unsigned char>(data[k])];
                    } else {
                        text.forEachPiece(lastBreak, pos - lastBreak, [&](const char *d, qsizetype m) {
                            for (qsizetype k = 0; k < m; ++k)
                                x += advance[static_cast<unsigned char>(d[k])];
                        });
                    }
                }
                if (report(next)) {
                    stopped = true;
                    return;
                }
                rowStart = next;
                lastBreak = -1;
            }
            x += w;
            if (c == ' ')
                lastBreak = pos + 1;
        }
    });
}

} // namespace

void ReceiveView::layoutFrom(size_t from)
{
    if (wrapWidth() != m_laidOutWidth)
        from = 0;
    m_laidOutWidth = wrapWidth();
    from = std::min(from, m_rows.size() - 1);
    m_rows.resize(from + 1);
    qint64 start = m_rows[from];
    // A row that began after a final CR moves past the LF that completes it.
    if (start > 0 && start < m_text.size() && m_text.at(start) == '\n' && m_text.at(start - 1) == '\r')
        m_rows[from] = ++start;
    scanRows(m_text, m_fixedAdvance, qint64(wrapWidth()) * 64, start, [this](qint64 next) {
        m_rows.push_back(next);
        return false;
    });
}

void ReceiveView::relayoutEdit(qint64 pos, qint64 removed, qint64 inserted)
{
    const qint64 delta = inserted - removed;
    // Wrapping can pull text back onto the row before, so start one row earlier.
    const size_t first = rowOf(pos) > 0 ? rowOf(pos) - 1 : 0;
    const qint64 settled = pos + inserted + 1; // rows starting beyond this are as before
    std::deque<qint64> fresh;
    size_t resumeAt = m_rows.size();
    scanRows(m_text, m_fixedAdvance, qint64(wrapWidth()) * 64, m_rows[first], [&](qint64 next) {
        if (next > settled) {
            // The old layout had a row here too: everything after it holds.
            const qint64 old = next - delta;
            auto it = std::lower_bound(m_rows.begin() + static_cast<std::ptrdiff_t>(first) + 1, m_rows.end(), old);
            if (it != m_rows.end() && *it == old) {
                resumeAt = static_cast<size_t>(it - m_rows.begin());
                return true;
            }
        }
        fresh.push_back(next);
        return false;
    });
    std::deque<qint64> tail;
    for (size_t j = resumeAt; j < m_rows.size(); ++j)
        tail.push_back(m_rows[j] + delta);
    m_rows.resize(first + 1);
    m_rows.insert(m_rows.end(), fresh.begin(), fresh.end());
    m_rows.insert(m_rows.end(), tail.begin(), tail.end());
}

QString ReceiveView::text() const
{
    return QString::fromLatin1(m_text.toByteArray());
}

void ReceiveView::setText(const QString &text)
{
    announceAppended();
    const QString removed = QAccessible::isActive() ? accessibleText(0, AccessibleEventCap) : QString();
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    m_text.clear();
    m_text.append(toBytes(text));
    m_rows = {0};
    layoutFrom(0);
    m_cursor = m_anchor = 0;
    updateScrollBar(false);
    verticalScrollBar()->setValue(0);
    viewport()->update();
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
    if (m_unannouncedFrom < 0)
        m_unannouncedFrom = m_text.size();
    m_text.append(bytes);
    // Only the last row can change: lay out from there.
    layoutFrom(m_rows.size() - 1);
    // The screen, the scroll bar and screen readers hear of it once per frame.
    if (!m_refresh.isActive())
        m_refresh.start();
}

void ReceiveView::refreshNow()
{
    m_refresh.stop();
    // The scroll bar's range has not changed since the last frame, so being
    // at its end means the user was following the end.
    updateScrollBar(followsEnd());
    viewport()->update();
    announceAppended();
}

bool ReceiveView::followsEnd() const
{
    const QScrollBar *sb = verticalScrollBar();
    return sb->value() >= sb->maximum();
}

void ReceiveView::updateScrollBar(bool followEnd)
{
    QScrollBar *sb = verticalScrollBar();
    const int rows = static_cast<int>(std::min<qint64>(rowCount(), std::numeric_limits<int>::max()));
    const int page = visibleRows();
    sb->setPageStep(page);
    sb->setRange(0, std::max(0, rows - page));
    if (followEnd)
        sb->setValue(sb->maximum());
}

qint64 ReceiveView::memoryUsed() const
{
    return m_text.capacity() + static_cast<qint64>(m_rows.size() * sizeof(qint64));
}

// ---- geometry --------------------------------------------------------------

QRect ReceiveView::caretRect(qint64 pos) const
{
    const size_t row = rowOf(pos);
    qreal x = Margin;
    m_text.forEachPiece(m_rows[row], pos - m_rows[row], [&](const char *d, qsizetype n) {
        for (qsizetype i = 0; i < n; ++i)
            x += advance(static_cast<unsigned char>(d[i]));
    });
    const qreal y = (static_cast<qreal>(row) - verticalScrollBar()->value()) * m_lineHeight;
    return QRectF(x, y, 1, m_lineHeight).toAlignedRect();
}

qint64 ReceiveView::offsetAt(const QPoint &p) const
{
    const qint64 first = verticalScrollBar()->value();
    const qint64 row = std::clamp<qint64>(first + static_cast<qint64>(std::floor(p.y() / m_lineHeight)), 0,
                                          rowCount() - 1);
    const qint64 start = m_rows[static_cast<size_t>(row)];
    const qint64 end = rowEnd(static_cast<size_t>(row));
    qreal x = Margin;
    qint64 pos = start;
    bool done = false;
    m_text.forEachPiece(start, end - start, [&](const char *d, qsizetype n) {
        for (qsizetype i = 0; i < n && !done; ++i) {
            if (isBreak(d[i])) {
                done = true;
                return;
            }
            const qreal w = advance(static_cast<unsigned char>(d[i]));
            if (p.x() < x + w / 2) {
                done = true;
                return;
            }
            x += w;
            ++pos;
        }
    });
    return pos;
}

// ---- painting --------------------------------------------------------------

void ReceiveView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const QPalette &pal = palette();
    p.fillRect(viewport()->rect(), pal.color(QPalette::Base));
    p.setFont(font());

    const qint64 selStart = selectionStart();
    const qint64 selEnd = selectionEnd();
    const QColor textColour = pal.color(QPalette::Text);
    const QColor highlight = pal.color(QPalette::Highlight);
    const QColor highlightText = pal.color(QPalette::HighlightedText);
    const qint64 first = verticalScrollBar()->value();
    const int height = viewport()->height();

    QList<quint32> glyphs;
    QList<QPointF> positions;
    QList<quint32> selectedGlyphs;
    QList<QPointF> selectedPositions;
    QGlyphRun run;
    run.setRawFont(m_rawFont);
    auto flush = [&](QList<quint32> &g, QList<QPointF> &pos, const QColor &colour) {
        if (g.isEmpty())
            return;
        run.setGlyphIndexes(g);
        run.setPositions(pos);
        p.setPen(colour);
        p.drawGlyphRun(QPointF(0, 0), run);
        g.clear();
        pos.clear();
    };
    QString single(1, QChar());
    for (qint64 row = first; row < rowCount(); ++row) {
        const qreal top = static_cast<qreal>(row - first) * m_lineHeight;
        if (top >= height)
            break;
        const qint64 start = m_rows[static_cast<size_t>(row)];
        const qint64 end = rowEnd(static_cast<size_t>(row));
        const qreal baseline = top + m_ascent;
        qreal x = Margin;
        qint64 pos = start;
        m_text.forEachPiece(start, end - start, [&](const char *d, qsizetype n) {
            for (qsizetype i = 0; i < n; ++i, ++pos) {
                const auto c = static_cast<unsigned char>(d[i]);
                const qreal w = advance(c);
                const bool selected = pos >= selStart && pos < selEnd;
                if (selected)
                    p.fillRect(QRectF(x, top, isBreak(d[i]) ? 3 : w, m_lineHeight), highlight);
                if (m_glyph[c] != 0) {
                    (selected ? selectedGlyphs : glyphs).append(m_glyph[c]);
                    (selected ? selectedPositions : positions).append(QPointF(x, baseline));
                } else if (w > 0 && c != ' ' && c != '\t') {
                    p.setPen(selected ? highlightText : textColour);
                    if (isControl(c)) {
                        // Control codes show as a small box, so nothing is invisible.
                        p.drawRect(QRectF(x + 1, top + m_lineHeight * 0.3, w - 3, m_lineHeight * 0.5));
                    } else {
                        single[0] = QChar(static_cast<char16_t>(c));
                        p.drawText(QPointF(x, baseline), single);
                    }
                }
                x += w;
            }
        });
    }
    flush(glyphs, positions, textColour);
    flush(selectedGlyphs, selectedPositions, highlightText);

    if (hasFocus() && m_caretShown) {
        const QRect caret = caretRect(m_cursor);
        if (caret.bottom() >= 0 && caret.top() < height)
            p.fillRect(caret, textColour);
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
    if (event->type() == QEvent::FontChange) {
        measureFont();
        layoutFrom(0);
        updateScrollBar(followsEnd());
        viewport()->update();
    }
}

void ReceiveView::scrollContentsBy(int, int)
{
    viewport()->update();
}

// ---- caret, selection, editing ---------------------------------------------

void ReceiveView::moveCursor(qint64 pos, bool keepAnchor)
{
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    m_cursor = std::clamp<qint64>(pos, 0, m_text.size());
    if (!keepAnchor)
        m_anchor = m_cursor;
    m_caretShown = true;
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
    QScrollBar *sb = verticalScrollBar();
    const auto row = static_cast<int>(std::min<qint64>(static_cast<qint64>(rowOf(m_cursor)), INT_MAX));
    if (row < sb->value())
        sb->setValue(row);
    else if (row >= sb->value() + visibleRows())
        sb->setValue(row - visibleRows() + 1);
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
    viewport()->update();
    announceCaret(oldAnchor, oldCursor);
}

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

void ReceiveView::replaceSelection(const QByteArray &bytes)
{
    replaceRange(selectionStart(), selectionEnd(), bytes);
}

void ReceiveView::replaceRange(qint64 start, qint64 end, const QByteArray &bytes)
{
    const qint64 removed = end - start;
    if (removed == 0 && bytes.isEmpty())
        return;
    announceAppended(); // earlier arrivals first, so that positions agree
    const qint64 oldAnchor = m_anchor;
    const qint64 oldCursor = m_cursor;
    const QString removedText =
        QAccessible::isActive() ? accessibleText(start, start + std::min(removed, AccessibleEventCap)) : QString();
    relayoutIfResized();
    m_text.remove(start, removed);
    m_text.insert(start, bytes);
    relayoutEdit(start, removed, bytes.size());
    m_cursor = m_anchor = start + bytes.size();
    m_preferredX = -1;
    updateScrollBar(false);
    ensureCursorVisible();
    viewport()->update();
    announceEdit(start, removedText, bytes.size());
    announceCaret(oldAnchor, oldCursor);
}

void ReceiveView::deleteBackward()
{
    if (m_anchor != m_cursor) {
        replaceSelection({});
    } else if (m_cursor > 0) {
        // A CR LF pair goes as one line break.
        const bool pair = m_cursor >= 2 && m_text.at(m_cursor - 1) == '\n' && m_text.at(m_cursor - 2) == '\r';
        replaceRange(m_cursor - (pair ? 2 : 1), m_cursor, {});
    }
}

void ReceiveView::deleteForward()
{
    if (m_anchor != m_cursor) {
        replaceSelection({});
    } else if (m_cursor < m_text.size()) {
        const bool pair = m_cursor + 1 < m_text.size() && m_text.at(m_cursor) == '\r' && m_text.at(m_cursor + 1) == '\n';
        replaceRange(m_cursor, m_cursor + (pair ? 2 : 1), {});
    }
}

void ReceiveView::keyPressEvent(QKeyEvent *e)
{
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    if (e->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (e->matches(QKeySequence::Copy)) {
        copy();
    } else if (e->matches(QKeySequence::Cut)) {
        cut();
    } else if (e->matches(QKeySequence::Paste)) {
        paste();
    } else if (e->matches(QKeySequence::MoveToStartOfDocument) || e->matches(QKeySequence::SelectStartOfDocument)) {
        setCursorPosition(0, shift);
    } else if (e->matches(QKeySequence::MoveToEndOfDocument) || e->matches(QKeySequence::SelectEndOfDocument)) {
        setCursorPosition(m_text.size(), shift);
    } else if (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right) {
        const bool left = e->key() == Qt::Key_Left;
        if (!shift && m_anchor != m_cursor)
            setCursorPosition(left ? selectionStart() : selectionEnd());
        else
            setCursorPosition(m_cursor + (left ? -1 : 1), shift);
    } else if (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down || e->key() == Qt::Key_PageUp
               || e->key() == Qt::Key_PageDown) {
        const QRect caret = caretRect(m_cursor);
        if (m_preferredX < 0)
            m_preferredX = caret.x();
        const int step = (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) ? 1 : visibleRows();
        const int sign = (e->key() == Qt::Key_Up || e->key() == Qt::Key_PageUp) ? -1 : 1;
        const qint64 row = std::clamp<qint64>(static_cast<qint64>(rowOf(m_cursor)) + sign * step, 0, rowCount() - 1);
        const int y = static_cast<int>((static_cast<qreal>(row) - verticalScrollBar()->value() + 0.5) * m_lineHeight);
        const qreal keepX = m_preferredX;
        moveCursor(offsetAt(QPoint(static_cast<int>(keepX), y)), shift);
        m_preferredX = keepX;
    } else if (e->key() == Qt::Key_Home) {
        setCursorPosition(m_rows[rowOf(m_cursor)], shift);
    } else if (e->key() == Qt::Key_End) {
        const size_t row = rowOf(m_cursor);
        qint64 end = rowEnd(row);
        while (end > m_rows[row] && isBreak(m_text.at(end - 1)))
            --end;
        setCursorPosition(end, shift);
    } else if (e->key() == Qt::Key_Backspace) {
        deleteBackward();
    } else if (e->key() == Qt::Key_Delete) {
        deleteForward();
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        insertText(QStringLiteral("\r\n"));
    } else if (!e->text().isEmpty() && !e->text().at(0).isNull() && e->text().at(0).isPrint()) {
        insertText(e->text());
    } else {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    e->accept();
}

void ReceiveView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    setCursorPosition(offsetAt(e->position().toPoint()), e->modifiers() & Qt::ShiftModifier);
    e->accept();
}

void ReceiveView::mouseMoveEvent(QMouseEvent *e)
{
    if (e->buttons() & Qt::LeftButton)
        setCursorPosition(offsetAt(e->position().toPoint()), true);
    e->accept();
}

void ReceiveView::mouseReleaseEvent(QMouseEvent *e)
{
    e->setAccepted(e->button() == Qt::LeftButton);
}

void ReceiveView::mouseDoubleClickEvent(QMouseEvent *e)
{
    // Selects the word (run of non-blanks) under the pointer.
    const qint64 at = offsetAt(e->position().toPoint());
    auto blank = [](char c) { return c == ' ' || c == '\t' || isBreak(c); };
    qint64 start = at;
    qint64 end = at;
    while (start > 0 && !blank(m_text.at(start - 1)))
        --start;
    while (end < m_text.size() && !blank(m_text.at(end)))
        ++end;
    m_anchor = start;
    moveCursor(end, true);
}

void ReceiveView::contextMenuEvent(QContextMenuEvent *e)
{
    QMenu menu(this);
    const bool hasSelection = selectionEnd() > selectionStart();
    menu.addAction(QStringLiteral("Taglia"), this, &ReceiveView::cut)->setEnabled(hasSelection);
    menu.addAction(QStringLiteral("Copia"), this, &ReceiveView::copy)->setEnabled(hasSelection);
    menu.addAction(QStringLiteral("Incolla"), this, &ReceiveView::paste)
        ->setEnabled(!QApplication::clipboard()->text().isEmpty());
    menu.addSeparator();
    menu.addAction(QStringLiteral("Seleziona tutto"), this, &ReceiveView::selectAll);
    menu.exec(e->globalPos());
}

void ReceiveView::focusInEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusInEvent(e);
    const int flash = QApplication::styleHints()->cursorFlashTime();
    if (flash > 0 && m_caretTimer == 0)
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

// ---- accessibility ----------------------------------------------------------

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

std::pair<qint64, qint64> ReceiveView::rowRange(qint64 row) const
{
    const auto r = static_cast<size_t>(std::clamp<qint64>(row, 0, rowCount() - 1));
    return {m_rows[r], rowEnd(r)};
}

namespace {
int eventOffset(qint64 pos) { return static_cast<int>(std::clamp<qint64>(pos, 0, INT_MAX)); }
} // namespace

// A screen reader gets at most AccessibleEventCap characters per event: a
// frame of a flood or a "Clr" of megabytes would otherwise be copied into
// D-Bus messages. Every event's text really stands at the event's position:
// an append carries its newest characters, a removal or a replacement its
// first ones. The reader asks for the rest if it wants it.
void ReceiveView::announceAppended()
{
    const qint64 from = m_unannouncedFrom;
    m_unannouncedFrom = -1;
    if (from < 0 || from >= m_text.size() || !QAccessible::isActive())
        return;
    const qint64 start = std::max(from, m_text.size() - AccessibleEventCap);
    QAccessibleTextInsertEvent ev(this, eventOffset(start), accessibleText(start, m_text.size()));
    QAccessible::updateAccessibility(&ev);
}

void ReceiveView::announceEdit(qint64 pos, const QString &removed, qint64 inserted)
{
    if (!QAccessible::isActive())
        return;
    const QString added = accessibleText(pos, pos + std::min(inserted, AccessibleEventCap));
    if (removed.isEmpty() && added.isEmpty())
        return;
    if (removed.isEmpty()) {
        QAccessibleTextInsertEvent ev(this, eventOffset(pos), added);
        QAccessible::updateAccessibility(&ev);
    } else if (added.isEmpty()) {
        QAccessibleTextRemoveEvent ev(this, eventOffset(pos), removed);
        QAccessible::updateAccessibility(&ev);
    } else {
        QAccessibleTextUpdateEvent ev(this, eventOffset(pos), removed, added);
        QAccessible::updateAccessibility(&ev);
    }
}

void ReceiveView::announceCaret(qint64 oldAnchor, qint64 oldCursor)
{
    if (!QAccessible::isActive())
        return;
    const bool hadSelection = oldAnchor != oldCursor;
    const bool hasSelection = m_anchor != m_cursor;
    if ((hadSelection || hasSelection) && (oldAnchor != m_anchor || oldCursor != m_cursor)) {
        QAccessibleTextSelectionEvent ev(this, eventOffset(selectionStart()), eventOffset(selectionEnd()));
        ev.setCursorPosition(eventOffset(m_cursor));
        QAccessible::updateAccessibility(&ev);
    }
    if (oldCursor != m_cursor) {
        QAccessibleTextCursorEvent ev(this, eventOffset(m_cursor));
        QAccessible::updateAccessibility(&ev);
    }
}

} // namespace corvanel
