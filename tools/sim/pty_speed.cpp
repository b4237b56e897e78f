// Kept apart on purpose: the kernel's termios2 headers clash with <termios.h>, so this file includes nothing else.
#include "pty_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace orvik::sim {

int ptySpeed(int masterFd)
{
    // On the master, the termios is the one the slave's owner set; termios2 also carries rates without a B constant.
    struct termios2 tio { };
    if (ioctl(masterFd, TCGETS2, &tio) != 0) return 0;
    return static_cast<int>(tio.c_ospeed);
}

} // namespace orvik::sim
