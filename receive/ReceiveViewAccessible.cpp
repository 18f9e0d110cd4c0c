#include "ReceiveViewAccessible.h"

#include "ReadableText.h"
#include "ReceiveAnnouncer.h"

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
    // The box is `widget`, whose text this reads through `text`.
    ReceiveViewAccessible(QWidget *widget, ReadableText &text)
        : QAccessibleWidget(widget, QAccessible::EditableText), m_text(text)
    {}

    // Offsets are into the box's accessible window (OffsetWindow).
    int offsetOf(qint64 pos) const { return static_cast<int>(m_text.accessibleWindow().offset(pos)); }
    qint64 positionOf(int offset) const { return m_text.accessibleWindow().position(offset); }

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
            return m_text.length() <= ReceiveAnnouncer::AccessibleEventCap ? m_text.accessibleText(0, m_text.length())
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
        if (index == 0 && m_text.selectionEnd() > m_text.selectionStart()) {
            *start = offsetOf(m_text.selectionStart());
            *end = offsetOf(m_text.selectionEnd());
        }
    }
    int selectionCount() const override { return m_text.selectionEnd() > m_text.selectionStart() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { m_text.select(m_text.cursorPosition(), m_text.cursorPosition()); }
    void setSelection(int, int start, int end) override
    {
        // Both in the window as it was before the caret moved.
        m_text.select(positionOf(start), positionOf(end));
    }
    int cursorPosition() const override { return offsetOf(m_text.cursorPosition()); }
    void setCursorPosition(int position) override
    {
        const qint64 pos = positionOf(position);
        m_text.select(pos, pos);
    }
    QString text(int startOffset, int endOffset) const override
    {
        if (startOffset < 0 || endOffset < startOffset)
            return {};
        return windowText(startOffset, std::min<qint64>(endOffset, startOffset + AccessibleQueryCap));
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
    int characterCount() const override { return static_cast<int>(m_text.accessibleWindow().size()); }
    QRect characterRect(int at) const override
    {
        if (at < 0 || at > characterCount())
            return {};
        const qint64 offset = positionOf(at);
        QRect r = m_text.screenCaretRect(offset);
        r.setWidth(std::max(1, m_text.screenCaretRect(std::min<qint64>(offset + 1, m_text.length())).x() - r.x()));
        return r;
    }
    int offsetAtPoint(const QPoint &point) const override { return offsetOf(m_text.offsetAtScreen(point)); }
    void scrollToSubstring(int startIndex, int) override { setCursorPosition(startIndex); }
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

    // The window's text between two of its offsets: across the seam of a
    // window in two stretches, the end of the first and the start of the second.
    QString windowText(qint64 startOffset, qint64 endOffset) const
    {
        const OffsetWindow w = m_text.accessibleWindow();
        startOffset = std::clamp<qint64>(startOffset, 0, w.size());
        endOffset = std::clamp<qint64>(endOffset, startOffset, w.size());
        if (startOffset < w.seam() && endOffset > w.seam())
            return m_text.accessibleText(w.position(startOffset), w.headStart() + w.seam())
                   + m_text.accessibleText(w.tailStart(), w.position(endOffset));
        return m_text.accessibleText(w.position(startOffset), w.position(endOffset));
    }

    // Words, sentences and paragraphs are found within this many characters
    // either side of the offset, so that no query costs the box's size.
    static constexpr qint64 Reach = 4096;

    // The same answers as Qt's own defaults (QAccessibleTextInterface), but
    // from a window around the offset instead of a copy of the whole text;
    // lines are rows as shown. "No such item" is -1, -1 and an empty text.
    QString item(Where where, int offset, QAccessible::TextBoundaryType type, int *start, int *end) const
    {
        const qint64 count = m_text.length();
        *start = *end = -1;
        if (offset < -2 || offset > characterCount())
            return {};
        const qint64 at = offset == -1 ? count : offset == -2 ? m_text.cursorPosition() : positionOf(offset);
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
        return m_text.accessibleText(span.first, span.second);
    }

    using Span = std::pair<qint64, qint64>;
    static constexpr Span None {-1, -1};

    // A line is a row as shown, with its line break.
    Span lineItem(Where where, qint64 offset) const
    {
        const ReadableText *v = &m_text;
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
        const qint64 count = m_text.length();
        auto around = [&](qint64 pos) {
            // The LF of a CR LF belongs to the paragraph the CR ends.
            if (pos > 0 && pos < count && m_text.accessibleText(pos - 1, pos + 1) == u"\r\n")
                --pos;
            const qint64 lo = std::max<qint64>(0, pos - Reach);
            const QString before = m_text.accessibleText(lo, pos);
            qint64 s = pos;
            while (s > lo && before.at(s - lo - 1) != u'\n' && before.at(s - lo - 1) != u'\r')
                --s;
            const qint64 hi = std::min(count, pos + Reach);
            const QString after = m_text.accessibleText(pos, hi);
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
        const qint64 hi = std::min(m_text.length(), offset + Reach);
        const QString window = m_text.accessibleText(lo, hi);
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

    ReadableText &m_text;
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className != QLatin1String("corvanel::ReceiveView") || !object || !object->isWidgetType())
        return nullptr;
    if (auto *text = dynamic_cast<ReadableText *>(object))
        return new ReceiveViewAccessible(static_cast<QWidget *>(object), *text);
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

} // namespace corvanel
