#pragma once

#include "serial/PortSettings.h"

#include <functional>

class QLabel;
class QWidget;

namespace corvanel {

class MSComm;

// The connection settings shared by the main window's handlers, and the
// routine that applies them to the port.
struct Module1 {
    double PortNumber = 0;
    LooseValue BaudRate = 0.0;
    QString Parity;
    LooseValue DataBits = 0.0;
    qint16 ReceiveMode = 0;

    // Closes the port, selects PortNumber, shows the settings string in
    // Label5, applies it and reopens the port. Any failure shows "Porta
    // inesistente" and ends the routine; nothing is rolled back.
    void ConfigurePort(MSComm &comm, QLabel &Label5, QWidget *owner) const;

    QString settingsString() const;
};

} // namespace corvanel
