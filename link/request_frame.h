// The 8-byte Modbus RTU request and the catalogue of requests the monitor sends.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>

namespace orvik {

// Address, function, register high (always 0), register low, value/count high, value/count low, CRC low, CRC high.
using RequestFrame = std::array<quint8, 8>;

// Commands and the device-information read go to 255: the one device attached for configuration answers there.
// The broadcast address 0 is never sent.
constexpr quint8 kConfigAddress = 255;
constexpr quint8 kFirstSlave = 1;
constexpr quint8 kLastSlave = 16;

// The addresses polled for a distance; each has a row on the data page.
constexpr bool isSlaveAddress(quint8 address)
{
    return address >= kFirstSlave && address <= kLastSlave;
}

constexpr quint8 kFunctionReadHolding = 3;
constexpr quint8 kFunctionWriteSingle = 6;

constexpr quint8 kRegisterMeasure = 16; // write 1: one single measurement
constexpr quint8 kRegisterDeviceInfo = 17; // read: six registers from here; write: working mode
constexpr quint8 kRegisterMode = 17;
constexpr quint8 kRegisterDelay = 19; // seconds
constexpr quint8 kRegisterLogicalAddress = 20;
constexpr quint8 kRegisterDistance = 21; // two registers, high word first, 0.1 mm
constexpr quint8 kRegisterBaudRate = 24;
constexpr quint8 kRegisterCommand = 88;

constexpr quint8 kCommandCalibrate = 11;
constexpr quint8 kCommandPower = 22;
constexpr quint8 kCommandSave = 33;

// Bytes 0-5 as given (the register high byte is always 0), then the CRC of bytes 0-5, low byte first.
RequestFrame buildRequest(quint8 address, quint8 function, quint8 reg, quint8 valueHigh, quint8 valueLow);

// FF 03 00 11 00 06 80 13: six registers from 17 of the device at 255.
RequestFrame deviceInfoRead();
// slave 03 00 15 00 02 crc: the two distance registers of one slave.
RequestFrame distancePoll(quint8 slave);
// FF 06 00 reg hi lo crc.
RequestFrame writeRegister(quint8 reg, quint8 valueHigh, quint8 valueLow);
// FF 06 00 reg with only the low 16 bits of value, high byte first (115200 goes out as C2 00).
RequestFrame writeRegisterWord(quint8 reg, qint32 value);

// The frame as the serial control takes it: eight bytes, element 0 first.
QByteArray toByteArray(const RequestFrame& frame);

} // namespace orvik
