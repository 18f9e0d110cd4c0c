// "Invia loop": the send box out again and again until the same button stops it.

#include "app/Form1.h"
#include "app/Seams.h"
#include "serial/MSComm.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace corvanel {

void Form1::Command1_Click()
{
    // Every activation counts itself, so that the last one to unwind can
    // clear a failure for the next loop.
    ++m_loopDepth;
    struct Unwind {
        Form1 *f;
        ~Unwind()
        {
            if (--f->m_loopDepth == 0)
                f->m_loopFailed = false;
        }
    } unwind {this};

    Image2->setVisible(true);
    if (m_loopActive) {
        m_loopActive = false;
        Command1->setText(QStringLiteral("Invia Loop"));
    } else {
        m_loopActive = true;
        Command1->setText(QStringLiteral("Stop Loop"));
    }
    do {
        loopYield();
        if (m_ended || m_loopFailed)
            return;
        if (!transmitSendBox()) {
            abandonLoop();
            return;
        }
    } while (m_loopActive);
}

void Form1::loopYield()
{
    QCoreApplication::processEvents();
    // A port slower than the loop would otherwise queue without bound: wait
    // for it to drain, still handling every event (a stop click, Exit,
    // received data), but sleeping rather than spinning.
    while (!m_ended && !m_loopFailed && MSComm1->PortOpen() && MSComm1->OutBufferCount() > MSComm::OutBufferSize)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void Form1::abandonLoop()
{
    // Every activation on the stack ends as after a stop, with one message.
    m_loopActive = false;
    m_loopFailed = true;
    Command1->setText(QStringLiteral("Invia Loop"));
    MsgBox(this, QStringLiteral("Porta errata"));
}

} // namespace corvanel
