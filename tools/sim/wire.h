// Bytes on the simulated line: the Modbus CRC, checked independently of the monitor's own, and hex text.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace orvik::sim {

// CRC-16/MODBUS over the bytes (init 0xFFFF, reflected poly 0xA001, no final xor).
quint16 crc16(QByteArrayView bytes);

// The frame with its CRC appended, low byte first as it goes on the wire.
QByteArray withCrc(QByteArray frame);

// True when the last two bytes are the CRC of the ones before them.
bool crcValid(QByteArrayView frame);

// "FF 03 00 11": capital pairs separated by single blanks, no trailing blank.
QString toHex(QByteArrayView bytes);

// Reads pairs of hex digits, blanks ignored; an odd digit or a non-hex character gives an empty array.
QByteArray fromHex(QStringView text);

// One line of the line log: "<seconds with ms> <RX|TX|RATE> <baud> <hex bytes> <note>".
QString logLine(qint64 us, QStringView kind, int baud, QByteArrayView bytes, QStringView note);

} // namespace orvik::sim
