#include "latency_plot.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <algorithm>
#include <cmath>

namespace orvik::bench {

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 600;
const QRectF kArea(80, 60, 660, 460); // the plotting area; the legend goes to its right
constexpr double kLowBaud = 600;
constexpr double kHighBaud = 115200;
constexpr double kFloorMs = 25;
constexpr double kMedianGoalMs = 27;
constexpr double kP99GoalMs = 30;

// The conditions drawn; the wait-slice figures (about 100 ms) would squash the rest.
const QStringList kPlotted { "platform", "plain", "busy-core" };

} // namespace

PlotSeries readSummary(const QString& path)
{
    PlotSeries series;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return series;
    QTextStream in(&file);
    const QStringList header = in.readLine().split(QLatin1Char(','));
    const auto column = [&](const char* name) { return header.indexOf(QString::fromLatin1(name)); };
    const int cond = column("condition"), baud = column("baud"), median = column("median_ms"), p99 = column("p99_ms");
    while (!in.atEnd()) {
        const QStringList cells = in.readLine().split(QLatin1Char(','));
        if (cells.size() != header.size()) continue;
        series[cells[cond]].append({ cells[baud].toDouble(), cells[median].toDouble(), cells[p99].toDouble() });
    }
    for (QList<PlotPoint>& points : series)
        std::sort(points.begin(), points.end(), [](const PlotPoint& a, const PlotPoint& b) { return a.baud < b.baud; });
    return series;
}

PlotScale::PlotScale(const PlotSeries& series)
    : m_low(kFloorMs - 5)
    , m_high(kP99GoalMs)
{
    for (const QString& condition : kPlotted)
        for (const PlotPoint& pt : series.value(condition))
            m_high = std::max(m_high, pt.p99);
    m_high = std::ceil(m_high + 2);
}

QPointF PlotScale::at(double baud, double ms) const
{
    const double x = std::log(baud / kLowBaud) / std::log(kHighBaud / kLowBaud);
    const double y = (ms - m_low) / (m_high - m_low);
    return { kArea.left() + x * kArea.width(), kArea.bottom() - y * kArea.height() };
}

namespace {

void drawAxes(QPainter& p, const PlotScale& plot)
{
    p.setPen(QPen(QColor(225, 225, 225), 1));
    const double step = plot.high() - plot.low() > 30 ? 5 : 1;
    for (double ms = std::ceil(plot.low()); ms <= plot.high(); ms += step) {
        p.drawLine(plot.at(kLowBaud, ms), plot.at(kHighBaud, ms));
        p.setPen(Qt::black);
        p.drawText(
            QRectF(kArea.left() - 50, plot.at(kLowBaud, ms).y() - 8, 42, 16), Qt::AlignRight, QString::number(ms));
        p.setPen(QPen(QColor(225, 225, 225), 1));
    }
    for (int baud : { 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 }) {
        const QPointF bottom = plot.at(baud, plot.low());
        p.drawLine(bottom, plot.at(baud, plot.high()));
        p.setPen(Qt::black);
        p.drawText(QRectF(bottom.x() - 30, bottom.y() + 6, 60, 16), Qt::AlignHCenter, QString::number(baud));
        p.setPen(QPen(QColor(225, 225, 225), 1));
    }
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(kArea);
    p.drawText(QRectF(kArea.left(), kArea.bottom() + 28, kArea.width(), 18), Qt::AlignHCenter, "baud rate (log scale)");
    p.save();
    p.translate(22, kArea.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-150, -10, 300, 20), Qt::AlignHCenter, "last reply byte -> distance shown (ms)");
    p.restore();
}

void drawLevel(QPainter& p, const PlotScale& plot, double ms, const QPen& pen)
{
    p.setPen(pen);
    p.drawLine(plot.at(kLowBaud, ms), plot.at(kHighBaud, ms));
}

void drawSeries(QPainter& p, const PlotScale& plot, const QList<PlotPoint>& points, bool p99, const QColor& colour)
{
    QPainterPath path;
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QPointF at = plot.at(points[i].baud, p99 ? points[i].p99 : points[i].median);
        i == 0 ? path.moveTo(at) : path.lineTo(at);
    }
    p.setPen(QPen(colour, 2, p99 ? Qt::DashLine : Qt::SolidLine));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(QPen(colour, 2));
    p.setBrush(p99 ? QBrush(Qt::white) : QBrush(colour));
    for (const PlotPoint& pt : points)
        p.drawEllipse(plot.at(pt.baud, p99 ? pt.p99 : pt.median), 4, 4);
}

void drawLegendRow(QPainter& p, int row, const QPen& pen, bool marker, bool hollow, const QString& text)
{
    const double y = kArea.top() + 12 + row * 24;
    const double x = kArea.right() + 20;
    p.setPen(pen);
    p.drawLine(QPointF(x, y), QPointF(x + 36, y));
    if (marker) {
        p.setPen(QPen(pen.color(), 2));
        p.setBrush(hollow ? QBrush(Qt::white) : QBrush(pen.color()));
        p.drawEllipse(QPointF(x + 18, y), 4, 4);
    }
    p.setPen(Qt::black);
    p.drawText(QRectF(x + 44, y - 9, 200, 18), Qt::AlignLeft | Qt::AlignVCenter, text);
}

} // namespace

QImage renderLatencyPlot(const PlotSeries& series, const QString& note)
{
    const PlotScale plot(series);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    drawAxes(p, plot);
    const QPen floorPen(kFloorColour, 2);
    const QPen medianGoal(QColor(0, 150, 0), 1.5, Qt::DotLine);
    const QPen p99Goal(QColor(230, 130, 0), 1.5, Qt::DotLine);
    drawLevel(p, plot, kFloorMs, floorPen);
    drawLevel(p, plot, kMedianGoalMs, medianGoal);
    drawLevel(p, plot, kP99GoalMs, p99Goal);
    const QColor idle = kIdleColour, busy(200, 40, 40), platform(150, 150, 150);
    drawSeries(p, plot, series.value("platform"), false, platform);
    drawSeries(p, plot, series.value("platform"), true, platform);
    drawSeries(p, plot, series.value("plain"), false, idle);
    drawSeries(p, plot, series.value("plain"), true, idle);
    drawSeries(p, plot, series.value("busy-core"), false, busy);
    drawSeries(p, plot, series.value("busy-core"), true, busy);

    drawLegendRow(p, 0, QPen(idle, 2), true, false, "median, idle window");
    drawLegendRow(p, 1, QPen(idle, 2, Qt::DashLine), true, true, "p99, idle window");
    drawLegendRow(p, 2, QPen(busy, 2), true, false, "median, other core busy");
    drawLegendRow(p, 3, QPen(busy, 2, Qt::DashLine), true, true, "p99, other core busy");
    drawLegendRow(p, 4, QPen(platform, 2), true, false, "median, bare event loop");
    drawLegendRow(p, 5, QPen(platform, 2, Qt::DashLine), true, true, "p99, bare event loop");
    drawLegendRow(p, 6, floorPen, false, false, "floor: 25 ms of silence");
    drawLegendRow(p, 7, medianGoal, false, false, "goal for the median (27 ms)");
    drawLegendRow(p, 8, p99Goal, false, false, "goal for p99 (30 ms)");

    QFont title = p.font();
    title.setPointSize(12);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRectF(0, 12, kWidth, 24), Qt::AlignHCenter,
        "Reply to screen over a pseudo-terminal, bytes paced at the line speed");
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    if (!note.isEmpty()) p.drawText(QRectF(0, 36, kWidth, 18), Qt::AlignHCenter, note);
    p.end();
    return image;
}

} // namespace orvik::bench
