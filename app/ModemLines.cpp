#include "ModemLines.h"

#include "MSComm.h"

#include <QCheckBox>
#include <QLabel>

namespace corvanel {
namespace {

// Ticked, and not the grey third state.
bool ticked(const QCheckBox *box)
{
    return box->checkState() == Qt::Checked;
}

} // namespace

ModemLines::ModemLines(MSComm &comm, Controls controls) : m_comm(comm), m_controls(controls) {}

void ModemLines::dtrClicked()
{
    m_comm.setDTREnable(ticked(m_controls.dtr));
}

void ModemLines::rtsClicked()
{
    m_comm.setRTSEnable(ticked(m_controls.rts));
}

void ModemLines::refresh(qint16 code)
{
    QLabel *lamp = code == comEvCD ? m_controls.cd : code == comEvCTS ? m_controls.cts : m_controls.dsr;
    bool (MSComm::*holding)() const = code == comEvCD    ? &MSComm::CDHolding
                                      : code == comEvCTS ? &MSComm::CTSHolding
                                                         : &MSComm::DSRHolding;
    try {
        lamp->setVisible((m_comm.*holding)());
    } catch (const CommError &) {
        // A port that closed under us reports no lines: the lamp goes dark.
        lamp->setVisible(false);
    }
}

void ModemLines::refreshAll()
{
    if (!m_comm.PortOpen())
        return;
    for (qint16 code : {comEvCD, comEvCTS, comEvDSR})
        refresh(code);
}

} // namespace corvanel
