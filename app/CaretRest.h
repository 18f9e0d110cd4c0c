#pragma once

#include <QObject>
#include <QTimer>

namespace corvanel {

// Stops the text caret blinking after a while without keyboard or mouse
// input, as desktops do (GNOME after 10 s): a blinking caret wakes the
// program twice a second for as long as its window stays in front. The next
// key, click or focus change makes it blink again. Watches the whole
// application while it exists, and leaves the blink as it found it.
class CaretRest : public QObject
{
    Q_OBJECT
public:
    explicit CaretRest(int restAfterMs, QObject *parent = nullptr);
    ~CaretRest() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void wake();

    QTimer m_idle;
    int m_flashTime;
    bool m_resting = false;
};

} // namespace corvanel
