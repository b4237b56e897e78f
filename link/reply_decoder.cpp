#include "reply_decoder.h"

#include <algorithm>

namespace orvik {

namespace {

constexpr qint32 kFrameCapacity = static_cast<qint32>(ScratchBuffer {}.size());

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return 0;
}

quint8 byteAt(const ScratchBuffer& frame, qint64 index)
{
    if (index < 0 || index >= kFrameCapacity) return 0;
    return frame[static_cast<std::size_t>(index)];
}

} // namespace

int decodeHexText(const QString& rxText, qint32 count, ScratchBuffer& frame)
{
    frame.fill(0);
    const qsizetype length = rxText.size();
    const int wanted = std::clamp(count, 0, kFrameCapacity);
    int placed = 0;
    // Group k starts at character 3k; it is read while that is not the last character, so its low digit exists.
    for (qsizetype start = 0; placed < wanted && start + 1 < length; start += 3) {
        const int high = hexDigitValue(rxText[start]);
        const int low = hexDigitValue(rxText[start + 1]);
        frame[static_cast<std::size_t>(placed)] = static_cast<quint8>(high * 16 + low);
        ++placed;
    }
    return placed;
}

bool replyCrcValid(const ScratchBuffer& frame, qint32 count)
{
    if (count < 2 || count > kFrameCapacity) return false;
    const quint16 crc = CalcCrc16(frame, 0, count - 3);
    return byteAt(frame, count - 2) == (crc & 0xFFu) && byteAt(frame, count - 1) == (crc >> 8);
}

DeviceInfo decodeDeviceInfo(const ScratchBuffer& frame)
{
    return DeviceInfo { frame[4], frame[6], frame[8], frame[10], distanceValue(frame, 11) };
}

qint32 distanceValue(const ScratchBuffer& frame, int offset)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i) {
        value = (value << 8) | byteAt(frame, static_cast<qint64>(offset) + i);
    }
    return static_cast<qint32>(value);
}

} // namespace orvik
