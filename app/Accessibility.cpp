#include "Accessibility.h"
#include "Messages.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace corvanel {
namespace {

// Which of our accessibles a widget gets, kept as a property of the widget.
const char *const Kind = "corvanelAccessible";
const char *const LampLine = "corvanelLampLine";
const char *const LampLit = "corvanelLampLit";
enum AccessibleKind { LampKind = 1, LeftOutKind, FieldKind };

bool isLit(const QLabel *lit)
{
    return lit && !lit->isHidden();
}

// The lamp, on its unlit image.
class LampAccessible : public QAccessibleWidget
{
public:
    explicit LampAccessible(QLabel *unlit) : QAccessibleWidget(unlit, QAccessible::Graphic) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const auto *lit = qobject_cast<const QLabel *>(widget()->property(LampLit).value<QObject *>());
            return lampName(widget()->property(LampLine).toString(), isLit(lit));
        }
        if (t == QAccessible::Description)
            return {};
        return QAccessibleWidget::text(t);
    }
};

// A lamp's lit image or caption: drawn, but not a thing of its own to a
// screen reader (the lamp says all of it).
class LeftOutAccessible : public QAccessibleWidget
{
public:
    explicit LeftOutAccessible(QWidget *w) : QAccessibleWidget(w, QAccessible::Graphic) {}

    QString text(QAccessible::Text) const override { return {}; }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        return s;
    }
};

// Tells screen readers that a lamp changed when its lit image is shown or hidden.
class LampWatch : public QObject
{
public:
    LampWatch(QLabel *unlit, QLabel *lit) : QObject(lit), m_unlit(unlit) { lit->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool changed = event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent;
        if (changed && m_unlit && QAccessible::isActive()) {
            QAccessibleEvent ev(m_unlit.data(), QAccessible::NameChanged);
            QAccessible::updateAccessibility(&ev);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QLabel> m_unlit;
};

// A QLineEdit as Qt presents it, but with whole attribute runs.
class FieldAccessible : public QAccessibleWidget,
                        public QAccessibleTextInterface,
                        public QAccessibleEditableTextInterface
{
public:
    explicit FieldAccessible(QLineEdit *field) : QAccessibleWidget(field, QAccessible::EditableText) {}

    QLineEdit *field() const { return static_cast<QLineEdit *>(widget()); }
    QString shown() const { return field()->displayText(); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (t == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? shown() : QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString &text) override
    {
        if (t == QAccessible::Value && !field()->isReadOnly())
            field()->setText(text);
        else
            QAccessibleWidget::setText(t, text);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !field()->isReadOnly();
        s.readOnly = field()->isReadOnly();
        s.selectableText = true;
        s.passwordEdit = field()->echoMode() != QLineEdit::Normal;
        return s;
    }

    // QAccessibleTextInterface
    void selection(int index, int *start, int *end) const override
    {
        *start = *end = 0;
        if (index == 0 && field()->hasSelectedText()) {
            *start = field()->selectionStart();
            *end = *start + field()->selectionLength();
        }
    }
    int selectionCount() const override { return field()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { field()->deselect(); }
    void setSelection(int, int start, int end) override { field()->setSelection(start, end - start); }
    int cursorPosition() const override { return field()->cursorPosition(); }
    void setCursorPosition(int position) override { field()->setCursorPosition(position); }
    QString text(int startOffset, int endOffset) const override
    {
        if (startOffset < 0 || endOffset < startOffset)
            return {};
        return shown().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(shown().size()); }
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = field()->mapFromGlobal(point);
        return field()->rect().contains(local) ? field()->cursorPositionAt(local) : -1;
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        field()->setCursorPosition(endIndex);
        field()->setCursorPosition(startIndex);
    }
    // A field has no formatting: one run, the whole text, holds every offset.
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        const int count = characterCount();
        *startOffset = offset < 0 || offset > count ? -1 : 0;
        *endOffset = offset < 0 || offset > count ? -1 : count;
        return {};
    }

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override { replaceText(startOffset, endOffset, {}); }
    void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        if (field()->isReadOnly())
            return;
        field()->setSelection(startOffset, endOffset - startOffset);
        field()->insert(text);
    }
};

// The caret's place is the one the field reports; a character's place is
// the caret's moved by the width of the text between the two.
QRect FieldAccessible::characterRect(int offset) const
{
    const QString t = shown();
    if (offset < 0 || offset >= t.size())
        return {};
    const QFontMetricsF fm(field()->font());
    const QRect caret = field()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const qreal x = caret.center().x() + fm.horizontalAdvance(t.left(offset))
                    - fm.horizontalAdvance(t.left(field()->cursorPosition()));
    const QRect r(qRound(x), caret.y(), std::max(1, qRound(fm.horizontalAdvance(t.at(offset)))), caret.height());
    return r.translated(field()->mapToGlobal(QPoint(0, 0)));
}

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    switch (object->property(Kind).toInt()) {
    case LampKind:
        if (auto *l = qobject_cast<QLabel *>(object))
            return new LampAccessible(l);
        break;
    case LeftOutKind:
        return new LeftOutAccessible(static_cast<QWidget *>(object));
    case FieldKind:
        if (auto *f = qobject_cast<QLineEdit *>(object))
            return new FieldAccessible(f);
        break;
    default:
        break;
    }
    return nullptr;
}

void installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

// Gives w the accessible of this kind. One Qt made for it already (as a
// widget's own events ask for it while it is set up) is dropped, so that
// the next question gets ours.
void setKind(QWidget *w, AccessibleKind kind)
{
    installFactory();
    w->setProperty(Kind, kind);
    QAccessibleInterface *made = QAccessible::queryAccessibleInterface(w);
    if (made && !dynamic_cast<LampAccessible *>(made) && !dynamic_cast<LeftOutAccessible *>(made)
        && !dynamic_cast<FieldAccessible *>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

} // namespace

QString lampName(const QString &line, bool lit)
{
    return line + msg::text(lit ? msg::LampOn : msg::LampOff);
}

void exposeLamp(QLabel *unlit, QLabel *lit, QLabel *caption, const QString &line)
{
    unlit->setProperty(LampLine, line);
    unlit->setProperty(LampLit, QVariant::fromValue<QObject *>(lit));
    setKind(unlit, LampKind);
    setKind(lit, LeftOutKind);
    setKind(caption, LeftOutKind);
    new LampWatch(unlit, lit);
}

void exposeWholeRuns(QLineEdit *field)
{
    setKind(field, FieldKind);
}

} // namespace corvanel
