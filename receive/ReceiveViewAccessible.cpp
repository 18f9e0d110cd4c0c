#include "ReceiveViewAccessible.h"

#include "ReceiveView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <climits>
#include <tuple>

namespace corvanel {
namespace {

// D-Bus refuses messages over 128 MiB; a capped answer stays far below.
static_assert(3 * AccessibleQueryCap <= (qint64(128) << 20) / 32);

class ReceiveViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ReceiveViewAccessible(ReceiveView *view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    ReceiveView *view() const { return static_cast<ReceiveView *>(widget()); }
    // Offsets are into the view's accessible window (OffsetWindow).
    int offsetOf(qint64 pos) const { return view()->accessibleOffset(pos); }
    qint64 positionOf(int offset) const { return view()->accessibleWindow().position(offset); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        // The value is the whole text only while it is short: screen readers
        // read a long log through the text interface, a piece at a time.
        if (t == QAccessible::Value)
            return view()->length() <= ReceiveView::AccessibleEventCap ? view()->accessibleText(0, view()->length())
                                                                       : QString();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    // QAccessibleTextInterface
    void selection(int index, int *start, int *end) const override
    {
        *start = *end = 0;
        if (index == 0 && view()->selectionEnd() > view()->selectionStart()) {
            *start = offsetOf(view()->selectionStart());
            *end = offsetOf(view()->selectionEnd());
        }
    }
    int selectionCount() const override { return view()->selectionEnd() > view()->selectionStart() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { view()->setCursorPosition(view()->cursorPosition()); }
    void setSelection(int, int start, int end) override
    {
        const qint64 from = positionOf(start);
        const qint64 to = positionOf(end); // in the window as it was before the caret moved
        view()->setCursorPosition(from);
        view()->setCursorPosition(to, true);
    }
    int cursorPosition() const override { return offsetOf(view()->cursorPosition()); }
    void setCursorPosition(int position) override { view()->setCursorPosition(positionOf(position)); }
    QString text(int startOffset, int endOffset) const override
    {
        if (startOffset < 0 || endOffset < startOffset)
            return {};
        return view()->accessibleWindowText(startOffset, std::min<qint64>(endOffset, startOffset + AccessibleQueryCap));
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        return item(Before, offset, type, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        return item(At, offset, type, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        return item(After, offset, type, start, end);
    }
    int characterCount() const override { return static_cast<int>(view()->accessibleWindow().size()); }
    QRect characterRect(int at) const override
    {
        if (at < 0 || at > characterCount())
            return {};
        const qint64 offset = positionOf(at);
        QRect r = view()->caretRect(offset);
        r.setWidth(std::max(1, view()->caretRect(std::min<qint64>(offset + 1, view()->length())).x() - r.x()));
        return r.translated(view()->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return offsetOf(view()->offsetAt(view()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int startIndex, int) override { view()->setCursorPosition(positionOf(startIndex)); }
    // The box has no formatting: one run, the whole text, holds every
    // offset (a screen reader joins the runs of a line to read it whole).
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        const int count = characterCount();
        if (offset < 0 || offset > count) {
            *startOffset = *endOffset = -1;
            return {};
        }
        *startOffset = 0;
        *endOffset = count;
        return {};
    }

private:
    enum Where { Before, At, After };

    // Words, sentences and paragraphs are found within this many characters
    // either side of the offset, so that no query costs the box's size.
    static constexpr qint64 Reach = 4096;

    // The same answers as Qt's own defaults (QAccessibleTextInterface), but
    // from a window around the offset instead of a copy of the whole text;
    // lines are rows as shown. "No such item" is -1, -1 and an empty text.
    QString item(Where where, int offset, QAccessible::TextBoundaryType type, int *start, int *end) const
    {
        const qint64 count = view()->length();
        *start = *end = -1;
        if (offset < -2 || offset > characterCount())
            return {};
        const qint64 at = offset == -1 ? count : offset == -2 ? view()->cursorPosition() : positionOf(offset);
        if (count == 0 || (where == Before && at == 0) || (where == After && at == count)
            || (where == At && at == count && type == QAccessible::CharBoundary))
            return {};
        Span span = None;
        switch (type) {
        case QAccessible::LineBoundary:
            span = lineItem(where, at);
            break;
        case QAccessible::ParagraphBoundary:
            span = paragraphItem(where, at);
            break;
        case QAccessible::NoBoundary:
            if (where == At)
                span = {0, count};
            break;
        case QAccessible::CharBoundary:
        case QAccessible::WordBoundary:
        case QAccessible::SentenceBoundary:
            span = finderItem(where, at, type);
            break;
        }
        if (span.first < 0 || span.second < 0 || (where == After && span.first == span.second))
            return {};
        span.second = std::min(span.second, span.first + AccessibleQueryCap);
        *start = offsetOf(span.first);
        *end = offsetOf(span.second);
        return view()->accessibleText(span.first, span.second);
    }

    using Span = std::pair<qint64, qint64>;
    static constexpr Span None {-1, -1};

    // A line is a row as shown, with its line break.
    Span lineItem(Where where, qint64 offset) const
    {
        const ReceiveView *v = view();
        qint64 row = v->rowAt(offset);
        if (where == Before && row == 0)
            return None;
        if (where == After && row + 1 >= v->rowCount())
            return None;
        row += where == Before ? -1 : where == After ? 1 : 0;
        return v->rowRange(row);
    }

    // A paragraph runs from one line break to the next, the break included.
    Span paragraphItem(Where where, qint64 offset) const
    {
        const qint64 count = view()->length();
        auto around = [&](qint64 pos) {
            // The LF of a CR LF belongs to the paragraph the CR ends.
            if (pos > 0 && pos < count && view()->accessibleText(pos - 1, pos + 1) == u"\r\n")
                --pos;
            const qint64 lo = std::max<qint64>(0, pos - Reach);
            const QString before = view()->accessibleText(lo, pos);
            qint64 s = pos;
            while (s > lo && before.at(s - lo - 1) != u'\n' && before.at(s - lo - 1) != u'\r')
                --s;
            const qint64 hi = std::min(count, pos + Reach);
            const QString after = view()->accessibleText(pos, hi);
            qint64 e = pos;
            while (e < hi && after.at(e - pos) != u'\n' && after.at(e - pos) != u'\r')
                ++e;
            if (e < hi && after.at(e - pos) == u'\r')
                ++e;
            if (e < hi && after.at(e - pos) == u'\n')
                ++e;
            return Span(s, e);
        };
        const Span here = around(offset);
        if (where == Before)
            return here.first == 0 ? None : around(here.first - 1);
        if (where == After)
            return here.second >= count ? None : around(here.second);
        return here;
    }

    // Characters, words and sentences as a stock text box finds them.
    Span finderItem(Where where, qint64 offset, QAccessible::TextBoundaryType type) const
    {
        const qint64 lo = std::max<qint64>(0, offset - Reach);
        const qint64 hi = std::min(view()->length(), offset + Reach);
        const QString window = view()->accessibleText(lo, hi);
        const qsizetype length = window.size();
        QTextBoundaryFinder finder(type == QAccessible::CharBoundary   ? QTextBoundaryFinder::Grapheme
                                   : type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                       : QTextBoundaryFinder::Sentence,
                                   window);
        const auto atEdge = [&] {
            return finder.boundaryReasons() & (QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem);
        };
        const auto nextEdge = [&] {
            while (true) {
                const qsizetype next = finder.toNextBoundary();
                if (atEdge() || next < 0 || next >= length)
                    return finder.position();
            }
        };
        const auto previousEdge = [&] {
            while (!atEdge() && finder.toPreviousBoundary() > 0) {}
            return finder.position();
        };
        const auto global = [&](qsizetype p) { return p < 0 ? qint64(-1) : lo + p; };
        finder.setPosition(offset - lo);
        if (where == After) {
            const qsizetype s = nextEdge();
            return {global(s), global(s < 0 ? s : nextEdge())};
        }
        const qsizetype first = previousEdge();
        if (where == Before) {
            while (finder.toPreviousBoundary() > 0 && !atEdge()) {}
            return {global(finder.position()), global(first)};
        }
        while (finder.toNextBoundary() < length && finder.position() >= 0 && !atEdge()) {}
        return {global(first), global(finder.position() < 0 ? length : finder.position())};
    }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("corvanel::ReceiveView") && object && object->isWidgetType())
        return new ReceiveViewAccessible(static_cast<ReceiveView *>(object));
    return nullptr;
}

} // namespace

void installReceiveViewAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

// ---- what the view tells screen readers --------------------------------------

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
    const qint64 r = std::clamp<qint64>(row, 0, rowCount() - 1);
    return {m_layout.rowStart(r), rowEnd(r)};
}

QString ReceiveView::accessibleWindowText(qint64 startOffset, qint64 endOffset) const
{
    // Across the seam of a window in two stretches: the end of the first
    // and the start of the second.
    const OffsetWindow w = accessibleWindow();
    startOffset = std::clamp<qint64>(startOffset, 0, w.size());
    endOffset = std::clamp<qint64>(endOffset, startOffset, w.size());
    if (startOffset < w.seam() && endOffset > w.seam())
        return accessibleText(w.position(startOffset), w.headStart() + w.seam())
               + accessibleText(w.tailStart(), w.position(endOffset));
    return accessibleText(w.position(startOffset), w.position(endOffset));
}

// A screen reader gets at most AccessibleEventCap characters per event: a
// "Clr" of megabytes would otherwise be copied into D-Bus messages. Every
// event's text really stands at the event's position: an append carries its
// newest characters, a removal or a replacement its first ones. The reader
// asks for the rest if it wants it.
//
// Arrivals are announced as whole rows, and at most once a second while they
// keep coming: a reader speaks each announcement, and one per frame of a
// stream would leave it minutes behind. The rows in between are never
// announced (the text has them); when arrivals pause, the newest rows go out,
// the unfinished last one included, so that a device's answer is heard whole.
void ReceiveView::announceAppended(bool settled)
{
    const qint64 from = m_unannouncedFrom;
    const qint64 size = m_text.size();
    if (from < 0 || from >= size || !QAccessible::isActive()) {
        m_unannouncedFrom = -1;
        m_announceQuiet.stop();
        return;
    }
    const qint64 lastStart = m_layout.rowStart(rowCount() - 1); // the row still growing (empty after a break)
    qint64 start = 0;
    qint64 end = size;
    if (settled) {
        // The row of the last character, and the one before it if that row is unfinished.
        qint64 row = rowAt(size - 1);
        if (lastStart < size && row > 0)
            --row;
        start = m_layout.rowStart(row);
    } else if (lastStart > from && (!m_lastAnnounced.isValid() || m_lastAnnounced.elapsed() >= AnnounceMs)) {
        start = m_layout.rowStart(rowAt(lastStart - 1)); // the newest whole row
        end = lastStart;
    } else {
        m_announceQuiet.start(AnnounceQuietMs);
        return;
    }
    start = std::max({start, from, end - AccessibleEventCap});
    m_unannouncedFrom = end < size ? end : -1;
    if (m_unannouncedFrom < 0)
        m_announceQuiet.stop();
    else
        m_announceQuiet.start(AnnounceQuietMs);
    m_lastAnnounced.start();
    QAccessibleTextInsertEvent ev(this, accessibleOffset(start), accessibleText(start, end));
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
        QAccessibleTextInsertEvent ev(this, accessibleOffset(pos), added);
        QAccessible::updateAccessibility(&ev);
    } else if (added.isEmpty()) {
        QAccessibleTextRemoveEvent ev(this, accessibleOffset(pos), removed);
        QAccessible::updateAccessibility(&ev);
    } else {
        QAccessibleTextUpdateEvent ev(this, accessibleOffset(pos), removed, added);
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
        QAccessibleTextSelectionEvent ev(this, accessibleOffset(selectionStart()), accessibleOffset(selectionEnd()));
        ev.setCursorPosition(accessibleOffset(m_cursor));
        QAccessible::updateAccessibility(&ev);
    }
    if (oldCursor != m_cursor) {
        QAccessibleTextCursorEvent ev(this, accessibleOffset(m_cursor));
        QAccessible::updateAccessibility(&ev);
    }
}

} // namespace corvanel
