#include "column_reduction.h"

#include <algorithm>

namespace orvik {

ColumnReducer::ColumnReducer(qint64 fromMs, qint64 toMs, int columns)
    : m_fromMs(fromMs)
    , m_toMs(std::max(toMs, fromMs + 1))
    , m_columns(std::max(columns, 1))
{
}

qint64 ColumnReducer::columnOf(qint64 msecsSinceEpoch) const
{
    const qint64 scaled = (msecsSinceEpoch - m_fromMs) * m_columns;
    const qint64 width = m_toMs - m_fromMs;
    // Rounds towards minus infinity, so an instant just before the span is column -1, not 0.
    return scaled >= 0 ? scaled / width : -((-scaled + width - 1) / width);
}

qint64 ColumnReducer::columnStartMs(qint64 column) const
{
    return m_fromMs + (column * (m_toMs - m_fromMs) + m_columns - 1) / m_columns;
}

void ColumnReducer::add(const DistanceSample& sample)
{
    if (sample.msecsSinceEpoch < m_fromMs || sample.msecsSinceEpoch >= m_toMs) return;
    const auto column = static_cast<qint32>(columnOf(sample.msecsSinceEpoch));
    const qint32 v = sample.value;
    if (m_points.empty() || sample.afterGap || m_points.back().column != column) {
        m_points.push_back({ column, v, v, v, v, sample.afterGap });
        return;
    }
    ColumnPoint& point = m_points.back();
    point.min = std::min(point.min, v);
    point.max = std::max(point.max, v);
    point.last = v;
}

std::vector<ColumnReducer> reduceToColumns(const DistanceLog& log, qint64 fromMs, qint64 toMs, int columns)
{
    std::vector<ColumnReducer> reducers(16, ColumnReducer(fromMs, toMs, columns));
    const auto& samples = log.samples();
    // Samples are kept in the order they were shown, which is time order: skip what lies before the span at once.
    auto it = std::partition_point(
        samples.begin(), samples.end(), [fromMs](const DistanceSample& s) { return s.msecsSinceEpoch < fromMs; });
    for (; it != samples.end() && it->msecsSinceEpoch < toMs; ++it) {
        if (it->slave >= 1 && it->slave <= 16) reducers[it->slave - 1u].add(*it);
    }
    return reducers;
}

} // namespace orvik
