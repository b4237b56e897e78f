// The chart's optional part: the window of distance_chart.h behind the ChartPart interface.
#include "chart_part.h"
#include "distance_chart.h"

#include <QObject>

namespace orvik {

class ChartPartPlugin final : public QObject, public ChartPart {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "io.orvik.Monitor.ChartPart/1")
    Q_INTERFACES(orvik::ChartPart)

public:
    QWidget* showDistanceChart(QWidget* owner, DistanceLog& log) override
    {
        return orvik::showDistanceChart(owner, log);
    }
};

} // namespace orvik

#include "chart_part_plugin.moc"
