// Line speeds: the nine rates a device can run at, their register form, and character timing at a speed.
#pragma once

#include <QList>
#include <QtGlobal>

#include <array>
#include <optional>

namespace orvik::sim {

inline constexpr std::array<int, 9> kLineRates { 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 };

bool isLineRate(int rate);

// Register 24 holds only the low 16 bits of the rate (115200 is 0xC200); the nine rates stay distinct.
quint16 registerFromRate(int rate);
std::optional<int> rateFromRegister(quint16 value);

// One character is 10 bits on the line (start, 8 data, stop).
qint64 charTimeUs(int baud);

// The quiet time that ends a frame: 3.5 characters, never less than 1.75 ms.
qint64 silenceUs(int baud);

// When each of `count` bytes has fully left, counted from the start of the transmission, with `gapUs` of
// pause between the first and the second half of the bytes.
QList<qint64> transmitSchedule(qsizetype count, int baud, qint64 gapUs);

} // namespace orvik::sim
