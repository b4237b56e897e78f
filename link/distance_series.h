// One slave's answered distances in time order, the polls it left unanswered, and a pyramid of tiles over them, so
// that any run of samples is summed up (first, lowest, highest, last) from a few tiles instead of every sample.
#pragma once

#include <QtGlobal>
#include <deque>
#include <memory>
#include <vector>

namespace orvik {

// An array that grows in fixed chunks of 2^Shift: no doubling reserve that would hold twice the memory for a moment,
// and an index is a shift and a mask (a deque's is a division), which the reduction does a few dozen times a column.
template <class T, int Shift = 12> class ChunkedArray {
public:
    static constexpr int kShift = Shift;
    static constexpr qsizetype kChunk = qsizetype(1) << kShift;
    void push_back(const T& value)
    {
        if (m_size % kChunk == 0) m_chunks.push_back(std::make_unique<T[]>(std::size_t(kChunk)));
        m_chunks.back()[std::size_t(m_size % kChunk)] = value;
        ++m_size;
    }
    const T& operator[](qsizetype i) const { return m_chunks[std::size_t(i >> kShift)][std::size_t(i & (kChunk - 1))]; }
    qsizetype size() const { return m_size; }
    std::size_t bytes() const { return m_chunks.size() * std::size_t(kChunk) * sizeof(T); }

private:
    std::vector<std::unique_ptr<T[]>> m_chunks;
    qsizetype m_size = 0;
};

// A run of consecutive samples summed up: the first and last in time order, the extremes, and whether the slave left
// a poll unanswered between the run's first and last sample.
struct SampleRun {
    qint32 first; // 0.1 mm
    qint32 min;
    qint32 max;
    qint32 last;
    bool broken;
    friend bool operator==(const SampleRun&, const SampleRun&) = default;
};

class DistanceSeries {
public:
    // Level 0 tiles hold this many samples; each level up holds kFanOut tiles of the one below.
    static constexpr qsizetype kTileSamples = 16;
    static constexpr qsizetype kFanOut = 4;
    static_assert(kTileSamples == 16 && kFanOut == 4, "tileShift() counts in powers of two");

    // Times are monotonic milliseconds and never go back.
    void add(qint64 monotonicMs, qint32 value);
    void markGap(qint64 monotonicMs);

    qsizetype size() const { return m_times.size(); }
    qint64 timeAt(qsizetype i) const { return m_times[i]; }
    qint32 valueAt(qsizetype i) const { return m_values[i]; }
    // The first sample at or after monotonicMs (size() when none), looking from sample `from` on.
    qsizetype lowerBound(qint64 monotonicMs, qsizetype from = 0) const;
    // Whether a poll went unanswered between sample i - 1 and sample i; before the first sample, whether any did.
    bool gapBefore(qsizetype i) const;
    // The first sample at or after monotonicMs among samples [from, to), found by galloping from `from`: a column's
    // end is looked for near its start.
    qsizetype lowerBoundNear(qint64 monotonicMs, qsizetype from, qsizetype to) const;
    // Samples [from, to), from < to: a handful of tiles and at most two partial tiles' samples at the ends.
    SampleRun run(qsizetype from, qsizetype to) const;

    // The unanswered polls: when, and the index the slave's next sample has (or will have).
    struct Gap {
        qint64 monotonicMs;
        qsizetype before;
    };
    const std::deque<Gap>& gaps() const { return m_gaps; }
    // Tiles of complete runs only: tile t of level k covers samples [t * n, (t + 1) * n), n = 16 * 4^k.
    // Small chunks: the upper levels hold few tiles.
    using Tiles = ChunkedArray<SampleRun, 6>;
    const std::vector<Tiles>& tiles() const { return m_levels; }
    static qsizetype tileSamples(int level);
    static int tileShift(int level);
    // Bytes the tiles take beyond the samples themselves.
    std::size_t tileBytes() const;

private:
    SampleRun samplesRun(qsizetype from, qsizetype to) const;
    void join(SampleRun& into, const SampleRun& next, qsizetype nextFirst) const;

    // Two arrays, not an array of pairs: 12 bytes a sample, with no padding.
    ChunkedArray<qint64> m_times;
    ChunkedArray<qint32> m_values;
    std::deque<Gap> m_gaps;
    std::vector<Tiles> m_levels;
};

} // namespace orvik
