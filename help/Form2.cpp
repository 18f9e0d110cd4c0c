#include "Form2.h"

#include "Looks.h"
#include "Pictures.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>

namespace corvanel {
namespace {

const QColor Red(192, 0, 0);
const QColor Green(0, 128, 0);
const QColor PinGreen(0, 64, 0);

QLabel *addLabel(QWidget *frame, const QString &name, const QString &text, int left, int top, int width = 0,
                 int height = 0)
{
    auto *l = new QLabel(text, frame);
    l->setObjectName(name);
    l->setFont(uiFont(8.25));
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (width > 0) {
        l->setGeometry(px(left), px(top), px(width), px(height));
    } else {
        l->move(px(left), px(top));
        l->adjustSize(); // digit labels size themselves to their text
    }
    return l;
}

HelpFrame *connectorFrame(QWidget *window)
{
    const QVector<HelpLine> shell = {
        {720, 360, 3480, 360, {}, 3},
        {1080, 1560, 3120, 1560, {}, 3},
        {720, 360, 1080, 1560, {}, 3},
        {3480, 360, 3120, 1560, {}, 3},
    };
    struct PinRow
    {
        int pin, label, left, top;
    };
    const PinRow pins[] = {
        {1, 0, 960, 480},  {2, 13, 1440, 480}, {3, 12, 1920, 480}, {4, 11, 2400, 480}, {5, 10, 2880, 480},
        {6, 9, 1200, 960}, {7, 8, 1680, 960},  {8, 7, 2160, 960},  {9, 6, 2640, 960},
    };
    QVector<HelpPin> circles;
    for (const PinRow &p : pins)
        circles.push_back({p.left, p.top, 375, 495, PinGreen, 2});

    auto *frame
        = new HelpFrame(QStringLiteral("Connettore D-Sub 9 femmina vista lato saldature"), shell, circles, window);
    frame->setObjectName(QStringLiteral("Frame2"));
    frame->setGeometry(px(120), px(120), px(4575), px(3015));
    for (const PinRow &p : pins)
        addLabel(frame, QStringLiteral("Label1(%1)").arg(p.label), QString::number(p.pin), p.left + 120, p.top + 120);

    struct Legend
    {
        int index;
        const char *text;
        int left, top, width;
    };
    const Legend legend[] = {
        {0, "1 - DCD", 240, 1800, 735},  {8, "2 - RX", 240, 2040, 735},   {7, "3 - TX", 240, 2280, 735},
        {6, "4 - DTR", 240, 2520, 855},  {5, "5 - GND", 1320, 1800, 615}, {4, "6 - DSR", 1320, 2040, 735},
        {3, "7 - RTS", 1320, 2280, 735}, {2, "8 - CTS", 1320, 2520, 735}, {1, "9 - RI", 2280, 1800, 615},
    };
    for (const Legend &l : legend)
        addLabel(frame, QStringLiteral("Label2(%1)").arg(l.index), QString::fromLatin1(l.text), l.left, l.top, l.width,
                 255);
    return frame;
}

HelpFrame *cableFrame(QWidget *window)
{
    const QVector<HelpLine> wires = {
        {1080, 600, 2040, 600, Red, 2},
        {2400, 960, 2040, 600, Red, 2},
        {2400, 960, 3360, 960, Red, 2},
        {1080, 960, 2040, 960, Green, 2},
        {2040, 960, 2400, 600, Green, 2},
        {3360, 600, 2400, 600, Green, 2},
        {1080, 1320, 3360, 1320, {}, 2},
        // The ground symbol below the middle of the ground wire.
        {2280, 1320, 2280, 1560, {}, 2},
        {2040, 1560, 2520, 1560, {}, 1},
        {2040, 1560, 1920, 1680, {}, 1},
        {2160, 1560, 2040, 1680, {}, 1},
        {2280, 1560, 2160, 1680, {}, 1},
        {2400, 1560, 2280, 1680, {}, 1},
        {2520, 1560, 2400, 1680, {}, 1},
    };
    struct CablePin
    {
        int top, labelTop, leftLabel, rightLabel;
        const char *digit;
    };
    const CablePin pins[] = {
        {360, 480, 14, 17, "2"},
        {720, 840, 16, 15, "3"},
        {1080, 1200, 2, 3, "5"},
    };
    QVector<HelpPin> circles;
    for (const CablePin &p : pins) {
        circles.push_back({840, p.top, 255, 375, {}, 1});
        circles.push_back({3360, p.top, 255, 375, {}, 1});
    }
    auto *frame = new HelpFrame(QStringLiteral("Connessione per collegamento di due PC"), wires, circles, window);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(px(120), px(3480), px(4575), px(1815));
    for (const CablePin &p : pins) {
        addLabel(frame, QStringLiteral("Label1(%1)").arg(p.leftLabel), QString::fromLatin1(p.digit), 600, p.labelTop);
        addLabel(frame, QStringLiteral("Label1(%1)").arg(p.rightLabel), QString::fromLatin1(p.digit), 3720, p.labelTop);
    }
    return frame;
}

} // namespace

HelpFrame::HelpFrame(const QString &caption, QVector<HelpLine> lines, QVector<HelpPin> pins, QWidget *parent)
    : QGroupBox(caption, parent), m_lines(std::move(lines)), m_pins(std::move(pins))
{
    setFont(uiFont(9.75));
    setFlat(false);
}

QRect HelpFrame::captionRect() const
{
    constexpr int CaptionLeft = 8; // pixels from the frame's left edge
    const QFontMetrics metrics(font());
    return {CaptionLeft, 0, metrics.horizontalAdvance(title()), metrics.height()};
}

void HelpFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // Styles disagree on where a group box's title goes (Fusion puts it above
    // the frame), so the frame draws its own outline: an etched line, shadow
    // then light one pixel further in, with the top edge at the caption's
    // middle height, stopping a little before the caption and going on after it.
    constexpr int CaptionGap = 2;
    const QRect caption = captionRect();
    const int top = caption.top() + caption.height() / 2;
    const int gapLeft = caption.left() - CaptionGap;
    const int gapRight = caption.right() + CaptionGap;
    const auto outline = [&](int offset, const QColor &colour) {
        const int left = offset, upper = top + offset;
        const int right = width() - 2 + offset, bottom = height() - 2 + offset;
        p.setPen(colour);
        if (gapLeft - 1 >= left)
            p.drawLine(left, upper, gapLeft - 1, upper);
        if (gapRight + 1 <= right) // a caption wider than the frame leaves no piece
            p.drawLine(gapRight + 1, upper, right, upper);
        p.drawLine(left, upper, left, bottom);
        p.drawLine(right, upper, right, bottom);
        p.drawLine(left, bottom, right, bottom);
    };
    outline(0, palette().color(QPalette::Dark));
    outline(1, palette().color(QPalette::Light));
    p.setFont(font());
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title());

    p.setRenderHint(QPainter::Antialiasing);
    const QColor windowText = palette().color(QPalette::WindowText);
    // Circles first, wires over them: every line end stays visible.
    for (const HelpPin &pin : m_pins) {
        const qreal d = pxF(std::min(pin.width, pin.height));
        const QPointF centre(pxF(pin.left) + pxF(pin.width) / 2, pxF(pin.top) + pxF(pin.height) / 2);
        p.setPen(QPen(pin.colour.isValid() ? pin.colour : windowText, pin.penWidth));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, d / 2 - pin.penWidth / 2.0, d / 2 - pin.penWidth / 2.0);
    }
    for (const HelpLine &l : m_lines) {
        p.setPen(QPen(l.colour.isValid() ? l.colour : windowText, l.width, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(QPointF(pxF(l.x1), pxF(l.y1)), QPointF(pxF(l.x2), pxF(l.y2)));
    }
}

Form2::~Form2()
{
    delete m_window.data();
}

QWidget *Form2::createWindow()
{
    auto *w = new QWidget(nullptr, Qt::Window);
    w->setObjectName(QStringLiteral("Form2"));
    w->setAttribute(Qt::WA_DeleteOnClose); // the object stays; only the window goes
    w->setWindowTitle(QStringLiteral("Aiuto"));
    w->setWindowIcon(applicationIcon());
    w->setFont(uiFont(8.25));
    w->resize(px(4800), px(5550));
    connectorFrame(w);
    cableFrame(w);
    return w;
}

void Form2::showHelp()
{
    if (!m_window) {
        m_window = createWindow();
        m_window->show();
    } else if (m_window->isMinimized()) {
        m_window->showNormal();
    } else {
        m_window->show();
    }
    m_window->raise();
    m_window->activateWindow();
}

void Form2::close()
{
    if (m_window)
        m_window->close();
}

} // namespace corvanel
