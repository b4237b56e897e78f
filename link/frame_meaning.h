// What one closed frame is, judged against the request it answers: the single decision between the bytes on the
// line and the controls on the screen.
#pragma once

#include "reply_decoder.h"
#include "request_frame.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace orvik {

// The request the frame is taken to answer: where it went, which register it named, and, once one has gone out,
// its own bytes (to recognise an adapter that hears its own transmission).
struct SentRequest {
    quint8 address = 0;
    quint8 lastRegister = 0;
    std::optional<RequestFrame> frame;
};

enum class FrameKind {
    TooShort, // under 6 bytes: logged only
    Echo, // the read request's own bytes, heard back from the adapter
    ForeignAddress, // from an address that may not answer this request (a late answer, another talker)
    Damaged, // from an address that may answer, CRC mismatch
    DeviceInfo,
    Distance,
    BaudConfirmed,
    Other, // a valid frame from an address that may answer, but not the answer awaited (exceptions, other writes)
};

struct FrameMeaning {
    FrameKind kind = FrameKind::TooShort;
    // The frame shows the asked device answered: any valid frame from an address that may answer, and a damaged
    // one only from a polled slave's own address.
    bool answered = false;
    // Bytes at the front that were the adapter's copy of the request; the reply starts after them.
    int echoBytes = 0;
    DeviceInfo device {}; // DeviceInfo
    qint32 distance = 0; // Distance, 0.1 mm
};

// Frames shorter than this are only logged: neither an answer nor checked.
constexpr qint32 kMinReplyBytes = 6;

// Decodes rxText (rxCount bytes), and decides what it is:
// - a frame byte-identical to the read request just sent is its echo (no genuine answer to a read is 8 bytes);
//   write confirmations are left alone, since a device confirms a write with a copy of it;
// - a frame that starts with the request's bytes and goes on is the echo and the answer run together: the answer
//   is what follows the copy;
// - who may answer: a polled slave only under its own address; the device asked at 255 under 255 or under its own
//   address (1 to 247), as real devices do; anyone else's frame counts for nothing;
// - then the CRC, and the answer must have the one shape the request awaits before anything is shown: device
//   information is function 3 with 12 data bytes (17 in all), a distance function 3 with 4 (9 in all), a baud-rate
//   confirmation function 6 carrying the request's own register and value (8 in all).
FrameMeaning interpretFrame(const QString& rxText, qint32 rxCount, const SentRequest& request);

} // namespace orvik
