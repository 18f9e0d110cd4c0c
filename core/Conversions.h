#pragma once

#include <QStringView>
#include <optional>

namespace corvanel {

// Lenient number reading: never fails. Blanks, tabs and line feeds are dropped
// wherever they stand; then the longest leading decimal number (sign, digits,
// decimal point, exponent) is taken, or after "&h" the longest run of
// hexadecimal digits. A text that does not start with a number gives 0.
double lenientValue(QStringView text);

// Rounds to the nearest integer, an exact half to the even neighbour.
// Empty when the value is not finite or does not fit in 16 bits.
std::optional<qint16> toInt16(double value);

// The same for 32 bits.
std::optional<qint32> toInt32(double value);

} // namespace corvanel
