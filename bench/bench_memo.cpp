// What the debug memo costs a long run: resident bytes per kept line and the cost of one more line when it already
// holds 10, 10,000, 100,000, 605,000 (a week at one poll a second) or 1,000,000. Every line arrives as a user gets it:
// a 9-byte reply delivered by the serial control and closed by the end-of-frame step of the window's own Memo1, on
// the page where it is visible. The memo only grows: each size tops up the one before it, so the timed appends of a
// size add a few hundred lines to it and nothing is taken back.
#include "form_probe.h"

#include <QApplication>
#include <QFile>
#include <benchmark/benchmark.h>

namespace {

const QByteArray kReply = hexBytes("03 03 04 00 00 30 39 0D E1");

TForm1Probe* g_probe = nullptr; // lives in main, inside the application's lifetime
double g_baseKiB = 0; // resident memory with the window up and the memo's first lines drawn
qint64 g_baseLines = 0; // lines in the memo at that point
qint64 g_lines = 0; // lines the memo holds

double residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toDouble();
    return 0;
}

// One reply through the receive step: the receive event, then the end-of-frame step that logs it.
void receiveOne()
{
    g_probe->receiveFrame(kReply);
    ++g_lines;
}

// Grows the memo to lines, serving events now and then as the event loop would between polls.
void topUp(qint64 lines)
{
    while (g_lines < lines) {
        receiveOne();
        if (g_lines % 1000 == 0) QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
}

void report(benchmark::State& state)
{
    const double rss = residentKiB();
    state.counters["lines"] = static_cast<double>(g_lines);
    state.counters["rss_MiB"] = rss / 1024.0;
    state.counters["bytes_per_line"] = (rss - g_baseKiB) * 1024.0 / static_cast<double>(g_lines - g_baseLines);
}

// One more line: the end-of-frame step logs it and the memo lays it out at its width.
void memoAppend(benchmark::State& state)
{
    topUp(state.range(0));
    for (auto _ : state)
        receiveOne();
    report(state);
}

// The same with the repaint the event loop does next, as after each reply on the hardware page.
void memoAppendAndPaint(benchmark::State& state)
{
    topUp(state.range(0));
    QWidget* viewport = g_probe->ui().Memo1->viewport();
    for (auto _ : state) {
        receiveOne();
        viewport->repaint();
    }
    report(state);
}

// Ascending sizes, each size's two series in turn, so that every top-up only adds lines.
void registerAll()
{
    for (qint64 lines : { 10, 10'000, 100'000, 605'000, 1'000'000 }) {
        benchmark::RegisterBenchmark("memoAppend", memoAppend)
            ->Arg(lines)
            ->Iterations(300)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("memoAppendAndPaint", memoAppendAndPaint)
            ->Arg(lines)
            ->Iterations(300)
            ->Unit(benchmark::kMicrosecond);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TForm1Probe probe;
    probe.ui().PageControl1->setActivePageIndex(0); // the hardware page, where the memo is visible
    probe.window().show();
    probe.connectDirectly();
    probe.LastRegister() = 0; // logged and checked, but dispatched nowhere: the memo's cost alone
    QCoreApplication::processEvents();
    g_probe = &probe;
    // The first lines and their repaint load the font, the glyph and layout caches and the backing store, which every
    // later line shares: a cost of the window, not of a kept line.
    topUp(10);
    probe.ui().Memo1->viewport()->repaint();
    QCoreApplication::processEvents();
    g_baseKiB = residentKiB();
    g_baseLines = g_lines;
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
