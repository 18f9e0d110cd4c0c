#pragma once

#include <QByteArray>

// Every byte value, 0 to 255, in order.
QByteArray everyByte();
