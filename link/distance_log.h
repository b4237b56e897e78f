// Every distance the data page has shown since the last connect, with its time: the stability record of each
// sensor that a commissioning engineer hands on.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <deque>

namespace orvik {

struct DistanceSample {
    qint64 msecsSinceEpoch;
    qint32 value; // 0.1 mm, as the slave sent it
    quint8 slave;
};
static_assert(sizeof(DistanceSample) <= 16, "a sample is kept in 16 bytes");

class DistanceLog {
public:
    void clear() { m_samples.clear(); }
    void add(qint64 msecsSinceEpoch, quint8 slave, qint32 value)
    {
        m_samples.push_back({ msecsSinceEpoch, value, slave });
    }
    qsizetype size() const { return static_cast<qsizetype>(m_samples.size()); }

    // RFC 4180 CSV in UTF-8 with CRLF line ends: "time,slave,distance_m", then one row a sample in the order shown:
    // local time in ISO 8601 with milliseconds and the offset in force then (2026-12-09T14:37:14.123+08:00), the
    // slave address, and the distance in metres as the page showed it, with a full stop.
    QByteArray toCsv() const;

private:
    // A deque grows in small blocks: no doubling reserve that would hold twice the samples' memory.
    std::deque<DistanceSample> m_samples;
};

// 2026-12-09T14:37:14.123+08:00 in the machine's time zone; UTC shows as +00:00.
QByteArray isoLocalTime(qint64 msecsSinceEpoch);

} // namespace orvik
