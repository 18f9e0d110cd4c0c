#pragma once

#include <QColor>
#include <QGroupBox>
#include <QPointer>
#include <QVector>

namespace corvanel {

// One drawn element of a help-window frame, in twips from the frame's corner.
struct HelpLine
{
    int x1, y1, x2, y2;
    QColor colour; // invalid: the window-text colour
    int width;
};
struct HelpPin
{
    int left, top, width, height;
    QColor colour;
    int penWidth;
};

// A frame of the help window that draws its lines and pin circles. It draws
// its own outline, the same under every style: an etched line around the
// frame whose top edge runs at the caption's middle height and breaks around
// the caption.
class HelpFrame : public QGroupBox
{
    Q_OBJECT
public:
    HelpFrame(const QString &caption, QVector<HelpLine> lines, QVector<HelpPin> pins, QWidget *parent);
    // Where the caption's text is drawn, in the frame's own coordinates.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVector<HelpLine> m_lines;
    QVector<HelpPin> m_pins;
};

// The help window object: lives for the whole run once created; its window
// on screen comes and goes.
class Form2
{
public:
    Form2() = default;
    ~Form2();
    Form2(const Form2 &) = delete;
    Form2 &operator=(const Form2 &) = delete;

    // Shows the window modeless and ownerless: creates it when it is not
    // open, otherwise brings it to the front and activates it.
    void showHelp();
    // Closes the window if it is open.
    void close();
    // The window while it is open, else null.
    QWidget *window() const { return m_window; }

private:
    static QWidget *createWindow();
    QPointer<QWidget> m_window;
};

} // namespace corvanel
