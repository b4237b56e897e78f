// What the distance chart costs at a week's run at one poll a second (604,800 distances from sixteen slaves): opening
// the window, a full redraw with the plot 1280 px wide, panning the whole week and a zoomed day, a live poll with
// the window open, and the heap the chart holds per distance beyond the record the export already keeps.
#include "distance_chart.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <malloc.h>
#include <qcustomplot.h>

using namespace orvik;

namespace {

constexpr qint64 kWeekPolls = 7 * 24 * 3600;
constexpr qint64 kStartMs = 1'796'000'000'000;

QWidget* g_owner = nullptr;
DistanceLog* g_log = nullptr;
qint64 g_polls = 0;

double heapBytes()
{
    return static_cast<double>(mallinfo2().uordblks);
}

// Slave n sits near n/4 m, drifting slowly, with a little noise and now and then a spike; slave 7 misses one poll
// in 500.
void poll()
{
    const auto slave = static_cast<quint8>(g_polls % 16 + 1);
    const double t = static_cast<double>(g_polls);
    if (slave == 7 && g_polls % 8000 == 7) {
        g_log->markGap(slave);
    } else {
        const double metres = slave * 0.25 + 0.05 * std::sin(t / 20000.0 + slave) + 0.0005 * std::sin(t * 7.3)
            + (g_polls % 97'001 == 0 ? 0.2 : 0.0);
        g_log->add(kStartMs + g_polls * 1000, slave, static_cast<qint32>(std::lround(metres * 10000)));
    }
    ++g_polls;
}

// Opens the chart and widens it until its plot area is 1280 px across.
DistanceChart* openChart()
{
    DistanceChart* chart = showDistanceChart(g_owner, *g_log);
    QCoreApplication::processEvents();
    chart->resize(chart->width() + 1280 - chart->plot()->axisRect()->width(), chart->height());
    QCoreApplication::processEvents();
    chart->showWholeRun();
    chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    return chart;
}

void closeChart(DistanceChart* chart)
{
    delete chart;
    QCoreApplication::processEvents();
}

void widthCounter(benchmark::State& state, DistanceChart* chart)
{
    state.counters["plot_px"] = chart->plot()->axisRect()->width();
    state.counters["distances"] = static_cast<double>(g_log->size());
}

void chartOpen(benchmark::State& state)
{
    for (auto _ : state) {
        DistanceChart* chart = showDistanceChart(g_owner, *g_log);
        chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
        QCoreApplication::processEvents();
        state.PauseTiming();
        closeChart(chart);
        state.ResumeTiming();
    }
}

// The whole week reduced again from the record and drawn: what a double click does.
void chartFullRedraw(benchmark::State& state)
{
    DistanceChart* chart = openChart();
    for (auto _ : state) {
        chart->showWholeRun();
        chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
    widthCounter(state, chart);
    closeChart(chart);
}

// A drag or a wheel step: the time axis moves, the span is reduced again and drawn. range(0): the span shown, in
// hours.
void chartPan(benchmark::State& state)
{
    DistanceChart* chart = openChart();
    QCPAxis* time = chart->plot()->xAxis;
    const double span = static_cast<double>(state.range(0)) * 3600;
    const double middle = double(kStartMs) / 1000 + double(kWeekPolls) / 2;
    time->setRange(middle - span / 2, middle + span / 2);
    double step = span / 100;
    for (auto _ : state) {
        time->moveRange(step);
        step = -step;
        chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
    widthCounter(state, chart);
    closeChart(chart);
}

// One more poll with the window open following live, and the events it brings (the redraw when a pixel changes).
void chartLivePoll(benchmark::State& state)
{
    DistanceChart* chart = openChart();
    const double before = heapBytes();
    for (auto _ : state) {
        poll();
        QCoreApplication::processEvents();
    }
    state.counters["heap_growth_B_per_poll"]
        = (heapBytes() - before) / static_cast<double>(state.iterations()); // the record's own 16 B and the chart's
    closeChart(chart);
}

// What the open chart holds beyond the record: its reducers, its lines and its widgets with their paint buffers.
void chartMemory(benchmark::State& state)
{
    for (auto _ : state) {
        const double before = heapBytes();
        DistanceChart* chart = openChart();
        const double open = heapBytes() - before;
        state.counters["chart_heap_MiB"] = open / 1048576;
        state.counters["chart_B_per_distance"] = open / static_cast<double>(g_log->size());
        state.counters["lines_B_per_distance"]
            = static_cast<double>(chart->heldBytes()) / static_cast<double>(g_log->size());
        closeChart(chart);
    }
}

} // namespace

BENCHMARK(chartOpen)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(chartFullRedraw)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(chartPan)->Unit(benchmark::kMillisecond)->Arg(168)->Arg(24)->Arg(1)->MinTime(1);
BENCHMARK(chartLivePoll)->Unit(benchmark::kMicrosecond)->Iterations(2000)->MeasureProcessCPUTime();
BENCHMARK(chartMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QWidget owner;
    DistanceLog log;
    g_owner = &owner;
    g_log = &log;
    while (g_polls < kWeekPolls)
        poll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
