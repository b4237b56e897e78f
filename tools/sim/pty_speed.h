// The line speed a program set on the far side of a pseudo-terminal, read from the master.
#pragma once

namespace orvik::sim {

// Bits per second, odd rates included; 0 when it cannot be read.
int ptySpeed(int masterFd);

} // namespace orvik::sim
