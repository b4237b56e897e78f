#include "distance_log.h"

#include "distance_text.h"

#include <QDateTime>
#include <algorithm>

namespace orvik {

QByteArray isoLocalTime(qint64 msecsSinceEpoch)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    const int offset = local.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + (offset < 0 ? '-' : '+')
        + QByteArray::number(minutes / 60).rightJustified(2, '0') + ':'
        + QByteArray::number(minutes % 60).rightJustified(2, '0');
}

void DistanceLog::clear()
{
    for (auto& series : m_series)
        series.reset();
    m_order.clear();
    m_wallSteps.clear();
    m_firstMs = m_lastMs = 0;
    if (m_listener) m_listener();
}

void DistanceLog::stamp(const SampleTime& at)
{
    if (m_order.empty()) m_firstMs = at.monotonicMs;
    m_lastMs = at.monotonicMs;
    const qint64 offset = at.wallMs - at.monotonicMs;
    // The two clocks are read one after the other: a millisecond either way is the reading, not a step.
    if (m_wallSteps.empty() || std::abs(offset - m_wallSteps.back().offsetMs) > 1)
        m_wallSteps.push_back({ at.monotonicMs, offset });
}

void DistanceLog::add(const SampleTime& at, quint8 slave, qint32 value)
{
    auto& series = m_series[slave];
    if (!series) series = std::make_unique<DistanceSeries>();
    stamp(at);
    series->add(at.monotonicMs, value);
    m_order.push_back(slave);
    if (m_listener) m_listener();
}

void DistanceLog::markGap(const SampleTime& at, quint8 slave)
{
    auto& series = m_series[slave];
    if (!series) return;
    stamp(at);
    series->markGap(at.monotonicMs);
    m_order.push_back(static_cast<quint16>(slave | kGapEntry));
    if (m_listener) m_listener();
}

qint64 DistanceLog::wallMs(qint64 monotonicMs) const
{
    if (m_wallSteps.empty()) return monotonicMs;
    auto it = std::upper_bound(m_wallSteps.begin(), m_wallSteps.end(), monotonicMs,
        [](qint64 ms, const WallStep& step) { return ms < step.fromMonotonicMs; });
    if (it != m_wallSteps.begin()) --it;
    return monotonicMs + it->offsetMs;
}

std::size_t DistanceLog::pyramidBytes() const
{
    std::size_t bytes = 0;
    for (const auto& series : m_series)
        if (series) bytes += series->tileBytes();
    return bytes;
}

void appendCsvRow(QByteArray& csv, qint64 msecsSinceEpoch, quint8 slave, std::optional<qint32> value)
{
    csv += isoLocalTime(msecsSinceEpoch);
    csv += ',';
    csv += QByteArray::number(slave);
    csv += ',';
    if (value) csv += distanceText(*value, QLatin1Char('.')).toLatin1();
    csv += "\r\n";
}

QByteArray DistanceLog::toCsv() const
{
    QByteArray csv(kDistanceCsvHeader);
    csv.reserve(static_cast<qsizetype>(m_order.size()) * 44 + csv.size());
    std::array<qsizetype, 256> nextSample {};
    std::array<std::size_t, 256> nextGap {};
    for (const quint16 entry : m_order) {
        const auto slave = static_cast<quint8>(entry & 0xFF);
        const DistanceSeries& series = *m_series[slave];
        if (entry & kGapEntry) {
            appendCsvRow(csv, wallMs(series.gaps()[nextGap[slave]++].monotonicMs), slave, std::nullopt);
        } else {
            const qsizetype i = nextSample[slave]++;
            appendCsvRow(csv, wallMs(series.timeAt(i)), slave, series.valueAt(i));
        }
    }
    return csv;
}

} // namespace orvik
