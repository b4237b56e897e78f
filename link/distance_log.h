// Every distance the data page has shown since the last connect, with its time: the stability record of each
// sensor that a commissioning engineer hands on.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <deque>
#include <functional>
#include <optional>

namespace orvik {

struct DistanceSample {
    qint64 msecsSinceEpoch;
    qint32 value; // 0.1 mm, as the slave sent it
    quint8 slave;
    // The slave left a poll unanswered between its previous sample and this one: its line breaks here. Kept in
    // what would otherwise be padding, so a gap costs no memory.
    bool afterGap = false;
};
static_assert(sizeof(DistanceSample) <= 16, "a sample, its gap mark included, is kept in 16 bytes");

class DistanceLog {
public:
    void clear();
    void add(qint64 msecsSinceEpoch, quint8 slave, qint32 value);
    // A poll of slave went unanswered: its next sample starts a new piece of its line.
    void markGap(quint8 slave);
    qsizetype size() const { return static_cast<qsizetype>(m_samples.size()); }
    const std::deque<DistanceSample>& samples() const { return m_samples; }
    // Whether slave (1 to 16) has a sample since the last connect.
    bool hasAnswered(quint8 slave) const { return slave < 32 && (m_answered >> slave & 1U) != 0; }

    // Called after every change (a sample added, the record cleared), on the thread that made it; one listener, an
    // empty function removes it. The chart follows the record through it.
    void setListener(std::function<void()> listener) { m_listener = std::move(listener); }

    // RFC 4180 CSV in UTF-8 with CRLF line ends: "time,slave,distance_m", then one row a sample in the order shown:
    // local time in ISO 8601 with milliseconds and the offset in force then (2026-12-09T14:37:14.123+08:00), the
    // slave address, and the distance in metres as the page showed it, with a full stop.
    QByteArray toCsv() const;

private:
    // A deque grows in small blocks: no doubling reserve that would hold twice the samples' memory.
    std::deque<DistanceSample> m_samples;
    quint32 m_answered = 0; // bit n: slave n has a sample
    quint32 m_gapPending = 0; // bit n: slave n left a poll unanswered since its last sample
    std::function<void()> m_listener;
};

// The distance CSV, shared by the window's export and the collector's daily files: RFC 4180 in UTF-8 with CRLF line
// ends, the header line, then one row a poll: local time (isoLocalTime), the slave address, and the distance in
// metres as the page shows it with a full stop, or nothing for a poll the slave left unanswered.
inline constexpr char kDistanceCsvHeader[] = "time,slave,distance_m\r\n";
void appendCsvRow(QByteArray& csv, qint64 msecsSinceEpoch, quint8 slave, std::optional<qint32> value);

// 2026-12-09T14:37:14.123+08:00 in the machine's time zone; UTC shows as +00:00.
QByteArray isoLocalTime(qint64 msecsSinceEpoch);

} // namespace orvik
