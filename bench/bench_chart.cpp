// What the distance chart costs at a week and at a month of one poll a second (604,800 and 2,592,000 distances from
// sixteen slaves), the view fixed to the data's own span: opening the window, a full redraw with the plot 1280 px
// wide, panning at the whole span, a day and an hour, a live poll with the window open, and the bytes per distance
// the record keeps and what its pyramid and the chart add to them.
#include "chart_lines.h"
#include "distance_chart.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>
#include <malloc.h>
#include <qcustomplot.h>

using namespace orvik;

namespace {

constexpr qint64 kDayPolls = 24 * 3600;
constexpr qint64 kStartMs = 3'600'000; // monotonic: an hour after the machine started
constexpr qint64 kWallOffsetMs = 1'796'000'000'000;

struct Run {
    DistanceLog log;
    qint64 polls = 0;
    double heapBytes = 0; // the record's own heap
};
std::array<Run, 2> g_runs; // a week, a month
QWidget* g_owner = nullptr;

double heapBytes()
{
    return static_cast<double>(mallinfo2().uordblks);
}

// Slave n sits near n/4 m, drifting slowly, with a little noise and now and then a spike; slave 7 misses one poll
// in 500.
void poll(Run& run)
{
    const qint64 n = run.polls++;
    const auto slave = static_cast<quint8>(n % 16 + 1);
    const SampleTime at { kStartMs + n * 1000, kWallOffsetMs + kStartMs + n * 1000 };
    if (slave == 7 && n % 8000 == 7) {
        run.log.markGap(at, slave);
        return;
    }
    const double t = static_cast<double>(n);
    const double metres = slave * 0.25 + 0.05 * std::sin(t / 20000.0 + slave) + 0.0005 * std::sin(t * 7.3)
        + (n % 97'001 == 0 ? 0.2 : 0.0);
    run.log.add(at, slave, static_cast<qint32>(std::lround(metres * 10000)));
}

Run& runOf(const benchmark::State& state)
{
    return g_runs[static_cast<std::size_t>(state.range(0))];
}

// Opens the chart, widens it until its plot area is 1280 px across, and shows the data's own span.
DistanceChart* openChart(Run& run)
{
    DistanceChart* chart = showDistanceChart(g_owner, run.log);
    QCoreApplication::processEvents();
    chart->resize(chart->width() + 1280 - chart->plot()->axisRect()->width(), chart->height());
    QCoreApplication::processEvents();
    chart->showSpan(run.log.firstMs(), run.log.lastMs() + 1);
    chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    return chart;
}

void closeChart(DistanceChart* chart)
{
    delete chart;
    QCoreApplication::processEvents();
}

void counters(benchmark::State& state, const DistanceChart* chart, const Run& run)
{
    state.counters["plot_columns"] = chart->span().columns();
    state.counters["distances"] = static_cast<double>(run.log.size());
}

void chartOpen(benchmark::State& state)
{
    Run& run = runOf(state);
    for (auto _ : state) {
        DistanceChart* chart = showDistanceChart(g_owner, run.log);
        chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
        QCoreApplication::processEvents();
        state.PauseTiming();
        closeChart(chart);
        state.ResumeTiming();
    }
}

// The whole span reduced again from the pyramid and drawn: what Home or a double click does.
void chartFullRedraw(benchmark::State& state)
{
    Run& run = runOf(state);
    DistanceChart* chart = openChart(run);
    for (auto _ : state) {
        chart->showSpan(run.log.firstMs(), run.log.lastMs() + 1);
        chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
    counters(state, chart, run);
    closeChart(chart);
}

// A drag or a wheel step: the time axis moves, the span is reduced again and drawn. range(1): the span shown, in
// hours; 0 is the whole run.
void chartPan(benchmark::State& state)
{
    Run& run = runOf(state);
    DistanceChart* chart = openChart(run);
    QCPAxis* time = chart->plot()->xAxis;
    const double whole = double(run.log.lastMs() - run.log.firstMs()) / 1000;
    const double span = state.range(1) > 0 ? static_cast<double>(state.range(1)) * 3600 : whole;
    const double middle = double(run.log.firstMs()) / 1000 + whole / 2;
    time->setRange(middle - span / 2, middle + span / 2);
    double step = span / 100;
    for (auto _ : state) {
        time->moveRange(step);
        step = -step;
        chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
    counters(state, chart, run);
    closeChart(chart);
}

// One more poll with the window open following live, and the events it brings (the redraw when a pixel changes).
void chartLivePoll(benchmark::State& state)
{
    Run& run = runOf(state);
    DistanceChart* chart = openChart(run);
    chart->showLive();
    chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    for (auto _ : state) {
        poll(run);
        QCoreApplication::processEvents();
    }
    closeChart(chart);
}

// The record's heap per distance (the samples, the order of rows, the clock's steps and the pyramid), the pyramid's
// share of it, and what the open chart holds beyond it.
void chartMemory(benchmark::State& state)
{
    Run& run = runOf(state);
    for (auto _ : state) {
        const double before = heapBytes();
        DistanceChart* chart = openChart(run);
        const double open = heapBytes() - before;
        const auto distances = static_cast<double>(run.log.size());
        state.counters["record_B_per_distance"] = run.heapBytes / distances;
        state.counters["pyramid_B_per_distance"] = static_cast<double>(run.log.pyramidBytes()) / distances;
        state.counters["chart_heap_MiB"] = open / 1048576;
        state.counters["lines_B_per_distance"] = static_cast<double>(chart->heldBytes()) / distances;
        closeChart(chart);
    }
}

// The two halves of a redraw apart: reducing every slave's line over the whole run to 1280 columns, and painting the
// sixteen reduced lines into an image with the chart's pens, antialiased (range(1) 1) or not.
void chartReduceOnly(benchmark::State& state)
{
    Run& run = runOf(state);
    const ColumnSpan span(run.log.firstMs(), run.log.lastMs() + 1, 1280);
    for (auto _ : state) {
        for (int slave = 1; slave <= 16; ++slave) {
            ReducedLine line = reduceToColumns(*run.log.series(static_cast<quint8>(slave)), span);
            benchmark::DoNotOptimize(line.points.data());
        }
    }
}

void chartPaintOnly(benchmark::State& state)
{
    Run& run = runOf(state);
    const ChartGeometry geometry { QRect(0, 0, 1280, 560), ColumnSpan(run.log.firstMs(), run.log.lastMs() + 1, 1280), 0,
        45'000 };
    std::vector<ReducedLine> lines;
    for (int slave = 1; slave <= 16; ++slave)
        lines.push_back(reduceToColumns(*run.log.series(static_cast<quint8>(slave)), geometry.span));
    QImage image(geometry.plot.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, state.range(1) != 0);
        for (int i = 0; i < 16; ++i) {
            painter.setPen(QPen(slaveColour(i), 2));
            paintReducedLine(painter, lines[static_cast<std::size_t>(i)], geometry);
        }
    }
}

void weekAndMonth(benchmark::internal::Benchmark* b)
{
    b->ArgNames({ "month" })->Arg(0)->Arg(1);
}

void spans(benchmark::internal::Benchmark* b)
{
    b->ArgNames({ "month", "hours" });
    for (int month : { 0, 1 })
        for (int hours : { 0, 24, 1 })
            b->Args({ month, hours });
}

} // namespace

BENCHMARK(chartOpen)->Apply(weekAndMonth)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(chartFullRedraw)->Apply(weekAndMonth)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(chartPan)->Apply(spans)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(chartReduceOnly)->Apply(weekAndMonth)->Unit(benchmark::kMillisecond);
BENCHMARK(chartPaintOnly)
    ->ArgNames({ "month", "antialiased" })
    ->Args({ 1, 1 })
    ->Args({ 1, 0 })
    ->Unit(benchmark::kMillisecond);
BENCHMARK(chartLivePoll)->Apply(weekAndMonth)->Unit(benchmark::kMicrosecond)->Iterations(2000)->MeasureProcessCPUTime();
BENCHMARK(chartMemory)->Apply(weekAndMonth)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QWidget owner;
    g_owner = &owner;
    for (auto [run, days] : { std::pair { &g_runs[0], 7 }, std::pair { &g_runs[1], 30 } }) {
        const double before = heapBytes();
        while (run->polls < days * kDayPolls)
            poll(*run);
        run->heapBytes = heapBytes() - before;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
