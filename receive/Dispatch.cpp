// The port's notifications, the display modes and the two "Clr" buttons.

#include "app/Form1.h"
#include "app/Seams.h"
#include "receive/DisplayFormat.h"
#include "receive/ReceiveView.h"
#include "serial/MSComm.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

namespace corvanel {

void Form1::MSComm1_OnComm()
{
    switch (MSComm1->CommEvent()) {
    case comEventBreak:
    case comEventFrame:
    case comEventOverrun:
    case comEventRxOver:
    case comEventRxParity:
    case comEventTxFull:
    case comEventDCB:
        break;
    case comEvCD:
        refreshLamp(Image7, &MSComm::CDHolding);
        break;
    case comEvCTS:
        refreshLamp(Image6, &MSComm::CTSHolding);
        break;
    case comEvDSR:
        refreshLamp(Image9, &MSComm::DSRHolding);
        break;
    case comEvReceive:
        showReceived();
        break;
    case comEvSend:
        Image2->setVisible(false);
        break;
    default:
        break;
    }
}

void Form1::showReceived()
{
    Image3->setVisible(true);
    m_lastArrival.start();
    if (!m_rxOff->isActive())
        m_rxOff->start(RxLampMs);
    const qint16 mode = m_module.ReceiveMode;
    if (mode != TextMode && mode != HexMode && mode != DecimalMode)
        return;
    QByteArray bytes;
    try {
        bytes = MSComm1->InputBytes();
    } catch (const CommError &) {
        return; // the port closed before the data could be read
    }
    // Every byte of the read is shown, in the order received.
    Text2->appendBytes(*formatReceived(mode, bytes));
}

void Form1::Option1_Click(qint16 Index)
{
    if (Index >= 0 && Index <= 2)
        m_module.ReceiveMode = Index;
}

void Form1::Command5_Click()
{
    Text2->clear();
}

void Form1::Text2_SaveAs()
{
    const QString path = SaveFileName(this);
    if (path.isEmpty())
        return;
    QString reason;
    if (!Text2->saveTo(path, &reason))
        MsgBox(this, QStringLiteral("Impossibile salvare il file %1: %2").arg(path, reason));
}

void Form1::Command6_Click()
{
    Text1->clear();
    Text1->setFocus();
}

} // namespace corvanel
