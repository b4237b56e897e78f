#include "slave_statistics.h"

#include "request_frame.h"

#include <algorithm>
#include <limits>

namespace orvik {

namespace {

QString tenthsText(qint64 tenths)
{
    return QStringLiteral("%1.%2 ms").arg(tenths / 10).arg(tenths % 10);
}

} // namespace

void SlaveStatistics::reset()
{
    m_slaves = {};
    m_waiting = 0;
}

SlaveStatistics::Slave* SlaveStatistics::slot(quint8 slave)
{
    if (!isSlaveAddress(slave)) return nullptr;
    return &m_slaves[static_cast<std::size_t>(slave - kFirstSlave)];
}

const SlaveStatistics::Slave* SlaveStatistics::slot(quint8 slave) const
{
    return const_cast<SlaveStatistics*>(this)->slot(slave);
}

quint8 SlaveStatistics::requestSent(quint8 address, qint64 lastByteOutUs)
{
    const quint8 unanswered = m_waiting;
    if (Slave* previous = slot(unanswered)) ++previous->silent;
    m_waiting = 0;
    if (Slave* s = slot(address)) {
        ++s->polls;
        s->lastByteOutUs = lastByteOutUs;
        m_waiting = address;
    }
    return unanswered;
}

void SlaveStatistics::answered(quint8 slave, bool intact, qint64 frameEndUs)
{
    Slave* s = slot(slave);
    if (!s || slave != m_waiting) return;
    m_waiting = 0;
    ++(intact ? s->answers : s->damaged);
    // Rounded to a tenth of a millisecond; an answer cannot come before the request has left.
    const qint64 tenths
        = std::clamp<qint64>((frameEndUs - s->lastByteOutUs + 50) / 100, 0, std::numeric_limits<qint32>::max());
    s->lastTenthsMs = static_cast<qint32>(tenths);
    ++s->times[s->lastTenthsMs];
    ++s->timed;
}

qint32 SlaveStatistics::medianTenthsMs(const Slave& s)
{
    // The middle time, or the mean of the two middle ones, rounded half up.
    const quint32 low = (s.timed + 1) / 2;
    const quint32 high = s.timed / 2 + 1;
    quint32 seen = 0;
    qint64 lowValue = -1;
    for (const auto& [tenths, count] : s.times) {
        seen += count;
        if (lowValue < 0 && seen >= low) lowValue = tenths;
        if (seen >= high) return static_cast<qint32>((lowValue + tenths + 1) / 2);
    }
    return static_cast<qint32>(lowValue);
}

QString SlaveStatistics::describe(quint8 slave) const
{
    const Slave* s = slot(slave);
    if (!s) return {};
    QString text = QStringLiteral("轮询 %1 · 应答 %2 · 校验错 %3 · 无应答 %4 · 响应 ")
                       .arg(s->polls)
                       .arg(s->answers)
                       .arg(s->damaged)
                       .arg(s->silent);
    if (s->timed == 0) return text + QStringLiteral("—");
    return text + tenthsText(s->lastTenthsMs) + QStringLiteral("（中位 ") + tenthsText(medianTenthsMs(*s))
        + QStringLiteral("）");
}

} // namespace orvik
