// One slave's distances reduced to the pixel columns a chart has: per column the first, lowest, highest and last
// value in time order, so that the columns drawn give the same picture as every sample drawn.
#pragma once

#include "distance_series.h"

#include <optional>
#include <vector>

namespace orvik {

// The time span [fromMs, toMs) cut into columns of equal width; a sample at t falls in column
// floor((t - fromMs) * columns / (toMs - fromMs)), which lies outside 0..columns-1 for t outside the span.
class ColumnSpan {
public:
    ColumnSpan(qint64 fromMs, qint64 toMs, int columns);
    qint64 columnOf(qint64 ms) const;
    qint64 columnStartMs(qint64 column) const;
    qint64 fromMs() const { return m_fromMs; }
    qint64 toMs() const { return m_toMs; }
    int columns() const { return static_cast<int>(m_columns); }

private:
    qint64 m_fromMs;
    qint64 m_toMs;
    qint64 m_columns;
};

// The samples of one column: drawn as a stroke from min to max whatever gaps lie inside the column.
struct ColumnPoint {
    qint64 column;
    qint32 first; // 0.1 mm
    qint32 min;
    qint32 max;
    qint32 last;
    // A poll went unanswered since the point before (or the slave's sample before the span): no line joins them.
    bool afterGap;
    friend bool operator==(const ColumnPoint&, const ColumnPoint&) = default;
};

struct ReducedLine {
    std::vector<ColumnPoint> points;
    // The slave's nearest samples outside the span, each present only when the line runs on to it (no unanswered
    // poll between): the line leaves the plot's edge towards them. Their column lies outside the span.
    std::optional<ColumnPoint> before;
    std::optional<ColumnPoint> after;
};

// Reads on the order of two tiles per column, whatever the span's length.
ReducedLine reduceToColumns(const DistanceSeries& series, const ColumnSpan& span);
// Brings a line reduced earlier over the same span up to date with the samples added since (a live chart): its last
// column and those after it are reduced again, nothing before.
void reduceNewSamples(const DistanceSeries& series, const ColumnSpan& span, ReducedLine& line);

} // namespace orvik
