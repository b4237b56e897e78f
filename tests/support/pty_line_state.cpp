// On a pty master the kernel reports the slave's termios, odd rates included when read as termios2. A pty forces
// 8 data bits without parity, so only the rate and the stop-bit flag tell what the program set.
#include "pty_device.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace orvik::test {

LineState readLineState(int masterFd)
{
    termios2 tio {};
    LineState state;
    if (::ioctl(masterFd, TCGETS2, &tio) != 0) return state;
    state.baud = tio.c_ospeed;
    state.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    return state;
}

} // namespace orvik::test
