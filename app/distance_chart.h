// Each slave's distance over time, in a window of its own beside the main window: every slave's samples reduced to
// the plot's device pixel columns by the link core, followed live (the whole run or a rolling window), zoomed and
// panned on the time axis with the mouse or the keys.
#pragma once

#include "column_reduction.h"
#include "distance_log.h"

#include <QWidget>
#include <array>

class QComboBox;
class QCustomPlot;
class QListWidget;
class QListWidgetItem;
class QMouseEvent;

namespace orvik {

struct ChartGeometry;
class SlaveLines;

class DistanceChart final : public QWidget {
    Q_OBJECT

public:
    DistanceChart(QWidget* owner, DistanceLog& log);
    ~DistanceChart() override;

    // Home: the whole run, or the last stretch the window's choice keeps, following each new distance as it comes.
    void showLive();
    // A span of the record's own (monotonic) time; stops following.
    void showSpan(qint64 fromMs, qint64 toMs);
    bool followsLive() const { return m_following; }
    const ColumnSpan& span() const { return m_span; }
    QCustomPlot* plot() const { return m_plot; }
    QListWidget* legend() const { return m_legend; }
    void savePicture();
    // Bytes of the reduced lines the chart keeps, for the benchmark.
    std::size_t heldBytes() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class SlaveLines;
    void buildControls();
    QImage picture() const;
    void logChanged();
    void reduce(qint64 fromMs, qint64 toMs);
    bool fitValueAxis(); // whether the range changed
    ChartGeometry geometry() const;
    void zoom(double factor);
    void pan(double fraction);
    bool updateLegend(); // whether an entry came or went
    void timeAxisMoved();
    void hover(QMouseEvent* event);
    void contextMenu(const QPoint& pos);
    void legendChanged(QListWidgetItem* item);

    DistanceLog& m_log;
    QCustomPlot* m_plot = nullptr;
    QListWidget* m_legend = nullptr;
    QComboBox* m_liveSpan = nullptr;
    SlaveLines* m_lines = nullptr;
    std::array<ReducedLine, 16> m_reduced;
    std::array<bool, 16> m_shown {};
    std::array<std::size_t, 16> m_entries {}; // each slave's samples and gaps when its line was reduced
    ColumnSpan m_span { 0, 1, 1 };
    qint32 m_low = 0; // the value axis, 0.1 mm
    qint32 m_high = 1;
    qsizetype m_fed = 0; // entries of the record already reduced
    bool m_following = true;
    bool m_settingRange = false;
    bool m_spanStale = false; // the user moved the time axis: reduce again before drawing
};

// Opens the chart of log as a window of its own beside owner, or brings the one already open to the front.
DistanceChart* showDistanceChart(QWidget* owner, DistanceLog& log);

} // namespace orvik
