#include "frame_meaning.h"

#include <algorithm>

namespace orvik {

namespace {

constexpr qint32 kFrameCapacity = static_cast<qint32>(ScratchBuffer {}.size());
constexpr qint32 kRequestBytes = static_cast<qint32>(RequestFrame {}.size());

bool startsWithRequest(const ScratchBuffer& frame, qint32 count, const RequestFrame& request)
{
    return count >= kRequestBytes && std::equal(request.begin(), request.end(), frame.begin());
}

FrameMeaning judge(const ScratchBuffer& frame, qint32 count, const SentRequest& request)
{
    FrameMeaning meaning;
    if (count < kMinReplyBytes) return meaning;
    if (frame[0] != request.address) {
        meaning.kind = FrameKind::ForeignAddress;
        return meaning;
    }
    meaning.answered = true;
    if (!replyCrcValid(frame, count)) {
        meaning.kind = FrameKind::Damaged;
        return meaning;
    }
    switch (classifyReply(frame, request.lastRegister)) {
    case ReplyAction::DeviceInfo:
        meaning.kind = FrameKind::DeviceInfo;
        meaning.device = decodeDeviceInfo(frame);
        break;
    case ReplyAction::Distance:
        meaning.kind = FrameKind::Distance;
        meaning.distance = distanceValue(frame, kDistanceOffset);
        break;
    case ReplyAction::BaudConfirmed:
        meaning.kind = FrameKind::BaudConfirmed;
        break;
    case ReplyAction::None:
        meaning.kind = FrameKind::Other;
        break;
    }
    return meaning;
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
