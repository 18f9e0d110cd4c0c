#include "Module1.h"

#include "Conversions.h"
#include "MSComm.h"

namespace corvanel {

QString Module1::settingsString() const
{
    return corvanel::settingsString(BaudRate, Parity, DataBits);
}

PortOutcome Module1::ConfigurePort(MSComm &comm) const
{
    PortOutcome outcome;
    try {
        if (comm.PortOpen())
            comm.setPortOpen(false);
        const std::optional<qint16> port = toInt16(PortNumber);
        if (!port)
            return outcome; // out of the 16-bit range: no such port
        comm.setCommPort(*port);
        outcome.shown = settingsString();
        comm.setSettings(*outcome.shown);
        comm.setPortOpen(true);
        outcome.opened = true;
    } catch (const CommError &) {
        // The port refused a step: the outcome says how far it got.
    }
    return outcome;
}

} // namespace corvanel
