// The main window's controls: names, places, colours, fonts, initial states.
// Places are given in twips (15 to a pixel at 96 dots per inch).

#include "Accessibility.h"
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

template <typename W>
W *place(W *w, const char *name, const QRect &box)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(box);
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

QLabel *label(QWidget *parent, const char *name, const QString &text, const QRect &box, const QColor &colour,
              bool opaque, const QFont &font, Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop)
{
    auto *l = place(new QLabel(text, parent), name, box);
    setColours(l, colour, opaque ? &Black : nullptr);
    l->setFont(font);
    l->setAlignment(align);
    l->setFocusPolicy(Qt::NoFocus);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QComboBox *combo(QWidget *parent, const char *name, const QStringList &items, const QString &text, const QRect &box)
{
    auto *c = place(new QComboBox(parent), name, box);
    c->setEditable(true);
    keepTypingInTheField(c);
    c->addItems(items);
    c->setCurrentIndex(static_cast<int>(items.indexOf(text)));
    c->setEditText(text);
    c->setFocusPolicy(Qt::StrongFocus);
    new ComboWheel(c);
    return c;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QRect &box, const QString &accessibleName)
{
    auto *c = place(new QCheckBox(parent), name, box);
    QPalette pal = c->palette();
    pal.setColor(QPalette::Window, Black);
    pal.setColor(QPalette::Button, Black);
    c->setPalette(pal);
    c->setAutoFillBackground(true);
    c->setAccessibleName(accessibleName);
    c->setFocusPolicy(Qt::StrongFocus);
    return c;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, const QRect &box, const QFont &font)
{
    auto *b = place(new QPushButton(caption, parent), name, box);
    b->setFont(font);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

QLabel *lampImage(QWidget *parent, const char *name, int left, int top, bool lit)
{
    auto *img = place(new QLabel(parent), name, twips(left, top, 225, 225));
    img->setPixmap(lampPicture(lit));
    img->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    img->setAttribute(Qt::WA_TranslucentBackground);
    img->setVisible(!lit); // every lit image starts hidden
    return img;
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
    const QFont font825 = uiFont(8.25);
    const QFont bold825 = uiFont(8.25, true);
    const QFont font975 = uiFont(9.75);
    const QFont bold975 = uiFont(9.75, true);

    // Outlines first, so that every control lies above them.
    Shape1 = place(new Outline(Orange, this), "Shape1", twips(0, 0, 5535, 4575));
    Shape3 = place(new Outline(Olive, this), "Shape3", twips(360, 240, 2295, 495));
    Shape4 = place(new Outline(Olive, this), "Shape4", twips(2760, 240, 2535, 495));
    Shape2 = place(new Outline(Olive, this), "Shape2", twips(3480, 720, 1815, 495));

    // Connection settings.
    Label6 = label(this, "Label6", QStringLiteral("Impostato:"), twips(480, 360, 975, 255), Orange, false, font975);
    Label5 = label(this, "Label5", QStringLiteral("9600,n,8,1"), twips(1440, 360, 1155, 255), Orange, true, font975);
    Label2 = label(this, "Label2", QStringLiteral("Porta"), twips(360, 840, 1695, 375), Yellow, false, bold975);
    Label4 = label(this, "Label4", QStringLiteral("bit/sec"), twips(1080, 840, 855, 375), Yellow, false, bold975);
    Label15 = label(this, "Label15", QStringLiteral("Dati"), twips(2040, 840, 495, 375), Yellow, false, bold975);
    Label7 = label(this, "Label7", QStringLiteral("Parità"), twips(2640, 840, 735, 375), Yellow, false, bold975);

    Combo1 = combo(this, "Combo1", {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                                    QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")},
                   QStringLiteral("1"), twips(360, 1200, 495, 315));
    Combo2 = combo(this, "Combo2",
                   {QStringLiteral("110"), QStringLiteral("300"), QStringLiteral("600"), QStringLiteral("1200"),
                    QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("14400"),
                    QStringLiteral("19200"), QStringLiteral("28800"), QStringLiteral("38400"),
                    QStringLiteral("57600"), QStringLiteral("115200")},
                   QStringLiteral("9600"), twips(960, 1200, 975, 315));
    Combo4 = combo(this, "Combo4", {QStringLiteral("8"), QStringLiteral("7"), QStringLiteral("6")},
                   QStringLiteral("8"), twips(2040, 1200, 495, 315));
    Combo3 = combo(this, "Combo3", {QStringLiteral("N"), QStringLiteral("E"), QStringLiteral("O")},
                   QStringLiteral("N"), twips(2640, 1200, 495, 315));
    for (QComboBox *c : {Combo1, Combo2}) {
        QPalette pal = c->palette();
        pal.setColor(QPalette::Text, DarkGreen);
        pal.setColor(QPalette::Base, White);
        c->setPalette(pal);
        c->setFont(bold825);
    }
    for (QComboBox *c : {Combo3, Combo4}) {
        QPalette pal = c->palette();
        pal.setColor(QPalette::Text, pal.color(QPalette::Active, QPalette::WindowText));
        c->setPalette(pal);
        c->setFont(font825);
    }
    Combo3->setToolTip(QStringLiteral("N=nessuna E=pari O=dispari"));
    Combo1->setAccessibleName(QStringLiteral("Porta"));
    Combo2->setAccessibleName(QStringLiteral("bit/sec"));
    Combo3->setAccessibleName(QStringLiteral("Parità"));
    Combo4->setAccessibleName(QStringLiteral("Dati"));

    // Modem lines.
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignTop;
    Label8 = label(this, "Label8", QStringLiteral("DTR:"), twips(3360, 1320, 495, 255), Orange, true, font975, right);
    Check1 = checkBox(this, "Check1", twips(3960, 1320, 255, 255), QStringLiteral("DTR"));
    Label9 = label(this, "Label9", QStringLiteral("RTS:"), twips(4200, 1320, 615, 255), Orange, true, font975, right);
    Check2 = checkBox(this, "Check2", twips(4920, 1320, 255, 255), QStringLiteral("RTS"));

    // Lamps: the unlit image first, the lit one above it.
    const Qt::Alignment centre = Qt::AlignHCenter | Qt::AlignTop;
    Image1 = lampImage(this, "Image1", 2880, 360, false);
    Image2 = lampImage(this, "Image2", 2880, 360, true);
    Label10 = label(this, "Label10", QStringLiteral("TX"), twips(3120, 360, 255, 255), Orange, true, font825, centre);
    Image4 = lampImage(this, "Image4", 3600, 360, false);
    Image3 = lampImage(this, "Image3", 3600, 360, true);
    Label11 = label(this, "Label11", QStringLiteral("RX"), twips(3840, 360, 375, 255), Orange, true, font825, centre);
    Image10 = lampImage(this, "Image10", 4320, 360, false);
    Image9 = lampImage(this, "Image9", 4320, 360, true);
    Label14 = label(this, "Label14", QStringLiteral("DSR"), twips(4560, 360, 495, 255), Orange, true, font825, centre);
    Image8 = lampImage(this, "Image8", 3600, 840, false);
    Image7 = lampImage(this, "Image7", 3600, 840, true);
    Label13 = label(this, "Label13", QStringLiteral("CD"), twips(3840, 840, 375, 255), Orange, true, font825, centre);
    Image5 = lampImage(this, "Image5", 4320, 840, false);
    Image6 = lampImage(this, "Image6", 4320, 840, true);
    Label12 = label(this, "Label12", QStringLiteral("CTS"), twips(4560, 840, 495, 255), Orange, false, font825, centre);

    // Send area.
    Label1 = label(this, "Label1", QStringLiteral("Stringa da inviare"), twips(360, 1800, 2295, 495), Yellow, false, bold975);
    Label16 = label(this, "Label16", QStringLiteral("Pausa tra caratteri"), twips(2400, 1800, 1335, 255), Yellow, true, font825);
    Check3 = checkBox(this, "Check3", twips(3720, 1800, 255, 255), QStringLiteral("Pausa tra caratteri"));
    Text3 = place(new QLineEdit(this), "Text3", twips(3960, 1800, 495, 255));
    exposeWholeRuns(Text3); // before any text, which a listening reader would ask about
    Text3->setText(QStringLiteral("100"));
    Text3->setFont(uiFont(6.75));
    Text3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Text3->setFrame(false);
    Text3->setTextMargins(0, 0, 1, 0);
    Text3->setAccessibleName(QStringLiteral("Pausa tra caratteri"));
    Text3->setAccessibleDescription(QStringLiteral("msec"));
    Label17 = label(this, "Label17", QStringLiteral("msec"), twips(4560, 1800, 495, 255), Yellow, true, font825);

    Text1 = place(new SendEdit(this), "Text1", twips(360, 2040, 4455, 615));
    Text1->setPlainText(QStringLiteral("Digita qui la stringa da inviare e premi invia"));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setTabChangesFocus(true);
    Text1->setFont(font825);
    {
        QPalette pal = Text1->palette();
        pal.setColor(QPalette::Base, PaleGreen);
        pal.setColor(QPalette::Text, Black);
        Text1->setPalette(pal);
    }
    Text1->setAccessibleName(QStringLiteral("Stringa da inviare"));
    Command6 = button(this, "Command6", QStringLiteral("Clr"), twips(4920, 2400, 375, 255), font825);

    // Receive area.
    Label3 = label(this, "Label3", QStringLiteral("Stringa ricevuta"), twips(360, 2640, 1815, 495), Yellow, false, bold975);
    Text2 = place(new ReceiveView(this), "Text2", twips(360, 3000, 4455, 615));
    Text2->setFont(font825);
    Text2->setColours(Black, PaleOrange);
    Text2->setText(QStringLiteral("Premere il pulsante \"Ricevi\" per attivare la ricezione\r\n"));
    Text2->setAccessibleName(QStringLiteral("Stringa ricevuta"));
    {
        // The box repaints its scroll bar with every frame of arriving data.
        // Opaque (in the window's own black, which showed through before),
        // it spares the window and its outline beneath from repainting too.
        QPalette pal = Text2->palette();
        pal.setColor(QPalette::Window, Black);
        Text2->setPalette(pal);
        Text2->setAutoFillBackground(true);
    }
    Command5 = button(this, "Command5", QStringLiteral("Clr"), twips(4920, 3360, 375, 255), font825);

    const char *optionNames[] = {"Option1(0)", "Option1(1)", "Option1(2)"};
    const QString optionCaptions[] = {QStringLiteral("Asci"), QStringLiteral("Hex"), QStringLiteral("Dec")};
    const QRect optionBoxes[] = {twips(360, 3600, 1215, 255), twips(1560, 3600, 1215, 255), twips(2760, 3600, 2055, 255)};
    for (int i = 0; i < 3; ++i) {
        Option1[i] = place(new QRadioButton(optionCaptions[i], this), optionNames[i], optionBoxes[i]);
        setColours(Option1[i], White, &Black);
        QPalette pal = Option1[i]->palette();
        pal.setColor(QPalette::Text, Black); // the dot inside the white circle
        Option1[i]->setPalette(pal);
        Option1[i]->setFont(font825);
        Option1[i]->setFocusPolicy(Qt::StrongFocus);
    }
    Option1[0]->setChecked(true);

    // Command buttons.
    Command3 = button(this, "Command3", QStringLiteral("Invia ASCI"), twips(360, 3960, 1095, 255), bold825);
    Command1 = button(this, "Command1", QStringLiteral("Invia loop"), twips(1560, 3960, 1095, 255), bold825);
    Command4 = button(this, "Command4", QStringLiteral("Exit"), twips(3960, 3960, 615, 375), bold825);
    Command7 = button(this, "Command7", QStringLiteral("?"), twips(4680, 3960, 375, 375), uiFont(12, true));
    Command8 = button(this, "Command8", QStringLiteral("Invia Dec."), twips(360, 4200, 1095, 255), bold825);
    Command9 = button(this, "Command9", QStringLiteral("Invia HEX"), twips(1560, 4200, 1095, 255), bold825);
}

void Form1::exposeToScreenReaders()
{
    // Each heading or caption labels its control (labelled-by). A buddy
    // changes nothing on screen: no caption has a mnemonic.
    const std::pair<QLabel *, QWidget *> buddies[] = {
        {Label2, Combo1}, {Label4, Combo2}, {Label15, Combo4}, {Label7, Combo3}, {Label8, Check1},
        {Label9, Check2}, {Label16, Check3}, {Label1, Text1}, {Label3, Text2}};
    for (const auto &[heading, control] : buddies)
        heading->setBuddy(control);
    // The two "Clr" buttons say which box they empty; each name begins with
    // the caption, so that what is heard matches what is seen.
    Command6->setAccessibleName(QStringLiteral("Clr: cancella la stringa da inviare"));
    Command5->setAccessibleName(QStringLiteral("Clr: cancella la stringa ricevuta"));
    exposeLamp(Image1, Image2, Label10, QStringLiteral("TX"));
    exposeLamp(Image4, Image3, Label11, QStringLiteral("RX"));
    exposeLamp(Image10, Image9, Label14, QStringLiteral("DSR"));
    exposeLamp(Image8, Image7, Label13, QStringLiteral("CD"));
    exposeLamp(Image5, Image6, Label12, QStringLiteral("CTS"));
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
    const QList<QWidget *> order = {Text1,  Command1, Combo1,  Text2,   Command3, Combo2,     Command4,
                                    Command5, Command6, Combo3, Check1,  Check2,   Command7,   Combo4,
                                    Command8, Command9, Option1[0], Option1[1], Option1[2], Text3, Check3};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

} // namespace corvanel
