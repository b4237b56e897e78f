// The latency plot: its series must be joined by lines, in rate order, on the scale the floor is drawn on. A plot
// that drops its lines or mixes the rates up would show a curve the run never measured.
#include "latency_plot.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace orvik::bench;

namespace {

const char* const kHeader = "condition,baud,replies,median_ms,p99_ms";

QString writeSummary(const QTemporaryDir& dir, const QStringList& rows)
{
    const QString path = dir.filePath("reply_summary.csv");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write((QStringList { kHeader } + rows).join('\n').toUtf8() + '\n');
    return path;
}

// Nearly the colour: antialiasing blends the edge of a 2-pixel line.
bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 60;
}

// True when a pixel of colour lies within two pixels of point.
bool colourAround(const QImage& image, QPointF point, QColor colour)
{
    for (int dx = -2; dx <= 2; ++dx)
        for (int dy = -2; dy <= 2; ++dy)
            if (near(image.pixelColor(qRound(point.x()) + dx, qRound(point.y()) + dy), colour)) return true;
    return false;
}

} // namespace

class TestLatencyPlot : public QObject {
    Q_OBJECT

private slots:
    void rowsAreReadInRateOrder();
    void rowsOfAnotherShapeAreSkipped();
    void medianPointsAreJoined();
    void floorIsDrawnAtTwentyFiveMilliseconds();
    void waitSliceFiguresDoNotStretchTheScale();
};

void TestLatencyPlot::rowsAreReadInRateOrder()
{
    QTemporaryDir dir;
    const PlotSeries series = readSummary(
        writeSummary(dir, { "plain,115200,200,25.3,29.1", "plain,600,200,25.1,28.0", "plain,9600,200,25.9,30.2" }));
    QCOMPARE(series.value("plain").size(), 3);
    QCOMPARE(series.value("plain")[0].baud, 600.0);
    QCOMPARE(series.value("plain")[1].median, 25.9);
    QCOMPARE(series.value("plain")[2].p99, 29.1);
}

void TestLatencyPlot::rowsOfAnotherShapeAreSkipped()
{
    QTemporaryDir dir;
    const PlotSeries series = readSummary(writeSummary(dir, { "plain,600,200,25.1", "plain,1200,200,25.2,28.0" }));
    QCOMPARE(series.value("plain").size(), 1);
    QVERIFY(readSummary(dir.filePath("missing.csv")).isEmpty());
}

void TestLatencyPlot::medianPointsAreJoined()
{
    PlotSeries series;
    series["plain"] = { { 600, 26.0, 28.0 }, { 115200, 26.0, 28.0 } };
    const QImage image = renderLatencyPlot(series, {});
    const PlotScale scale(series);
    // Half way along the log-scaled rate axis, on the median's level, away from both markers.
    QVERIFY(colourAround(image, scale.at(std::sqrt(600.0 * 115200.0), 26.0), kIdleColour));
    QVERIFY(!colourAround(image, scale.at(std::sqrt(600.0 * 115200.0), 23.0), kIdleColour));
}

void TestLatencyPlot::floorIsDrawnAtTwentyFiveMilliseconds()
{
    PlotSeries series;
    series["plain"] = { { 600, 26.0, 28.0 } };
    const QImage image = renderLatencyPlot(series, {});
    const PlotScale scale(series);
    QVERIFY(colourAround(image, scale.at(4800, 25.0), kFloorColour));
    QVERIFY(!colourAround(image, scale.at(4800, 24.0), kFloorColour));
}

void TestLatencyPlot::waitSliceFiguresDoNotStretchTheScale()
{
    PlotSeries series;
    series["plain"] = { { 600, 26.0, 31.0 } };
    series["in-wait"] = { { 600, 101.0, 125.0 } };
    const PlotScale scale(series);
    QCOMPARE(scale.low(), 20.0);
    QCOMPARE(scale.high(), 33.0);
}

QTEST_MAIN(TestLatencyPlot)
#include "tst_latency_plot.moc"
