// Cuts the bytes a device hears into frames by silence, the way an RTU device does.
#pragma once

#include <QByteArray>

#include <optional>

namespace orvik::sim {

struct RxFrame {
    QByteArray bytes;
    int baud = 0; // line speed when the frame began
    qint64 endUs = 0; // when its silence ran out
    bool overflow = false; // longer than any frame a device keeps; the excess was dropped
};

// Fed with the bytes as they are read and the time of reading (microseconds on any steady clock). A pseudo-
// terminal delivers a whole write at once, so each byte is taken to occupy one character time on the line after
// the one before it: a frame is complete 3.5 character times after its last byte has crossed the line.
class SilenceFramer {
public:
    static constexpr qsizetype kMaxFrame = 256;

    // A byte that comes after the silence of the frame in progress ran out closes that frame, which is returned.
    std::optional<RxFrame> feed(quint8 byte, qint64 us, int baud);

    // The frame in progress if its silence has run out by `us`.
    std::optional<RxFrame> poll(qint64 us);

    // When the frame in progress ends if no byte comes; none when idle.
    std::optional<qint64> deadlineUs() const;

private:
    std::optional<RxFrame> m_frame;
    qint64 m_lastEndUs = 0; // when the last byte has fully crossed the line
};

} // namespace orvik::sim
