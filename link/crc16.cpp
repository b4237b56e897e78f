// The CRC is table-driven; the table is generated at compile time from the bit-by-bit rule.
#include "crc16.h"

#include <algorithm>

namespace orvik {

namespace {

constexpr quint16 kPolynomial = 0xA001;

// One byte through the bit-by-bit rule: shift right eight times, folding in the polynomial whenever a 1 drops out.
constexpr quint16 crcOfByte(quint16 value)
{
    for (int bit = 0; bit < 8; ++bit) {
        const bool carry = (value & 1u) != 0;
        value = static_cast<quint16>(value >> 1);
        if (carry) value ^= kPolynomial;
    }
    return value;
}

constexpr std::array<quint16, 256> makeTable()
{
    std::array<quint16, 256> table {};
    for (int i = 0; i < 256; ++i)
        table[static_cast<std::size_t>(i)] = crcOfByte(static_cast<quint16>(i));
    return table;
}

constexpr std::array<quint16, 256> kTable = makeTable();

} // namespace

quint16 CalcCrc16(ScratchBuffer buffer, int first, int last)
{
    // Indexes outside 0..255 name bytes that do not exist: the range is clamped to the buffer, so no caller, however
    // wrong its arithmetic, makes the routine read outside it. A range that clamps to nothing gives the start value.
    const int from = std::max(first, 0);
    const int to = std::min(last, static_cast<int>(buffer.size()) - 1);
    quint16 crc = 0xFFFF;
    for (int i = from; i <= to; ++i) {
        const auto index = static_cast<quint8>(crc ^ buffer[static_cast<std::size_t>(i)]);
        crc = static_cast<quint16>((crc >> 8) ^ kTable[index]);
    }
    return crc;
}

} // namespace orvik
