#pragma once

#include "PortSettings.h"

#include <QString>
#include <optional>

namespace corvanel {

class MSComm;

// What ConfigurePort came to: the settings string once it was built (the
// window shows it in Label5), and whether the port is open again.
struct PortOutcome
{
    std::optional<QString> shown;
    bool opened = false;
};

// The connection settings shared by the main window's handlers, and the
// routine that applies them to the port.
struct Module1
{
    double PortNumber = 0;
    LooseValue BaudRate = 0.0;
    QString Parity;
    LooseValue DataBits = 0.0;
    qint16 ReceiveMode = 0;

    // Closes the port, selects PortNumber, builds the settings string,
    // applies it and reopens the port. The first step that fails ends the
    // routine; nothing is rolled back.
    PortOutcome ConfigurePort(MSComm &comm) const;

    QString settingsString() const;
};

} // namespace corvanel
