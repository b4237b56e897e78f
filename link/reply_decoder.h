// Turning the received hex text back into bytes, checking the CRC and reading the fields of a reply.
// Decoders never throw and never touch memory outside the frame buffer, whatever the text holds.
#pragma once

#include "crc16.h"

#include <QString>
#include <QtGlobal>

namespace orvik {

// Zeroes frame, then decodes rxText group by group ("HH ", high digit first, the third character skipped) while the
// group's first character is not the last one of the text, and copies at most min(count, 256) bytes to frame[0..].
// A character other than 0-9 and A-F (lower case included) counts as digit 0: the monitor itself only ever writes
// capital hex, so anything else is damage, and decoding it as 0 keeps the decoder total. Returns the number of bytes
// placed: min(count, 256, groups in the text), 0 for count <= 0.
int decodeHexText(const QString& rxText, qint32 count, ScratchBuffer& frame);

// The last two of `count` bytes are the CRC of the ones before, low byte first. A frame longer than the buffer was
// only decoded in part and is never valid; a frame of fewer than 2 bytes has no CRC and is never valid either.
bool replyCrcValid(const ScratchBuffer& frame, qint32 count);

struct DeviceInfo {
    quint8 mode; // 0-3 on a sound device; passed on unchecked
    quint8 physicalAddress;
    quint8 delay; // seconds
    quint8 logicalAddress;
    qint32 distance; // 0.1 mm
};

// The low bytes of registers 17-20 (offsets 4, 6, 8, 10) and the distance at offsets 11-14. A frame shorter than
// this layout reads 0 for the bytes it lacks, because the buffer was zeroed before decoding.
DeviceInfo decodeDeviceInfo(const ScratchBuffer& frame);

// Four bytes from offset as one signed 32-bit value, most significant byte first (register 21 is the high word).
// Bytes beyond the buffer read as 0.
qint32 distanceValue(const ScratchBuffer& frame, int offset);

// Offset of the distance in a reply to the distance poll.
constexpr int kDistanceOffset = 3;

} // namespace orvik
