#pragma once

namespace corvanel {

// Sets a rate termios has no constant for as the driver's own (BOTHER),
// leaving the rest of the attributes as they are. Returns what ioctl returns
// and leaves errno set.
int setCustomSpeed(int fd, int baudRate);

} // namespace corvanel
