#pragma once

#include <QColor>
#include <QWidget>

namespace corvanel {

// A decorative rectangle with curved corners: a one-pixel outline, not filled.
// It takes no input.
class Outline : public QWidget
{
    Q_OBJECT
public:
    Outline(const QColor &colour, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
};

} // namespace corvanel
