#pragma once

namespace corvanel {

// Registers the accessibility interface of the receive view (once), so that
// screen readers can read, and follow the caret and selection in, its text.
void installReceiveViewAccessibility();

} // namespace corvanel
