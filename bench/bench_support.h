// Arithmetic shared by the window benchmarks: summaries, line timing, reply frames, frame verdicts and the floors
// the line and the baud-rate search impose. QtCore only, so it is tested without a window.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

namespace orvik::bench {

struct Summary {
    int count = 0;
    double median = 0; // mean of the two middle samples for an even count
    double p99 = 0; // nearest rank: the smallest sample with at least 99 % of the samples at or below it
    double min = 0;
    double max = 0;
};
Summary summarise(std::vector<double> samples);

// The nine rates of the baud-rate list, in list order.
const std::vector<int>& lineRates();

// One character of 8N1 (start, eight data, stop bit) at baud, in microseconds.
double charTimeUs(int baud);
// Time of a frame of n bytes on the wire, in milliseconds.
double wireTimeMs(int bytes, int baud);
// When each byte of an n-byte frame has fully arrived, counted from the start of its first start bit (µs).
std::vector<qint64> pacedOffsetsUs(int bytes, int baud);

// The 9-byte reply to a distance poll: slave 03 04 value (high byte first) CRC (low byte first).
QByteArray distanceReply(quint8 slave, qint32 value);

enum class FrameVerdict {
    Whole, // exactly one memo line holding exactly the reply
    Split, // the reply spread over several lines
    Merged, // one line holding the reply and more
    Lost, // no line at all
    Garbled, // anything else
};
QString verdictName(FrameVerdict verdict);
// Judges the memo lines written for one reply ("03 03 04 ... E1 ", each byte with its trailing blank).
FrameVerdict judgeFrame(const QStringList& memoLines, const QByteArray& reply);

// When the baud-rate search can first see a device that answers at `baud` (milliseconds after the click).
struct ConnectFloor {
    double line = 0; // pass start + request + turnaround + 17-byte reply + 25 ms of silence
    double schedule = 0; // the same, with the reply read and decoded at 100 ms wait-slice boundaries
};
ConnectFloor connectFloor(int baud, double turnaroundMs);

} // namespace orvik::bench
