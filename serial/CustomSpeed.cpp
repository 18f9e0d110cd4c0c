// Apart from the rest of the port: the kernel's termios2 cannot share a file
// with the C library's termios.

#include "CustomSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace corvanel {

int setCustomSpeed(int fd, int baudRate)
{
    struct termios2 t
    {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return -1;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(baudRate);
    t.c_ospeed = static_cast<speed_t>(baudRate);
    return ::ioctl(fd, TCSETS2, &t);
}

} // namespace corvanel
