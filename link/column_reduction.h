// One slave's distances reduced to the pixel columns a chart has: the extremes of every column, so that no spike is
// lost, and every unanswered poll kept as a break in the line.
#pragma once

#include "distance_log.h"

#include <vector>

namespace orvik {

// The samples of one column with no gap between them. A gap inside a column starts a second point in that column,
// so no line is drawn across it even within one pixel.
struct ColumnPoint {
    qint32 column;
    qint32 first; // 0.1 mm, in time order: first, then the extremes, then last
    qint32 min;
    qint32 max;
    qint32 last;
    bool afterGap; // the line does not join this point to the one before, in the span or before it
    friend bool operator==(const ColumnPoint&, const ColumnPoint&) = default;
};

// The time span [fromMs, toMs) cut into columns of equal width; a sample at t falls in column
// (t - fromMs) * columns / (toMs - fromMs). Samples outside the span are left out.
class ColumnReducer {
public:
    ColumnReducer(qint64 fromMs, qint64 toMs, int columns);
    // Takes the slave's samples in time order; a live record feeds each new one as it comes.
    void add(const DistanceSample& sample);
    const std::vector<ColumnPoint>& points() const { return m_points; }
    // The first instant of a column, and the column an instant falls in (may lie outside 0..columns-1).
    qint64 columnStartMs(qint64 column) const;
    qint64 columnOf(qint64 msecsSinceEpoch) const;

private:
    qint64 m_fromMs;
    qint64 m_toMs;
    qint64 m_columns;
    std::vector<ColumnPoint> m_points;
};

// Slaves 1 to 16 at indexes 0 to 15, from one pass over the record; a live chart goes on feeding them.
std::vector<ColumnReducer> reduceToColumns(const DistanceLog& log, qint64 fromMs, qint64 toMs, int columns);

} // namespace orvik
