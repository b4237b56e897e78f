// The plot of reply-to-screen latency against the baud rate, drawn from the benchmark's CSV summary with QPainter.
#pragma once

#include <QImage>
#include <QList>
#include <QMap>
#include <QPointF>
#include <QString>

namespace orvik::bench {

struct PlotPoint {
    double baud = 0;
    double median = 0;
    double p99 = 0;
};
using PlotSeries = QMap<QString, QList<PlotPoint>>; // by condition, in rising baud order

// The rows of reply_summary.csv by condition; rows that do not match the header are skipped. Empty when unreadable.
PlotSeries readSummary(const QString& path);

// Maps a rate and a latency to the image; the latency axis is scaled to the series it is given.
class PlotScale {
public:
    explicit PlotScale(const PlotSeries& series);
    QPointF at(double baud, double ms) const;
    double low() const { return m_low; }
    double high() const { return m_high; }

private:
    double m_low;
    double m_high;
};

// Median and p99 of the idle window, the window with a core busy and the bare event loop, beside the 25 ms floor and
// the goals; note goes under the title.
QImage renderLatencyPlot(const PlotSeries& series, const QString& note);

inline const QColor kIdleColour(30, 90, 200);
inline const QColor kFloorColour(90, 90, 90);

} // namespace orvik::bench
