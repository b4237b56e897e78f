#include "frame_meaning.h"

#include <algorithm>

namespace orvik {

namespace {

constexpr qint32 kFrameCapacity = static_cast<qint32>(ScratchBuffer {}.size());
constexpr qint32 kRequestBytes = static_cast<qint32>(RequestFrame {}.size());
constexpr quint8 kLastUnicastAddress = 247;

// The three answers the monitor acts on, each with the one shape a device gives it.
constexpr qint32 kDeviceInfoBytes = 17; // address, 3, 12, six registers, CRC
constexpr quint8 kDeviceInfoByteCount = 12;
constexpr qint32 kDistanceBytes = 9; // address, 3, 4, two registers, CRC
constexpr quint8 kDistanceByteCount = 4;

enum class Awaited { Nothing, DeviceInfo, Distance, BaudConfirmation };

// A slave answers only under its own address. The device at 255 answers under 255 or under its own Modbus address,
// which the monitor does not know until it has read it.
bool mayAnswer(quint8 asked, quint8 from)
{
    if (asked == kConfigAddress) return from == kConfigAddress || (from >= 1 && from <= kLastUnicastAddress);
    return from == asked;
}

// What the request waits for. Without its bytes (nothing sent yet) a read is assumed, since 17 and 21 are the
// registers the monitor reads; a write cannot be confirmed without the value it carried.
Awaited awaitedAnswer(const SentRequest& request)
{
    const quint8 function = request.frame ? (*request.frame)[1] : kFunctionReadHolding;
    if (function == kFunctionReadHolding && request.lastRegister == kRegisterDeviceInfo) return Awaited::DeviceInfo;
    if (function == kFunctionReadHolding && request.lastRegister == kRegisterDistance) return Awaited::Distance;
    if (function == kFunctionWriteSingle && request.lastRegister == kRegisterBaudRate && request.frame)
        return Awaited::BaudConfirmation;
    return Awaited::Nothing;
}

bool isRead(const ScratchBuffer& frame, qint32 count, qint32 wantedCount, quint8 byteCount)
{
    return count == wantedCount && frame[1] == kFunctionReadHolding && frame[2] == byteCount;
}

// A write is confirmed by a copy of its register and value, under the answering device's address.
bool confirmsWrite(const ScratchBuffer& frame, qint32 count, const RequestFrame& request)
{
    return count == kRequestBytes && frame[1] == kFunctionWriteSingle
        && std::equal(request.begin() + 2, request.begin() + 6, frame.begin() + 2);
}

FrameMeaning judge(const ScratchBuffer& frame, qint32 count, const SentRequest& request)
{
    FrameMeaning meaning;
    if (count < kMinReplyBytes) return meaning;
    if (!mayAnswer(request.address, frame[0])) {
        meaning.kind = FrameKind::ForeignAddress;
        return meaning;
    }
    if (!replyCrcValid(frame, count)) {
        // A damaged address byte could be anyone's: only a slave's own address shows that slave is alive.
        meaning.kind = FrameKind::Damaged;
        meaning.answered = request.address != kConfigAddress;
        return meaning;
    }
    meaning.answered = true;
    meaning.kind = FrameKind::Other;
    switch (awaitedAnswer(request)) {
    case Awaited::DeviceInfo:
        if (isRead(frame, count, kDeviceInfoBytes, kDeviceInfoByteCount)) {
            meaning.kind = FrameKind::DeviceInfo;
            meaning.device = decodeDeviceInfo(frame);
        }
        break;
    case Awaited::Distance:
        if (isRead(frame, count, kDistanceBytes, kDistanceByteCount)) {
            meaning.kind = FrameKind::Distance;
            meaning.distance = distanceValue(frame, kDistanceOffset);
        }
        break;
    case Awaited::BaudConfirmation:
        if (confirmsWrite(frame, count, *request.frame)) meaning.kind = FrameKind::BaudConfirmed;
        break;
    case Awaited::Nothing:
        break;
    }
    return meaning;
}

bool startsWithRequest(const ScratchBuffer& frame, qint32 count, const RequestFrame& request)
{
    return count >= kRequestBytes && std::equal(request.begin(), request.end(), frame.begin());
}

bool isReadEcho(const ScratchBuffer& frame, qint32 count, const RequestFrame& request)
{
    return request[1] == kFunctionReadHolding && count == kRequestBytes && startsWithRequest(frame, count, request);
}

} // namespace

FrameMeaning interpretFrame(const QString& rxText, qint32 rxCount, const SentRequest& request)
{
    if (rxCount < kMinReplyBytes) return {};
    ScratchBuffer frame {};
    decodeHexText(rxText, rxCount, frame);
    if (!request.frame || rxCount > kFrameCapacity) return judge(frame, rxCount, request);

    const RequestFrame& sent = *request.frame;
    if (isReadEcho(frame, rxCount, sent)) return FrameMeaning { FrameKind::Echo };
    if (rxCount > kRequestBytes && startsWithRequest(frame, rxCount, sent)) {
        const qint32 rest = rxCount - kRequestBytes;
        ScratchBuffer reply {};
        std::copy_n(frame.begin() + kRequestBytes, rest, reply.begin());
        FrameMeaning meaning
            = isReadEcho(reply, rest, sent) ? FrameMeaning { FrameKind::Echo } : judge(reply, rest, request);
        meaning.echoBytes = kRequestBytes;
        return meaning;
    }
    return judge(frame, rxCount, request);
}

} // namespace orvik
