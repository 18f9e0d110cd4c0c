#include "serial/Module1.h"

#include "app/Seams.h"
#include "serial/Conversions.h"
#include "serial/MSComm.h"

#include <QLabel>

namespace corvanel {

QString Module1::settingsString() const
{
    return corvanel::settingsString(BaudRate, Parity, DataBits);
}

void Module1::ConfigurePort(MSComm &comm, QLabel &Label5, QWidget *owner) const
{
    try {
        if (comm.PortOpen())
            comm.setPortOpen(false);
        const std::optional<qint16> port = toInt16(PortNumber);
        if (!port)
            throw CommError("port number out of range");
        comm.setCommPort(*port);
        const QString settings = settingsString();
        Label5.setText(settings);
        comm.setSettings(settings);
        comm.setPortOpen(true);
    } catch (const std::exception &) {
        MsgBox(owner, QStringLiteral("Porta inesistente"));
    }
}

} // namespace corvanel
