#include "ComboWheel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <cstdlib>
#include <QWheelEvent>

namespace corvanel {
namespace {
constexpr int Notch = 120; // QWheelEvent's angle units per notch of a common wheel
}

ComboWheel::ComboWheel(QComboBox *combo) : QObject(combo), m_combo(combo)
{
    combo->installEventFilter(this);
}

bool ComboWheel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_combo || event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    auto *wheel = static_cast<QWheelEvent *>(event);
    if (!m_combo->hasFocus()) {
        m_pending = 0;
        wheel->ignore(); // on to the window
        return true;
    }
    m_pending += wheel->angleDelta().y();
    // The arrow keys' own handling: the same neighbour, the same ends of
    // the list, and the same choice (activated) for every step.
    while (std::abs(m_pending) >= Notch) {
        const bool up = m_pending > 0;
        m_pending -= up ? Notch : -Notch;
        QKeyEvent key(QEvent::KeyPress, up ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(m_combo, &key);
    }
    wheel->accept();
    return true;
}

} // namespace corvanel
