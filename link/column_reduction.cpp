#include "column_reduction.h"

#include <algorithm>

namespace orvik {

ColumnSpan::ColumnSpan(qint64 fromMs, qint64 toMs, int columns)
    : m_fromMs(fromMs)
    , m_toMs(std::max(toMs, fromMs + 1))
    , m_columns(std::max(columns, 1))
{
}

qint64 ColumnSpan::columnOf(qint64 ms) const
{
    const qint64 scaled = (ms - m_fromMs) * m_columns;
    const qint64 width = m_toMs - m_fromMs;
    // Rounds towards minus infinity, so an instant just before the span is column -1, not 0.
    return scaled >= 0 ? scaled / width : -((-scaled + width - 1) / width);
}

qint64 ColumnSpan::columnStartMs(qint64 column) const
{
    const qint64 scaled = column * (m_toMs - m_fromMs);
    // The first instant t with columnOf(t) == column: ceil(scaled / columns).
    return m_fromMs + (scaled >= 0 ? (scaled + m_columns - 1) / m_columns : -(-scaled / m_columns));
}

namespace {

ColumnPoint single(const DistanceSeries& series, const ColumnSpan& span, qsizetype i, bool afterGap)
{
    const qint32 v = series.valueAt(i);
    return { span.columnOf(series.timeAt(i)), v, v, v, v, afterGap };
}

// The columns of samples [from, end) after the line's points; the first of them breaks from what comes before it
// when firstAfterGap is set. Then the slave's first sample after the span, when the line runs on to it.
void appendColumns(const DistanceSeries& series, const ColumnSpan& span, qsizetype from, qsizetype end,
    bool firstAfterGap, ReducedLine& line)
{
    for (qsizetype i = from; i < end;) {
        const qint64 column = span.columnOf(series.timeAt(i));
        const qint64 nextStart = span.columnStartMs(column + 1);
        qsizetype next = i + 1;
        if (next < end && series.timeAt(next) < nextStart) next = series.lowerBoundNear(nextStart, next, end);
        const SampleRun run = series.run(i, next);
        const bool afterGap = i == from ? firstAfterGap : series.gapBefore(i);
        line.points.push_back({ column, run.first, run.min, run.max, run.last, afterGap });
        i = next;
    }
    line.after.reset();
    if (end < series.size() && end > 0 && !series.gapBefore(end)) line.after = single(series, span, end, false);
}

} // namespace

ReducedLine reduceToColumns(const DistanceSeries& series, const ColumnSpan& span)
{
    ReducedLine line;
    const qsizetype start = series.lowerBound(span.fromMs());
    const qsizetype end = series.lowerBound(span.toMs(), start);
    const bool joinsBefore = start > 0 && start < series.size() && !series.gapBefore(start);
    if (joinsBefore) line.before = single(series, span, start - 1, true);
    appendColumns(series, span, start, end, !joinsBefore, line);
    return line;
}

void reduceNewSamples(const DistanceSeries& series, const ColumnSpan& span, ReducedLine& line)
{
    if (line.points.empty()) {
        line = reduceToColumns(series, span);
        return;
    }
    // New samples come later than every sample reduced: only the last column can change, and columns after it come.
    const ColumnPoint last = line.points.back();
    line.points.pop_back();
    const qsizetype from = series.lowerBound(span.columnStartMs(last.column));
    appendColumns(series, span, from, series.lowerBound(span.toMs(), from), last.afterGap, line);
}

} // namespace orvik
