#include "CaretRest.h"

#include <QApplication>
#include <QEvent>

namespace corvanel {

CaretRest::CaretRest(int restAfterMs, QObject *parent) : QObject(parent), m_flashTime(QApplication::cursorFlashTime())
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(restAfterMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        // Text boxes follow the change at once and keep the caret shown.
        m_resting = true;
        QApplication::setCursorFlashTime(0);
    });
    QCoreApplication::instance()->installEventFilter(this);
    m_idle.start();
}

CaretRest::~CaretRest()
{
    if (m_resting)
        QApplication::setCursorFlashTime(m_flashTime);
}

void CaretRest::wake()
{
    if (m_resting) {
        m_resting = false;
        QApplication::setCursorFlashTime(m_flashTime);
    }
    m_idle.start();
}

bool CaretRest::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::InputMethod:
    case QEvent::FocusIn:
        wake();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace corvanel
