// Request frames are built in the scratch buffer, so requests and replies share the one CRC routine.
#include "request_frame.h"

#include "crc16.h"

#include <algorithm>

namespace orvik {

RequestFrame buildRequest(quint8 address, quint8 function, quint8 reg, quint8 valueHigh, quint8 valueLow)
{
    ScratchBuffer scratch {};
    scratch[0] = address;
    scratch[1] = function;
    scratch[2] = 0;
    scratch[3] = reg;
    scratch[4] = valueHigh;
    scratch[5] = valueLow;
    const quint16 crc = CalcCrc16(scratch, 0, 5);
    scratch[6] = static_cast<quint8>(crc & 0xFFu);
    scratch[7] = static_cast<quint8>(crc >> 8);

    RequestFrame frame {};
    std::copy_n(scratch.begin(), frame.size(), frame.begin());
    return frame;
}

RequestFrame deviceInfoRead()
{
    return buildRequest(kConfigAddress, kFunctionReadHolding, kRegisterDeviceInfo, 0, 6);
}

RequestFrame distancePoll(quint8 slave)
{
    return buildRequest(slave, kFunctionReadHolding, kRegisterDistance, 0, 2);
}

RequestFrame writeRegister(quint8 reg, quint8 valueHigh, quint8 valueLow)
{
    return buildRequest(kConfigAddress, kFunctionWriteSingle, reg, valueHigh, valueLow);
}

RequestFrame writeRegisterWord(quint8 reg, qint32 value)
{
    const auto word = static_cast<quint32>(value) & 0xFFFFu;
    return writeRegister(reg, static_cast<quint8>(word >> 8), static_cast<quint8>(word & 0xFFu));
}

QByteArray toByteArray(const RequestFrame& frame)
{
    QByteArray bytes(static_cast<qsizetype>(frame.size()), '\0');
    for (std::size_t i = 0; i < frame.size(); ++i)
        bytes[static_cast<qsizetype>(i)] = static_cast<char>(frame[i]);
    return bytes;
}

} // namespace orvik
