#include "SendLoop.h"

#include "MSComm.h"
#include "Seams.h"
#include "SendBox.h"
#include "Messages.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace corvanel {

SendLoop::SendLoop(MSComm &comm, const SendBox &box, Controls controls, std::function<bool()> ended)
    : m_comm(comm), m_box(box), m_controls(controls), m_ended(std::move(ended))
{}

void SendLoop::click()
{
    // The last activation to unwind clears a failure for the next loop.
    ++m_depth;
    struct Unwind
    {
        SendLoop *loop;
        ~Unwind()
        {
            if (--loop->m_depth == 0)
                loop->m_failed = false;
        }
    } unwind {this};

    m_controls.txLamp->setVisible(true);
    m_active = !m_active;
    m_controls.button->setText(msg::text(m_active ? msg::LoopStop : msg::LoopStart));
    do {
        yield();
        if (m_ended() || m_failed)
            return;
        try {
            m_comm.setOutput(m_box.wireText());
        } catch (const CommError &) {
            abandon();
            return;
        }
    } while (m_active);
}

void SendLoop::yield()
{
    QCoreApplication::processEvents();
    while (!m_ended() && !m_failed && m_comm.PortOpen() && m_comm.OutBufferCount() > MSComm::OutBufferSize)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void SendLoop::abandon()
{
    m_active = false;
    m_failed = true;
    m_controls.button->setText(msg::text(msg::LoopStart));
    MsgBox(m_controls.owner, msg::text(msg::PortWrong));
}

} // namespace corvanel
