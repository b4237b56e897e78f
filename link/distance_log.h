// Every distance the data page has shown since the last connect, with its time, and every poll a slave that had
// answered left unanswered: the stability record of each sensor that a commissioning engineer hands on.
#pragma once

#include "distance_series.h"
#include "sample_time.h"

#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace orvik {

class DistanceLog {
public:
    void clear();
    void add(const SampleTime& at, quint8 slave, qint32 value);
    // A poll of slave went unanswered: its line breaks here and the CSV has an empty value at this time. Before the
    // slave's first answer since connecting there is no line to break, and nothing is kept.
    void markGap(const SampleTime& at, quint8 slave);

    // Entries in the order shown: answers and unanswered polls.
    qsizetype size() const { return static_cast<qsizetype>(m_order.size()); }
    // The slave's samples in time order; null before its first answer.
    const DistanceSeries* series(quint8 slave) const { return m_series[slave].get(); }
    bool hasAnswered(quint8 slave) const { return m_series[slave] != nullptr; }
    // The first and last entry's monotonic time (both 0 while the record is empty).
    qint64 firstMs() const { return m_firstMs; }
    qint64 lastMs() const { return m_lastMs; }
    // The wall clock time (ms since the epoch) an entry stamped at monotonicMs showed; a clock set while the record
    // ran changes the labels of what came after, never the order.
    qint64 wallMs(qint64 monotonicMs) const;
    // Bytes the slaves' pyramids of tiles take (with the gaps' times), beyond the samples and the order of rows.
    std::size_t pyramidBytes() const;

    // Called after every change (a sample added, the record cleared), on the thread that made it; one listener, an
    // empty function removes it. The chart follows the record through it.
    void setListener(std::function<void()> listener) { m_listener = std::move(listener); }

    // The distance CSV (kDistanceCsvHeader, appendCsvRow): one row per entry in the order shown, an unanswered poll
    // with an empty value at its time.
    QByteArray toCsv() const;

private:
    void stamp(const SampleTime& at);

    std::array<std::unique_ptr<DistanceSeries>, 256> m_series;
    // One entry per row, in the order shown: the slave, plus kGapEntry for an unanswered poll.
    static constexpr quint16 kGapEntry = 0x100;
    std::deque<quint16> m_order;
    // The wall clock's offset from the monotonic one, recorded only when it moves by more than a millisecond.
    struct WallStep {
        qint64 fromMonotonicMs;
        qint64 offsetMs;
    };
    std::deque<WallStep> m_wallSteps;
    qint64 m_firstMs = 0;
    qint64 m_lastMs = 0;
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
