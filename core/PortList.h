#pragma once

#include <QStringList>
#include <functional>

namespace corvanel {

// Lists the serial devices present, in any order, possibly with duplicates.
using PortSource = std::function<QStringList()>;

// Removes duplicates and orders by family (ttyS, ttyUSB, ttyACM, then the rest
// by name) and by number within a family. Port number n is entry n-1.
QStringList orderPorts(const QStringList &devices);

// The tooltip of the port list: "1 = /dev/ttyS0", one line per port.
QString portListTooltip(const QStringList &orderedDevices);

} // namespace corvanel
