#pragma once

#include "PortOs.h"

#include <QStringList>

namespace corvanel {

// The machine's own devices: what QSerialPortInfo reports plus every
// /dev/ttyUSB* and /dev/ttyACM* entry that is a character device or a link to one.
QStringList systemPorts();

// The ttyUSB* and ttyACM* entries of a directory that are character devices
// or links to one.
QStringList usbSerialEntries(const QString &directory, PortOs &os = systemPortOs());

} // namespace corvanel
