// Draws the chart of a week for docs/screenshots: four slaves polled in turn at one poll a second, slave 3 answering
// only every other poll (a loose wire), and slave 2 answering once at 4 m between two unanswered polls.
// Usage: chart_shot OUT.png [SECONDS]: the whole week, or SECONDS around the 4 m answer.
#include "distance_chart.h"

#include <QApplication>
#include <cmath>
#include <qcustomplot.h>

using namespace orvik;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) return 2;
    constexpr qint64 kStartMs = 3'600'000;
    constexpr qint64 kWallMs = 1'796'774'400'000; // 2026-12-09 00:00 UTC
    constexpr qint64 kPolls = 7 * 24 * 3600;
    constexpr qint64 kSpike = kPolls / 2 + 1; // a poll of slave 2
    DistanceLog log;
    for (qint64 n = 0; n < kPolls; ++n) {
        const auto slave = static_cast<quint8>(n % 4 + 1);
        const SampleTime at { kStartMs + n * 1000, kWallMs + n * 1000 };
        const double t = double(n);
        const bool loose = slave == 3 && (n / 4) % 2 == 1;
        const bool aroundSpike = slave == 2 && std::abs(n - kSpike) <= 8 && n != kSpike;
        if (loose || aroundSpike) {
            log.markGap(at, slave);
            continue;
        }
        double metres = 1.0 + slave * 0.2 + 0.08 * std::sin(t / 40000.0 + slave) + 0.004 * std::sin(t * 1.7 + slave);
        if (n == kSpike) metres = 4.0;
        log.add(at, slave, qint32(std::lround(metres * 10000)));
    }
    QWidget owner;
    DistanceChart* chart = showDistanceChart(&owner, log);
    QCoreApplication::processEvents();
    chart->resize(chart->width() + 1280 - chart->plot()->axisRect()->width(), 640);
    QCoreApplication::processEvents();
    if (argc == 3) {
        const qint64 half = QByteArray(argv[2]).toLongLong() * 500;
        chart->showSpan(kStartMs + kSpike * 1000 - half, kStartMs + kSpike * 1000 + half);
    } else {
        chart->showSpan(log.firstMs(), log.lastMs() + 1);
    }
    chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    QCoreApplication::processEvents();
    return chart->grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
