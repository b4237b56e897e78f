// Received bytes are kept only as text: each byte as two capital hex digits and one blank ("01 03 A0 ").
// The same text is the store of the frame being received and the line the debug log shows.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace orvik {

// Two capital hex digits, high digit first, then one blank: 0x0A gives "0A ".
void appendHexByte(QString& rxText, quint8 byte);

// Appends the first `count` bytes of `data` to rxText and counts them in rxCount. Only `count` bytes are taken, the
// number the port reported before the data was read: bytes that arrived in between are dropped. When the data holds
// fewer bytes than that, only those present are taken; nothing when count <= 0. Returns how many were appended.
int appendReceived(QString& rxText, qint32& rxCount, int count, const QByteArray& data);

// A frame ends after this much silence, at every baud rate.
constexpr int kEndOfFrameMs = 25;

// Decides, when the silence timer fires, whether the frame is really over. Bytes already waiting, or still on their
// way in from the driver, mean the program was slow to look (asleep in a wait slice), not that the line was quiet:
// the frame is held open for them. A driver that keeps reporting bytes nobody can take is not waited for more than
// kMaxHolds times in a row.
class FrameCloser {
public:
    static constexpr int kMaxHolds = 8;

    // Asked when the silence timer fires: true holds the frame open for the pending bytes.
    bool holdOpen(bool bytesPending)
    {
        if (bytesPending && m_holds < kMaxHolds) {
            ++m_holds;
            return true;
        }
        m_holds = 0;
        return false;
    }
    // Bytes that did arrive show the line is moving: the count of holds starts again.
    void bytesAppended(int count)
    {
        if (count > 0) m_holds = 0;
    }

private:
    int m_holds = 0;
};

} // namespace orvik
