// bench_plot SUMMARY.csv OUT.png [NOTE]: reply-to-screen latency against the baud rate, median and p99 of the idle
// window, of the window with a core busy and of a bare event loop doing the least the platform allows, beside the
// 25 ms end-of-frame floor and the goals.
#include "latency_plot.h"

#include <QGuiApplication>
#include <cstdio>

using namespace orvik::bench;

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) qputenv("QT_QPA_FONTDIR", "/usr/share/fonts");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_plot SUMMARY.csv OUT.png [NOTE]\n");
        return 2;
    }
    const PlotSeries series = readSummary(args[1]);
    if (!series.contains("plain")) {
        std::fprintf(stderr, "bench_plot: no rows of the idle window in %s\n", qPrintable(args[1]));
        return 1;
    }
    return renderLatencyPlot(series, args.value(3)).save(args[2]) ? 0 : 1;
}
