// Each slave's distance over time, in a window of its own beside the main window: the record of shown distances
// reduced to the plot's pixel columns by the link core, followed live, zoomed and panned on the time axis.
#pragma once

#include "column_reduction.h"
#include "distance_log.h"

#include <QWidget>
#include <array>
#include <optional>
#include <vector>

class QCustomPlot;
class QListWidget;
class QListWidgetItem;
class QMouseEvent;

namespace orvik {

class DistanceChart final : public QWidget {
    Q_OBJECT

public:
    DistanceChart(QWidget* owner, DistanceLog& log);
    ~DistanceChart() override;

    // The whole run since connecting, following each new distance as it comes (what a double click does).
    void showWholeRun();
    bool followsLive() const { return m_following; }
    QCustomPlot* plot() const { return m_plot; }
    QListWidget* legend() const { return m_legend; }
    void savePicture();
    // Bytes of the reduced lines the chart keeps (its reducers and its plot's data), for the benchmark.
    std::size_t heldBytes() const;

private:
    void buildControls();
    QImage picture() const;
    void logChanged();
    void rebuild(qint64 fromMs, qint64 toMs);
    // A slave's line at its live end, in pixel rows: a new distance that leaves it so needs no redraw.
    struct LiveEnd {
        std::size_t points = 0;
        int low = 0;
        int high = 0;
        friend bool operator==(const LiveEnd&, const LiveEnd&) = default;
    };
    LiveEnd liveEnd(int index) const;
    void findEdgeNeighbours();
    void showSlave(int index);
    bool updateLegend(); // whether an entry came or went
    void fitValueAxis();
    void timeAxisMoved();
    void hover(QMouseEvent* event);
    void contextMenu(const QPoint& pos);
    void legendChanged(QListWidgetItem* item);

    DistanceLog& m_log;
    QCustomPlot* m_plot = nullptr;
    QListWidget* m_legend = nullptr;
    std::vector<ColumnReducer> m_reducers;
    // Each slave's last sample before the span and first after it: the line runs on to them past the plot's edges.
    std::array<std::optional<DistanceSample>, 16> m_before;
    std::array<std::optional<DistanceSample>, 16> m_after;
    qint64 m_fromMs = 0;
    qint64 m_toMs = 0;
    int m_columns = 0; // the plot area's width in pixels when the span was reduced
    std::size_t m_fed = 0; // samples of the record already in the reducers
    bool m_following = true;
    bool m_settingRange = false;
    bool m_spanStale = false; // the user moved the time axis: reduce again before drawing
};

// Opens the chart of log as a window of its own beside owner, or brings the one already open to the front.
DistanceChart* showDistanceChart(QWidget* owner, DistanceLog& log);

} // namespace orvik
