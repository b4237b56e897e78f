// The pyramid of one slave's samples: every tile, and every run summed up from tiles, against a plain pass over the
// samples, for random values with random unanswered polls; and a live line brought up to date as it grows against
// the same span reduced afresh. (What the reduced columns draw is checked against every sample in tst_chart.)
#include "column_reduction.h"
#include "distance_series.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace orvik;

namespace {

struct Plain {
    std::vector<qint32> values;
    std::vector<bool> gapBefore; // a poll went unanswered between sample i - 1 and sample i

    SampleRun run(std::size_t from, std::size_t to) const
    {
        SampleRun r { values[from], values[from], values[from], values[to - 1], false };
        for (std::size_t i = from; i < to; ++i) {
            r.min = std::min(r.min, values[i]);
            r.max = std::max(r.max, values[i]);
            if (i > from && gapBefore[i]) r.broken = true;
        }
        return r;
    }
};

QString text(const SampleRun& r)
{
    return QStringLiteral("%1 %2..%3 %4%5").arg(r.first).arg(r.min).arg(r.max).arg(r.last).arg(r.broken ? " |" : "");
}

} // namespace

class TestLinkColumns : public QObject {
    Q_OBJECT

private slots:
    void tilesAgainstEverySample_data();
    void tilesAgainstEverySample();
};

void TestLinkColumns::tilesAgainstEverySample_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<int>("gapPerMille"); // chance of an unanswered poll before each sample
    QTest::newRow("no gaps, not a whole top tile") << 20'000 << 0;
    QTest::newRow("a few gaps") << 20'000 << 5;
    QTest::newRow("every other poll unanswered") << 5'000 << 500;
    QTest::newRow("shorter than a tile") << 11 << 300;
}

void TestLinkColumns::tilesAgainstEverySample()
{
    QFETCH(int, samples);
    QFETCH(int, gapPerMille);
    QRandomGenerator random(quint32(samples + gapPerMille));
    DistanceSeries series;
    Plain plain;
    qint64 ms = 0;
    const ColumnSpan span(samples / 5, samples * 2, 97);
    ReducedLine live;
    for (int i = 0; i < samples; ++i) {
        bool gap = false;
        while (random.bounded(1000) < gapPerMille) { // sometimes two in a row
            series.markGap(ms++);
            gap = true;
        }
        const qint32 value
            = random.bounded(100) == 0 ? random.bounded(-90'000, 90'000) : random.bounded(12'000, 12'100);
        series.add(ms++, value);
        plain.values.push_back(value);
        plain.gapBefore.push_back(gap);
        if (random.bounded(samples) < 60) {
            reduceNewSamples(series, span, live);
            const ReducedLine fresh = reduceToColumns(series, span);
            QVERIFY(live.points == fresh.points && live.before == fresh.before && live.after == fresh.after);
        }
    }
    for (std::size_t level = 0; level < series.tiles().size(); ++level) {
        const auto n = static_cast<std::size_t>(DistanceSeries::tileSamples(int(level)));
        const auto& tiles = series.tiles()[level];
        QCOMPARE(std::size_t(tiles.size()), plain.values.size() / n);
        for (std::size_t t = 0; t < plain.values.size() / n; ++t)
            QCOMPARE(text(tiles[qsizetype(t)]), text(plain.run(t * n, (t + 1) * n)));
    }
    for (int k = 0; k < 3000; ++k) {
        const auto from = random.bounded(samples);
        const auto to = k % 3 == 0 ? samples : random.bounded(from + 1, samples + 1); // runs to the live end too
        QCOMPARE(text(series.run(from, to)), text(plain.run(std::size_t(from), std::size_t(to))));
        QCOMPARE(series.gapBefore(from), plain.gapBefore[std::size_t(from)]);
        const qint64 at = random.bounded(qint64(ms + 2));
        const qsizetype bound = series.lowerBound(at);
        QVERIFY(
            (bound == series.size() || series.timeAt(bound) >= at) && (bound == 0 || series.timeAt(bound - 1) < at));
        QCOMPARE(series.lowerBoundNear(at, std::min<qsizetype>(from, bound), series.size()), bound);
    }
}

QTEST_GUILESS_MAIN(TestLinkColumns)
#include "tst_link_columns.moc"
