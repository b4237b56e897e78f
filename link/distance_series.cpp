#include "distance_series.h"

#include <algorithm>

namespace orvik {

qsizetype DistanceSeries::tileSamples(int level)
{
    qsizetype n = kTileSamples;
    for (int k = 0; k < level; ++k)
        n *= kFanOut;
    return n;
}

void DistanceSeries::add(qint64 monotonicMs, qint32 value)
{
    m_times.push_back(monotonicMs);
    m_values.push_back(value);
    // Each tile is made once its run is complete, from the level below: a sample costs a fraction of a tile.
    const qsizetype count = size();
    for (int level = 0; count % tileSamples(level) == 0; ++level) {
        if (m_levels.size() <= static_cast<std::size_t>(level)) m_levels.emplace_back();
        const qsizetype n = tileSamples(level);
        const qsizetype from = count - n;
        SampleRun tile;
        if (level == 0) {
            tile = samplesRun(from, count);
        } else {
            const auto& below = m_levels[static_cast<std::size_t>(level - 1)];
            const qsizetype child = n / kFanOut;
            const auto first = static_cast<std::size_t>(from / child);
            tile = below[first];
            for (qsizetype c = 1; c < kFanOut; ++c)
                join(tile, below[first + static_cast<std::size_t>(c)], from + c * child);
        }
        m_levels[static_cast<std::size_t>(level)].push_back(tile);
    }
}

void DistanceSeries::markGap(qint64 monotonicMs)
{
    m_gaps.push_back({ monotonicMs, size() });
}

qsizetype DistanceSeries::lowerBound(qint64 monotonicMs) const
{
    return std::lower_bound(m_times.begin(), m_times.end(), monotonicMs) - m_times.begin();
}

bool DistanceSeries::gapBefore(qsizetype i) const
{
    if (i == 0) return !m_gaps.empty() && m_gaps.front().before == 0;
    const auto it = std::lower_bound(
        m_gaps.begin(), m_gaps.end(), i, [](const Gap& gap, qsizetype index) { return gap.before < index; });
    return it != m_gaps.end() && it->before == i;
}

// Appends the run that starts at sample nextFirst to the run that ends just before it.
void DistanceSeries::join(SampleRun& into, const SampleRun& next, qsizetype nextFirst) const
{
    into.min = std::min(into.min, next.min);
    into.max = std::max(into.max, next.max);
    into.last = next.last;
    into.broken = into.broken || next.broken || gapBefore(nextFirst);
}

SampleRun DistanceSeries::samplesRun(qsizetype from, qsizetype to) const
{
    const qint32 v = valueAt(from);
    SampleRun run { v, v, v, v, false };
    for (qsizetype i = from + 1; i < to; ++i) {
        const qint32 value = valueAt(i);
        join(run, { value, value, value, value, false }, i);
    }
    return run;
}

// From `from`, each step takes the largest tile that starts there and ends inside the run, else one sample.
SampleRun DistanceSeries::run(qsizetype from, qsizetype to) const
{
    qsizetype i = from;
    SampleRun result {};
    auto take = [&](const SampleRun& part, qsizetype end) {
        if (i == from)
            result = part;
        else
            join(result, part, i);
        i = end;
    };
    while (i < to) {
        int level = -1;
        while (level + 1 < static_cast<int>(m_levels.size()) && i % tileSamples(level + 1) == 0
            && i + tileSamples(level + 1) <= to
            && (i / tileSamples(level + 1))
                < static_cast<qsizetype>(m_levels[static_cast<std::size_t>(level + 1)].size()))
            ++level;
        if (level < 0) {
            const qint32 v = valueAt(i);
            take({ v, v, v, v, false }, i + 1);
        } else {
            const qsizetype n = tileSamples(level);
            take(m_levels[static_cast<std::size_t>(level)][static_cast<std::size_t>(i / n)], i + n);
        }
    }
    return result;
}

std::size_t DistanceSeries::tileBytes() const
{
    std::size_t tiles = 0;
    for (const auto& level : m_levels)
        tiles += level.size();
    return tiles * sizeof(SampleRun) + m_gaps.size() * sizeof(Gap);
}

} // namespace orvik
