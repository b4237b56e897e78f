#include "distance_series.h"

#include <algorithm>

namespace orvik {

int DistanceSeries::tileShift(int level)
{
    return 4 + 2 * level; // kTileSamples is 16, kFanOut 4
}

qsizetype DistanceSeries::tileSamples(int level)
{
    return qsizetype(1) << tileShift(level);
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
            const qsizetype first = from / child;
            tile = below[first];
            for (qsizetype c = 1; c < kFanOut; ++c)
                join(tile, below[first + c], from + c * child);
        }
        m_levels[static_cast<std::size_t>(level)].push_back(tile);
    }
}

void DistanceSeries::markGap(qint64 monotonicMs)
{
    m_gaps.push_back({ monotonicMs, size() });
}

qsizetype DistanceSeries::lowerBound(qint64 monotonicMs, qsizetype from) const
{
    qsizetype low = from;
    qsizetype count = size() - from;
    while (count > 0) {
        const qsizetype half = count / 2;
        if (m_times[low + half] < monotonicMs) {
            low += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return low;
}

qsizetype DistanceSeries::lowerBoundNear(qint64 monotonicMs, qsizetype from, qsizetype to) const
{
    qsizetype step = 1;
    qsizetype low = from;
    while (low + step < to && m_times[low + step] < monotonicMs) {
        low += step;
        step *= 2;
    }
    qsizetype high = std::min(low + step, to);
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (m_times[middle] < monotonicMs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
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

// From `from`, each step takes the largest tile that starts there and ends inside the run, else one sample; whether
// a gap lies inside is one look-up in the gaps, not one per step.
SampleRun DistanceSeries::run(qsizetype from, qsizetype to) const
{
    const qint32 first = valueAt(from);
    SampleRun result { first, first, first, valueAt(to - 1), false };
    const int levels = static_cast<int>(m_levels.size());
    qsizetype i = from;
    while (i < to) {
        // Tile sizes are powers of two (16 << 2k): alignment is a mask, the tile's index a shift.
        int level = -1;
        while (level + 1 < levels) {
            const int shift = tileShift(level + 1);
            if ((i & ((qsizetype(1) << shift) - 1)) != 0 || i + (qsizetype(1) << shift) > to
                || (i >> shift) >= m_levels[std::size_t(level + 1)].size())
                break;
            ++level;
        }
        if (level < 0) {
            const qint32 value = m_values[i++];
            result.min = std::min(result.min, value);
            result.max = std::max(result.max, value);
            continue;
        }
        const int shift = tileShift(level);
        const SampleRun& tile = m_levels[static_cast<std::size_t>(level)][i >> shift];
        result.min = std::min(result.min, tile.min);
        result.max = std::max(result.max, tile.max);
        i += qsizetype(1) << shift;
    }
    const auto gap = std::lower_bound(
        m_gaps.begin(), m_gaps.end(), from + 1, [](const Gap& g, qsizetype index) { return g.before < index; });
    result.broken = gap != m_gaps.end() && gap->before < to;
    return result;
}

std::size_t DistanceSeries::tileBytes() const
{
    std::size_t bytes = m_gaps.size() * sizeof(Gap);
    for (const auto& level : m_levels)
        bytes += level.bytes();
    return bytes;
}

} // namespace orvik
