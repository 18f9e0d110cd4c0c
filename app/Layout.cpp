// Builds the main window from its table (ControlTable.h): each kind of
// control made and given its look, the names Form1 works with bound, the
// keyboard order and what screen readers hear.

#include "Accessibility.h"
#include "ControlTable.h"
#include "ComboWheel.h"
#include "Form1.h"
#include "ListField.h"
#include "Outline.h"
#include "ReceiveView.h"
#include "SendEdit.h"
#include "Looks.h"
#include "Pictures.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <array>
#include <vector>

namespace corvanel {
namespace {

const QColor Orange(255, 128, 0);
const QColor Yellow(255, 255, 0);
const QColor Olive(192, 192, 0);
const QColor DarkGreen(0, 64, 0);
const QColor White(255, 255, 255);
const QColor Black(0, 0, 0);
const QColor PaleGreen(192, 255, 192);
const QColor PaleOrange(255, 224, 192);

QString textOf(const char *utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

QRect boxOf(const ControlRow &row)
{
    return twips(row.box.left, row.box.top, row.box.width, row.box.height);
}

template <typename W>
W *place(W *w, const ControlRow &row)
{
    w->setObjectName(QString::fromLatin1(row.name));
    w->setGeometry(boxOf(row));
    return w;
}

void setColours(QWidget *w, const QColor &text, const QColor *background)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, text);
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::ButtonText, text);
    if (background) {
        // Buttons paint their background in the Button role, the rest in Window.
        pal.setColor(QPalette::Window, *background);
        pal.setColor(QPalette::Button, *background);
        w->setAutoFillBackground(true);
    } else {
        w->setAttribute(Qt::WA_TranslucentBackground);
        w->setAutoFillBackground(false);
    }
    w->setPalette(pal);
}

struct LabelLook
{
    QColor colour;
    bool opaque;
    QFont font;
    Qt::Alignment align;
};

LabelLook labelLook(Look look)
{
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignTop;
    const Qt::Alignment centre = Qt::AlignHCenter | Qt::AlignTop;
    switch (look) {
    case Look::OrangeText:
        return {Orange, false, uiFont(9.75), left};
    case Look::OrangeOnBlack:
        return {Orange, true, uiFont(9.75), left};
    case Look::OrangeRight:
        return {Orange, true, uiFont(9.75), Qt::AlignRight | Qt::AlignTop};
    case Look::Heading:
        return {Yellow, false, uiFont(9.75, true), left};
    case Look::LampCaption:
        return {Orange, true, uiFont(8.25), centre};
    case Look::LampCaptionBare:
        return {Orange, false, uiFont(8.25), centre};
    default:
        return {Yellow, true, uiFont(8.25), left};
    }
}

QWidget *makeLabel(const ControlRow &row, QWidget *parent)
{
    const LabelLook look = labelLook(row.look);
    auto *l = place(new QLabel(textOf(row.text), parent), row);
    setColours(l, look.colour, look.opaque ? &Black : nullptr);
    l->setFont(look.font);
    l->setAlignment(look.align);
    l->setFocusPolicy(Qt::NoFocus);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QWidget *makeCombo(const ControlRow &row, QWidget *parent)
{
    const QStringList items = textOf(row.list).split(u' ');
    const QString text = textOf(row.text);
    auto *c = place(new QComboBox(parent), row);
    c->setEditable(true);
    keepTypingInTheField(c);
    c->addItems(items);
    c->setCurrentIndex(static_cast<int>(items.indexOf(text)));
    c->setEditText(text);
    c->setFocusPolicy(Qt::StrongFocus);
    new ComboWheel(c);
    QPalette pal = c->palette();
    if (row.look == Look::PortCombo) {
        pal.setColor(QPalette::Text, DarkGreen);
        pal.setColor(QPalette::Base, White);
    } else {
        pal.setColor(QPalette::Text, pal.color(QPalette::Active, QPalette::WindowText));
    }
    c->setPalette(pal);
    c->setFont(uiFont(8.25, row.look == Look::PortCombo));
    return c;
}

QWidget *makeCheckBox(const ControlRow &row, QWidget *parent)
{
    auto *c = place(new QCheckBox(parent), row);
    QPalette pal = c->palette();
    pal.setColor(QPalette::Window, Black);
    pal.setColor(QPalette::Button, Black);
    c->setPalette(pal);
    c->setAutoFillBackground(true);
    c->setFocusPolicy(Qt::StrongFocus);
    return c;
}

QWidget *makeLamp(const ControlRow &row, QWidget *parent)
{
    const bool lit = row.look == Look::Lit;
    auto *img = place(new QLabel(parent), row);
    img->setPixmap(lampPicture(lit));
    img->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    img->setAttribute(Qt::WA_TranslucentBackground);
    img->setVisible(!lit); // every lit image starts hidden
    return img;
}

QWidget *makePauseField(const ControlRow &row, QWidget *parent)
{
    auto *field = place(new QLineEdit(parent), row);
    exposeWholeRuns(field); // before any text, which a listening reader would ask about
    field->setText(textOf(row.text));
    field->setFont(uiFont(6.75));
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setFrame(false);
    field->setTextMargins(0, 0, 1, 0);
    field->setAccessibleDescription(msg::text(msg::PauseUnit));
    return field;
}

QWidget *makeSendBox(const ControlRow &row, QWidget *parent)
{
    auto *box = place(new SendEdit(parent), row);
    box->setPlainText(textOf(row.text));
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setTabChangesFocus(true);
    box->setFont(uiFont(8.25));
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, PaleGreen);
    pal.setColor(QPalette::Text, Black);
    box->setPalette(pal);
    return box;
}

QWidget *makeReceiveBox(const ControlRow &row, QWidget *parent)
{
    auto *box = place(new ReceiveView(parent), row);
    box->setFont(uiFont(8.25));
    box->setColours(Black, PaleOrange);
    box->setText(textOf(row.text));
    // The box repaints its scroll bar with every frame of arriving data.
    // Opaque (in the window's own black, which showed through before), it
    // spares the window and its outline beneath from repainting too.
    QPalette pal = box->palette();
    pal.setColor(QPalette::Window, Black);
    box->setPalette(pal);
    box->setAutoFillBackground(true);
    return box;
}

QWidget *makeOption(const ControlRow &row, QWidget *parent)
{
    auto *option = place(new QRadioButton(textOf(row.text), parent), row);
    setColours(option, White, &Black);
    QPalette pal = option->palette();
    pal.setColor(QPalette::Text, Black); // the dot inside the white circle
    option->setPalette(pal);
    option->setFont(uiFont(8.25));
    option->setFocusPolicy(Qt::StrongFocus);
    option->setChecked(row.look == Look::ChosenOption);
    return option;
}

QWidget *makeButton(const ControlRow &row, QWidget *parent)
{
    auto *b = place(new QPushButton(textOf(row.text), parent), row);
    b->setFont(row.look == Look::BigBoldButton ? uiFont(12, true) : uiFont(8.25, row.look == Look::BoldButton));
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

QWidget *makeOutline(const ControlRow &row, QWidget *parent)
{
    return place(new Outline(row.look == Look::OrangeOutline ? Orange : Olive, parent), row);
}

QWidget *makeControl(const ControlRow &row, QWidget *parent)
{
    switch (row.kind) {
    case Kind::Outline:
        return makeOutline(row, parent);
    case Kind::Label:
        return makeLabel(row, parent);
    case Kind::Combo:
        return makeCombo(row, parent);
    case Kind::Check:
        return makeCheckBox(row, parent);
    case Kind::Lamp:
        return makeLamp(row, parent);
    case Kind::PauseField:
        return makePauseField(row, parent);
    case Kind::SendBox:
        return makeSendBox(row, parent);
    case Kind::ReceiveBox:
        return makeReceiveBox(row, parent);
    case Kind::Option:
        return makeOption(row, parent);
    case Kind::Button:
        return makeButton(row, parent);
    }
    return nullptr;
}

} // namespace

Outline::Outline(const QColor &colour, QWidget *parent) : QWidget(parent), m_colour(colour)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void Outline::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_colour, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

void Form1::createControls()
{
    for (const ControlRow &row : Form1Controls) {
        QWidget *w = makeControl(row, this);
        if (row.accessibleName)
            w->setAccessibleName(msg::text(row.accessibleName));
        if (row.toolTip)
            w->setToolTip(msg::text(row.toolTip));
    }
    bindNames();
}

template <typename T>
T *Form1::control(const char *name) const
{
    return findChild<T *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void Form1::bindNames()
{
#define CORVANEL_BIND(Name) Name = control<CORVANEL_CONTROL_CLASS(Name)>(#Name);
    CORVANEL_NAMED_CONTROLS(CORVANEL_BIND)
#undef CORVANEL_BIND
    for (std::size_t i = 0; i < Option1.size(); ++i)
        Option1[i] = control<QRadioButton>(Option1Names[i]);
}

void Form1::exposeToScreenReaders()
{
    // Each heading or caption labels its control (labelled-by). A buddy
    // changes nothing on screen: no caption has a mnemonic.
    const std::pair<QLabel *, QWidget *> buddies[]
        = {{Label2, Combo1}, {Label4, Combo2},  {Label15, Combo4}, {Label7, Combo3}, {Label8, Check1},
           {Label9, Check2}, {Label16, Check3}, {Label1, Text1},   {Label3, Text2}};
    for (const auto &[heading, control] : buddies)
        heading->setBuddy(control);
    // Each lamp is named after the line its caption shows.
    const std::array<QLabel *, 3> lamps[] = {{Image1, Image2, Label10},
                                             {Image4, Image3, Label11},
                                             {Image10, Image9, Label14},
                                             {Image8, Image7, Label13},
                                             {Image5, Image6, Label12}};
    for (const auto &[unlit, lit, caption] : lamps)
        exposeLamp(unlit, lit, caption, caption->text());
}

namespace {

int textRoom(const QWidget *w)
{
    // The room a caption has inside its control, after the style's own parts.
    if (qobject_cast<const QPushButton *>(w))
        return w->width() - 4;
    if (qobject_cast<const QRadioButton *>(w))
        return w->width() - 20;
    return w->width();
}

QString captionOf(const QWidget *w)
{
    if (const auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (const auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    return {};
}

} // namespace

void Form1::fitCaptions()
{
    // Where a caption would be clipped in the regular face, the narrow face
    // of the same family keeps it whole at the same size.
    const auto widgets = findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        const QString caption = captionOf(w);
        if (caption.isEmpty())
            continue;
        if (QFontMetrics(w->font()).horizontalAdvance(caption) > textRoom(w)) {
            QFont narrow = w->font();
            narrow.setFamily(NarrowFamily);
            w->setFont(narrow);
        }
    }
}

void Form1::setTabOrder()
{
    // The table's keyboard places, less those of controls that never take
    // the focus (captions hold places too).
    std::vector<std::pair<int, QWidget *>> order;
    for (const ControlRow &row : Form1Controls) {
        QWidget *w = control<QWidget>(row.name);
        if (row.tab >= 0 && w->focusPolicy() != Qt::NoFocus)
            order.emplace_back(row.tab, w);
    }
    std::sort(order.begin(), order.end());
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

} // namespace corvanel
