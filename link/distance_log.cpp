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

QByteArray DistanceLog::toCsv() const
{
    QByteArray csv("time,slave,distance_m\r\n");
    csv.reserve(static_cast<qsizetype>(m_samples.size()) * 44 + csv.size());
    for (const DistanceSample& sample : m_samples) {
        csv += isoLocalTime(sample.msecsSinceEpoch);
        csv += ',';
        csv += QByteArray::number(sample.slave);
        csv += ',';
        csv += distanceText(sample.value, QLatin1Char('.')).toLatin1();
        csv += "\r\n";
    }
    return csv;
}

} // namespace orvik
