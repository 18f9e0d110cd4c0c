#include "receive/ReceiveViewAccessible.h"

#include "receive/ReceiveView.h"

#include <QAccessibleWidget>
#include <QScrollBar>
#include <climits>

namespace corvanel {
namespace {

int clampInt(qint64 v) { return static_cast<int>(std::clamp<qint64>(v, 0, INT_MAX)); }

class ReceiveViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ReceiveViewAccessible(ReceiveView *view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    ReceiveView *view() const { return static_cast<ReceiveView *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return view()->text();
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
            *start = clampInt(view()->selectionStart());
            *end = clampInt(view()->selectionEnd());
        }
    }
    int selectionCount() const override { return view()->selectionEnd() > view()->selectionStart() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { view()->setCursorPosition(view()->cursorPosition()); }
    void setSelection(int, int start, int end) override
    {
        view()->setCursorPosition(start);
        view()->setCursorPosition(end, true);
    }
    int cursorPosition() const override { return clampInt(view()->cursorPosition()); }
    void setCursorPosition(int position) override { view()->setCursorPosition(position); }
    QString text(int startOffset, int endOffset) const override
    {
        const QByteArray all = view()->bytes();
        if (startOffset < 0 || endOffset < startOffset)
            return {};
        return QString::fromLatin1(all.mid(startOffset, endOffset - startOffset));
    }
    int characterCount() const override { return clampInt(view()->length()); }
    QRect characterRect(int offset) const override
    {
        const QRect r = view()->caretRect(offset);
        const QPoint origin = view()->viewport()->mapToGlobal(QPoint(0, 0));
        return r.translated(origin);
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return clampInt(view()->offsetAt(view()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int startIndex, int) override { view()->setCursorPosition(startIndex); }
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
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

} // namespace corvanel
