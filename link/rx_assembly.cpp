#include "rx_assembly.h"

#include <algorithm>

namespace orvik {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

void appendHexByte(QString& rxText, quint8 byte)
{
    const QChar group[3]
        = { QLatin1Char(kHexDigits[byte >> 4]), QLatin1Char(kHexDigits[byte & 0x0F]), QLatin1Char(' ') };
    rxText.append(group, 3);
}

int appendReceived(QString& rxText, qint32& rxCount, int count, const QByteArray& data)
{
    if (count <= 0) return 0;
    const auto taken = static_cast<int>(std::min<qsizetype>(count, data.size()));
    for (int i = 0; i < taken; ++i)
        appendHexByte(rxText, static_cast<quint8>(data[i]));
    rxCount += taken;
    return taken;
}

} // namespace orvik
