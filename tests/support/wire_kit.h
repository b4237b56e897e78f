// The tests' own view of the wire: bytes written as wire hex ("FF 03 00 11 00 06 80 13") and a CRC-16/Modbus worked
// out bit by bit from the reflected polynomial 0xA001, so that a wrong table in the monitor cannot agree with itself.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstddef>

namespace orvik::test {

// "FF 03 00" (blanks optional) -> bytes.
inline QByteArray hexBytes(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
inline QByteArray hexBytes(const QString& text)
{
    return hexBytes(text.toLatin1().constData());
}

// bytes -> "FF 03 00" (no trailing blank).
inline QString wireHex(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}
template <std::size_t N> QString wireHex(const std::array<quint8, N>& bytes, std::size_t count = N)
{
    return wireHex(QByteArrayView(bytes.data(), static_cast<qsizetype>(count)));
}

// The first N bytes of a wire-hex text, zero-padded.
template <std::size_t N> std::array<quint8, N> hexArray(const QString& text)
{
    std::array<quint8, N> out {};
    const QByteArray bytes = hexBytes(text);
    for (qsizetype i = 0; i < bytes.size() && static_cast<std::size_t>(i) < N; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<quint8>(bytes[i]);
    return out;
}

inline quint16 modbusCrc(QByteArrayView bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

// The frame with its CRC appended, low byte first.
inline QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = modbusCrc(bytes);
    bytes.append(static_cast<char>(crc & 0xFF));
    bytes.append(static_cast<char>(crc >> 8));
    return bytes;
}

inline bool crcValid(const QByteArray& frame)
{
    return frame.size() >= 2 && withCrc(frame.first(frame.size() - 2)) == frame;
}

} // namespace orvik::test
