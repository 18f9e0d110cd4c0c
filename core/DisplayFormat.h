#pragma once

#include <QByteArray>
#include <optional>

namespace corvanel {

enum ReceiveModes : qint16 { TextMode = 0, HexMode = 1, DecimalMode = 2 };

// Whether a receive mode shows anything: text, hex or decimal.
bool isDisplayMode(qint16 mode);

// What one read of received bytes adds to the receive box in a display mode:
// text mode adds the bytes unchanged; hex mode adds each byte as a space and
// upper-case hex without leading zeros; decimal mode a space and the value.
// Empty result for an unknown mode (nothing is to be read at all).
std::optional<QByteArray> formatReceived(qint16 mode, const QByteArray &bytes);

// The same for a display mode, formatted into `scratch`, which keeps its
// memory for the next read: the result is either `bytes` or `scratch`, which
// must not be `bytes` itself.
const QByteArray &formatReceived(qint16 mode, const QByteArray &bytes, QByteArray &scratch);

} // namespace corvanel
