#include "chart_lines.h"

#include <QLineF>
#include <QPainter>
#include <array>
#include <cmath>
#include <vector>

namespace orvik {

namespace {

constexpr std::array<QRgb, 6> kColours { 0x000000, 0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7, 0x3D8FC8 };
// A neighbour far outside the plot is drawn from this far out on the line towards it: painting engines keep
// coordinates in fixed point, and a month's span at a zoomed hour lies millions of pixels away.
constexpr double kFarPx = 4096;

QPointF nearPlot(QPointF outside, QPointF inside, const QRect& plot)
{
    const double left = plot.left() - kFarPx;
    const double right = plot.right() + kFarPx;
    const double x = std::clamp(outside.x(), left, right);
    if (x == outside.x()) return outside;
    const double t = (x - inside.x()) / (outside.x() - inside.x());
    return { x, inside.y() + t * (outside.y() - inside.y()) };
}

} // namespace

QPointF ChartGeometry::at(qint64 column, qint32 value) const
{
    const double range = std::max<double>(double(high) - low, 1);
    const double row = std::round((double(high) - value) * (plot.height() - 1) / range);
    return { double(plot.left()) + double(column), plot.top() + row };
}

void paintReducedLine(QPainter& painter, const ReducedLine& line, const ChartGeometry& geometry)
{
    // A thin pen leaves out a line's last pixel: then each column's ends are dotted too. A wider one with square caps
    // covers them, and only a column without a line in or out needs its dot.
    const bool thin = painter.pen().widthF() <= 1;
    std::vector<QLineF> lines;
    std::vector<QPointF> dots;
    lines.reserve(line.points.size() * 2 + 2);
    const ColumnPoint* previous = line.before ? &*line.before : nullptr;
    auto join = [&](const ColumnPoint& from, const ColumnPoint& to) {
        QPointF a = geometry.at(from.column, from.last);
        QPointF b = geometry.at(to.column, to.first);
        a = nearPlot(a, b, geometry.plot);
        b = nearPlot(b, a, geometry.plot);
        lines.emplace_back(a, b);
    };
    for (std::size_t i = 0; i < line.points.size(); ++i) {
        const ColumnPoint& point = line.points[i];
        const bool joined = previous && !point.afterGap;
        if (joined) join(*previous, point);
        const QPointF low = geometry.at(point.column, point.min);
        const QPointF high = geometry.at(point.column, point.max);
        if (low != high) lines.emplace_back(low, high);
        const bool joinedAfter = i + 1 < line.points.size() ? !line.points[i + 1].afterGap : line.after.has_value();
        if (thin) {
            dots.push_back(low);
            if (low != high) dots.push_back(high);
        } else if (low == high && !joined && !joinedAfter) {
            dots.push_back(low);
        }
        previous = &point;
    }
    if (previous && line.after) join(*previous, *line.after);
    painter.drawLines(lines.data(), int(lines.size()));
    if (thin) {
        painter.drawPoints(dots.data(), int(dots.size()));
        return;
    }
    // A lone answer (a loose wire's, a single spike) as a round dot well wider than the line, or it would not be seen.
    const QPen pen = painter.pen();
    QPen dot = pen;
    dot.setWidthF(pen.widthF() * 2.5);
    dot.setCapStyle(Qt::RoundCap);
    painter.setPen(dot);
    painter.drawPoints(dots.data(), int(dots.size()));
    painter.setPen(pen);
}

bool samePicture(const ReducedLine& a, const ReducedLine& b, const ChartGeometry& geometry)
{
    auto row = [&geometry](qint32 value) { return geometry.at(0, value).y(); };
    auto same = [&row](const ColumnPoint& p, const ColumnPoint& q) {
        return p.column == q.column && p.afterGap == q.afterGap && row(p.first) == row(q.first)
            && row(p.min) == row(q.min) && row(p.max) == row(q.max) && row(p.last) == row(q.last);
    };
    auto sameEdge = [&same](const std::optional<ColumnPoint>& p, const std::optional<ColumnPoint>& q) {
        return p.has_value() == q.has_value() && (!p || same(*p, *q));
    };
    return a.points.size() == b.points.size() && sameEdge(a.before, b.before) && sameEdge(a.after, b.after)
        && std::equal(a.points.begin(), a.points.end(), b.points.begin(), same);
}

QColor slaveColour(int index)
{
    return QColor::fromRgb(kColours[static_cast<std::size_t>(index) % kColours.size()]);
}

SlaveMarker slaveMarker(int index)
{
    return index < 6 ? SlaveMarker::None : index < 12 ? SlaveMarker::Square : SlaveMarker::Cross;
}

// A marker on the line's points every spacingPx columns or so, shifted by phasePx so that two lines' markers do not
// sit on one another.
void paintMarkers(QPainter& painter, const ReducedLine& line, const ChartGeometry& geometry, SlaveMarker marker,
    int spacingPx, int phasePx)
{
    if (marker == SlaveMarker::None) return;
    const double r = 3.5 * painter.pen().widthF() / 2 + 1;
    qint64 nextColumn = std::numeric_limits<qint64>::min();
    for (const ColumnPoint& point : line.points) {
        if (point.column < nextColumn) continue;
        const QPointF c = geometry.at(point.column, point.last);
        if (marker == SlaveMarker::Square) {
            painter.drawRect(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r));
        } else {
            painter.drawLine(QLineF(c.x() - r, c.y() - r, c.x() + r, c.y() + r));
            painter.drawLine(QLineF(c.x() - r, c.y() + r, c.x() + r, c.y() - r));
        }
        nextColumn = point.column - (point.column - phasePx) % spacingPx + spacingPx;
    }
}

} // namespace orvik
