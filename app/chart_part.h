// What the chart's optional part ("orvik-chart", loaded the first time the chart opens) offers the monitor, so that a
// run that never opens the chart never loads the plotting library or Qt's print support. Only plain virtuals and
// Qt's own classes cross between the program and the part.
#pragma once

#include <QtPlugin>

class QWidget;

namespace orvik {

class DistanceLog;

class ChartPart {
public:
    virtual ~ChartPart() = default;
    // Opens the chart of log as a window of its own beside owner, or brings the one already open to the front. The
    // window is owner's child, and log must outlive it.
    virtual QWidget* showDistanceChart(QWidget* owner, DistanceLog& log) = 0;
};

} // namespace orvik

Q_DECLARE_INTERFACE(orvik::ChartPart, "io.orvik.Monitor.ChartPart/1")
