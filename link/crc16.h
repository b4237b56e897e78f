// The CRC-16 of Modbus RTU, over a byte range of the 256-byte scratch buffer.
#pragma once

#include <QtGlobal>
#include <array>

namespace orvik {

// The buffer in which request frames are built and received frames are decoded; value-initialised it is all zero,
// so a byte that a frame does not contain reads as 0.
using ScratchBuffer = std::array<quint8, 256>;

// CRC-16/MODBUS (start 0xFFFF, reflected polynomial 0xA001, no final XOR) over buffer[first..last], both inclusive.
// The result goes on the wire low byte first. last < first gives 0xFFFF. The buffer is taken by value: the routine
// works on its own copy, as every caller expects.
quint16 CalcCrc16(ScratchBuffer buffer, int first, int last);

} // namespace orvik
