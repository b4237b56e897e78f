#include "wire.h"

#include <array>

namespace orvik::sim {

namespace {

// One entry per byte value: the eight shift-and-xor steps done ahead of time.
constexpr std::array<quint16, 256> makeTable()
{
    std::array<quint16, 256> table {};
    for (unsigned n = 0; n < 256; ++n) {
        unsigned value = n;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1U) ? (value >> 1) ^ 0xA001U : value >> 1;
        table[n] = static_cast<quint16>(value);
    }
    return table;
}

constexpr std::array<quint16, 256> kCrcTable = makeTable();

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    return -1;
}

} // namespace

quint16 crc16(QByteArrayView bytes)
{
    unsigned crc = 0xFFFF;
    for (const char c : bytes)
        crc = (crc >> 8) ^ kCrcTable[(crc ^ static_cast<quint8>(c)) & 0xFFU];
    return static_cast<quint16>(crc);
}

QByteArray withCrc(QByteArray frame)
{
    const quint16 crc = crc16(frame);
    frame.append(static_cast<char>(crc & 0xFFU));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool crcValid(QByteArrayView frame)
{
    if (frame.size() < 3) return false;
    // Running the CRC over a frame together with its own CRC leaves zero.
    return crc16(frame) == 0;
}

QString toHex(QByteArrayView bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        if (!text.isEmpty()) text.append(u' ');
        text.append(QLatin1Char(kDigits[b >> 4]));
        text.append(QLatin1Char(kDigits[b & 0x0FU]));
    }
    return text;
}

QByteArray fromHex(QStringView text)
{
    QByteArray bytes;
    int high = -1;
    for (const QChar c : text) {
        if (c.isSpace()) continue;
        const int digit = hexDigit(c);
        if (digit < 0) return {};
        if (high < 0) {
            high = digit;
        } else {
            bytes.append(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    return high < 0 ? bytes : QByteArray();
}

QString logLine(qint64 us, QStringView kind, int baud, QByteArrayView bytes, QStringView note)
{
    QString line = QStringLiteral("%1.%2 %3 %4")
                       .arg(us / 1'000'000)
                       .arg(us / 1000 % 1000, 3, 10, QLatin1Char('0'))
                       .arg(kind)
                       .arg(baud);
    if (!bytes.isEmpty()) line += u' ' + toHex(bytes);
    if (!note.isEmpty()) {
        line += u' ';
        line += note;
    }
    return line;
}

} // namespace orvik::sim
