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
    ForeignAddress, // from an address the request did not go to (a late answer, another talker)
    Damaged, // from the asked address, CRC mismatch: the sender is alive
    DeviceInfo,
    Distance,
    BaudConfirmed,
    Other, // a valid frame from the asked address that nothing acts on (other write echoes, exceptions)
};

struct FrameMeaning {
    FrameKind kind = FrameKind::TooShort;
    // The frame shows the asked device answered: a valid or damaged frame from its address.
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
// - a frame whose address byte is not the asked address is someone else's and counts for nothing;
// - then CRC, and the function code with the register asked for say what it carries.
FrameMeaning interpretFrame(const QString& rxText, qint32 rxCount, const SentRequest& request);

} // namespace orvik
