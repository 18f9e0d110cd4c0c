#pragma once

#include <QtGlobal>

namespace corvanel {

// One text query of the receive box (the whole text, a line, "no boundary")
// answers at most this many characters from its start: a character is at
// most 3 bytes of UTF-8 (NUL shows as U+2400), so the reply stays under
// 3 MiB, far below the 128 MiB that D-Bus allows a message.
constexpr qint64 AccessibleQueryCap = qint64(1) << 20;

// Registers the accessibility interface of the receive view (once), so that
// screen readers can read, and follow the caret and selection in, its text.
void installReceiveViewAccessibility();

} // namespace corvanel
