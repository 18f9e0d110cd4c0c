#pragma once

#include <QObject>

class QComboBox;

namespace corvanel {

// Makes the mouse wheel over a list box a deliberate choice. A list without
// the keyboard focus leaves the wheel alone, and the event goes on to the
// window, so scrolling past never reconfigures the port. A list with the
// focus moves one item per notch of the wheel (a notch is 120 units of
// angle; finer wheels add up), exactly as the arrow keys do: each step is a
// choice from the list. Owned by the list it watches.
class ComboWheel : public QObject
{
    Q_OBJECT
public:
    explicit ComboWheel(QComboBox *combo);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QComboBox *m_combo;
    int m_pending = 0; // angle turned toward the next notch
};

} // namespace corvanel
