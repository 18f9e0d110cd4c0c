#include "Receiver.h"

#include "DisplayFormat.h"
#include "MSComm.h"
#include "ReceiveView.h"
#include "Seams.h"
#include "Messages.h"

#include <QLabel>

namespace corvanel {

Receiver::Receiver(MSComm &comm, qint16 &receiveMode, Controls controls, Hooks hooks, QObject *parent)
    : QObject(parent), m_comm(comm), m_mode(receiveMode), m_controls(controls), m_hooks(std::move(hooks))
{
    // The RX lamp goes dark 100 to 150 ms after the last arrival. Arrivals put
    // the moment off, so that while data keeps coming the timer never fires.
    m_rxOff.setSingleShot(true);
    connect(&m_rxOff, &QTimer::timeout, this, [this] { m_controls.rxLamp->setVisible(false); });
}

void Receiver::dispatch()
{
    const qint16 code = m_comm.CommEvent();
    switch (code) {
    case comEvCD:
    case comEvCTS:
    case comEvDSR:
        m_hooks.lineChanged(code);
        break;
    case comEvReceive:
        showReceived();
        break;
    case comEvSend:
        m_hooks.sendDone();
        break;
    default:
        // Line errors (break, framing, overrun, overflow, parity, buffer
        // full, device control), ring and end-of-file change nothing.
        break;
    }
}

void Receiver::showReceived()
{
    m_controls.rxLamp->setVisible(true);
    // Setting a timer costs more than asking it, and reads come by the
    // hundred a second: the moment is put off at most once every 50 ms.
    if (m_rxOff.remainingTime() < RxLampMs)
        m_rxOff.start(RxLampMs + RxLampSlackMs);
    if (!isDisplayMode(m_mode))
        return; // nothing is read
    QByteArray bytes;
    try {
        bytes = m_comm.InputBytes();
    } catch (const CommError &) {
        return; // the port closed before the data could be read
    }
    // Every byte of the read is shown, in the order received.
    m_controls.box->appendBytes(formatReceived(m_mode, bytes, m_shown));
}

void Receiver::chooseMode(qint16 index)
{
    if (isDisplayMode(index))
        m_mode = index;
}

void Receiver::saveAs()
{
    const QString path = SaveFileName(m_controls.owner);
    if (path.isEmpty())
        return;
    QString reason;
    if (!m_controls.box->saveTo(path, &reason))
        MsgBox(m_controls.owner, msg::text(msg::SaveFailed).arg(path, reason));
}

} // namespace corvanel
