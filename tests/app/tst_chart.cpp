// The chart's picture against the truth: the reduced lines it paints and every sample drawn, into the same image with
// the same pen, must be equal pixel for pixel, at several zooms and widths, with gaps. And its picture saved as PNG.
#include "chart_lines.h"
#include "context_menu.h"
#include "distance_chart.h"
#include "error_report.h"
#include "save_file.h"

#include <QMenu>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

using namespace orvik;

namespace {

constexpr qint64 kStartMs = 5'000'000; // monotonic: since the machine started
constexpr qint64 kWallOffsetMs = 1'796'000'000'000;
constexpr qint64 kWeekMs = 7 * 24 * 3600'000LL;
constexpr qint32 kUnanswered = std::numeric_limits<qint32>::min();

struct Entry {
    qint64 ms;
    quint8 slave;
    qint32 value; // 0.1 mm, or kUnanswered
};
using Entries = std::vector<Entry>;

// Polls `slaves` in turn every `everyMs` over `spanMs`: a slow drift with noise, a spike now and then, and an
// unanswered poll with the chance gapPerMille (slave `flaky` answers only every other poll).
Entries polls(int slaves, qint64 everyMs, qint64 spanMs, int gapPerMille, int flaky = 0)
{
    QRandomGenerator random(quint32(slaves * 7919 + everyMs));
    Entries entries;
    qint64 n = 0;
    for (qint64 t = kStartMs; t < kStartMs + spanMs; t += everyMs, ++n) {
        const auto slave = static_cast<quint8>(n % slaves + 1);
        const bool silent = (slave == flaky && (n / slaves) % 2 == 1) || random.bounded(1000) < gapPerMille;
        const double drift = 12'000 + 3'000 * std::sin(double(t - kStartMs) / 4e7 + slave) + slave * 400;
        const qint32 spike = random.bounded(20'000) == 0 ? 25'000 : 0;
        entries.push_back({ t, slave, silent ? kUnanswered : qint32(drift) + random.bounded(-40, 40) + spike });
    }
    return entries;
}

DistanceLog record(const Entries& entries)
{
    DistanceLog log;
    for (const Entry& e : entries) {
        const SampleTime at { e.ms, e.ms + kWallOffsetMs };
        if (e.value == kUnanswered)
            log.markGap(at, e.slave);
        else
            log.add(at, e.slave, e.value);
    }
    return log;
}

// The value axis over every answer inside the span.
ChartGeometry geometryFor(const Entries& entries, qint64 fromMs, qint64 toMs, int width)
{
    qint32 low = std::numeric_limits<qint32>::max();
    qint32 high = std::numeric_limits<qint32>::min();
    for (const Entry& e : entries) {
        if (e.value == kUnanswered || e.ms < fromMs || e.ms >= toMs) continue;
        low = std::min(low, e.value);
        high = std::max(high, e.value);
    }
    return { QRect(0, 0, width, 300), ColumnSpan(fromMs, toMs, width), low - 50, high + 50 };
}

QImage blank(const ChartGeometry& g)
{
    QImage image(g.plot.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QPen penFor(int slave)
{
    return QPen(QColor::fromHsv((slave * 37) % 360, 255, 160), 1);
}

// The truth: every answer a point at its column, joined to the slave's answer before it unless a poll went
// unanswered between them; within one pixel column everything is joined, as a column cannot show a break.
QImage everySample(const Entries& entries, const ChartGeometry& g)
{
    QImage image = blank(g);
    QPainter painter(&image);
    // Slave by slave, as the chart paints them, so that where lines cross the same one lies on top.
    for (int slave = 1; slave <= 16; ++slave) {
        painter.setPen(penFor(slave));
        bool any = false;
        bool gap = false;
        QPointF before;
        qint64 beforeColumn = 0;
        for (const Entry& e : entries) {
            if (e.slave != slave) continue;
            if (e.value == kUnanswered) {
                gap = any;
                continue;
            }
            const qint64 column = g.span.columnOf(e.ms);
            const QPointF at = g.at(column, e.value);
            painter.drawPoint(at);
            if (any && (!gap || beforeColumn == column)) painter.drawLine(before, at);
            any = true;
            gap = false;
            before = at;
            beforeColumn = column;
        }
    }
    return image;
}

QImage reduced(const DistanceLog& log, const ChartGeometry& g)
{
    QImage image = blank(g);
    QPainter painter(&image);
    for (int slave = 1; slave <= 16; ++slave) {
        if (const DistanceSeries* series = log.series(static_cast<quint8>(slave))) {
            painter.setPen(penFor(slave));
            paintReducedLine(painter, reduceToColumns(*series, g.span), g);
        }
    }
    return image;
}

qint64 differing(const QImage& a, const QImage& b)
{
    qint64 count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return count;
}

qint64 drawn(const QImage& image)
{
    qint64 count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) != qRgb(255, 255, 255) ? 1 : 0;
    return count;
}

} // namespace

Q_DECLARE_METATYPE(Entries)

class TestChart : public QObject {
    Q_OBJECT

private slots:
    void pictureEqualsEverySample_data();
    void pictureEqualsEverySample();
    void pictureSavedFromTheMenu();
};

void TestChart::pictureEqualsEverySample_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("toMs");
    QTest::addColumn<int>("width");

    const Entries week = polls(1, 2'000, kWeekMs, 2);
    QTest::newRow("a week at 1280 px") << week << kStartMs << kStartMs + kWeekMs << 1280;
    QTest::newRow("an hour inside it, the line running on past both edges")
        << week << kStartMs + 3 * 24 * 3600'000LL << kStartMs + 3 * 24 * 3600'000LL + 3600'000 << 1280;
    QTest::newRow("five minutes: fewer samples than columns")
        << week << kStartMs + 100'000 << kStartMs + 400'000 << 1000;
    QTest::newRow("gaps inside columns") << polls(2, 100, 400'000, 300) << kStartMs << kStartMs + 400'000 << 317;
    QTest::newRow("a slave answering every other poll, a week")
        << polls(4, 16'000, kWeekMs, 0, 3) << kStartMs << kStartMs + kWeekMs << 1280;
    // Slave 2 answers once near slave 1's level, then once at 4 m with an unanswered poll on either side.
    Entries lone = polls(1, 16'000, kWeekMs, 0);
    const qint64 middle = kStartMs + kWeekMs / 2 + 7;
    lone.insert(lone.end(),
        { { kStartMs + 1, 2, 13'000 }, { kStartMs + 2, 2, kUnanswered }, { middle, 2, 40'000 },
            { middle + 1, 2, kUnanswered } });
    std::stable_sort(lone.begin(), lone.end(), [](const Entry& a, const Entry& b) { return a.ms < b.ms; });
    QTest::newRow("a lone 4 m answer in a week") << lone << kStartMs << kStartMs + kWeekMs << 1280;
    QTest::newRow("16 slaves, a week at one poll a second")
        << polls(16, 1'000, kWeekMs, 2) << kStartMs - 3600'000 << kStartMs + kWeekMs + 3600'000 << 1280;
}

void TestChart::pictureEqualsEverySample()
{
    QFETCH(Entries, entries);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, toMs);
    QFETCH(int, width);
    const DistanceLog log = record(entries);
    const ChartGeometry g = geometryFor(entries, fromMs, toMs, width);
    const QImage truth = everySample(entries, g);
    const QImage picture = reduced(log, g);
    const qint64 wrong = differing(truth, picture);
    if (wrong != 0) {
        const QString name = QDir::temp().filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
        truth.save(name + "-truth.png");
        picture.save(name + "-reduced.png");
    }
    QVERIFY2(drawn(truth) > width / 4, "the case draws something");
    QCOMPARE(wrong, 0);
}

void TestChart::pictureSavedFromTheMenu()
{
    QTemporaryDir folder;
    QFile plain(folder.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QStringList failures;
    setMessageSink([&failures](const QString& text) { failures << text; });
    QWidget owner;
    owner.show();
    DistanceLog log = record(polls(3, 1'000, 600'000, 10));
    DistanceChart* chart = showDistanceChart(&owner, log);
    for (const QString& path : { folder.filePath(QStringLiteral("chart.png")), plain.fileName() + "/chart.png" }) {
        QString suggested;
        setSaveFileChooser([&](const QString&, const QString& name) {
            suggested = name;
            return path;
        });
        QAction* save = contextMenuEntry(chart->plot(), QPoint(30, 30), QStringLiteral("保存图片..."));
        QVERIFY(save);
        save->trigger();
        QVERIFY(QRegularExpression(QStringLiteral("^orvik-chart-\\d{8}-\\d{6}\\.png$")).match(suggested).hasMatch());
    }
    setSaveFileChooser({});
    setMessageSink({});
    QImage picture(folder.filePath(QStringLiteral("chart.png")), "PNG");
    QCOMPARE(picture.height(), chart->plot()->height());
    QVERIFY(picture.width() > chart->plot()->width()); // the key of the lines beside the plot
    QCOMPARE(failures.size(), 1); // the second: its folder is a file
    QVERIFY(failures[0].contains(plain.fileName() + "/chart.png"));
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
