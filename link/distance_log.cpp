#include "distance_log.h"

#include "distance_text.h"

#include <QDateTime>

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
    m_samples.clear();
    m_answered = 0;
    m_gapPending = 0;
    if (m_listener) m_listener();
}

void DistanceLog::add(qint64 msecsSinceEpoch, quint8 slave, qint32 value)
{
    const quint32 bit = slave < 32 ? 1U << slave : 0U;
    m_samples.push_back({ msecsSinceEpoch, value, slave, (m_gapPending & bit) != 0 });
    m_gapPending &= ~bit;
    m_answered |= bit;
    if (m_listener) m_listener();
}

void DistanceLog::markGap(quint8 slave)
{
    if (slave < 32) m_gapPending |= 1U << slave;
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
    csv.reserve(static_cast<qsizetype>(m_samples.size()) * 44 + csv.size());
    for (const DistanceSample& sample : m_samples)
        appendCsvRow(csv, sample.msecsSinceEpoch, sample.slave, sample.value);
    return csv;
}

} // namespace orvik
