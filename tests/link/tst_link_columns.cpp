// The reduction of one slave's distances to a chart's pixel columns: every column's extremes and every gap kept.
#include "column_reduction.h"

#include <QtTest>

using namespace orvik;

namespace {

constexpr qint32 kGap = std::numeric_limits<qint32>::min(); // a step that leaves a poll unanswered

struct Step {
    qint64 ms;
    quint8 slave;
    qint32 value; // kGap: the slave's poll went unanswered
};
using Steps = QList<Step>;
using Points = QList<ColumnPoint>;

QString text(const Points& points)
{
    QStringList parts;
    for (const ColumnPoint& p : points)
        parts << QStringLiteral("%1%2:%3/%4..%5/%6")
                     .arg(p.afterGap ? QStringLiteral("|") : QString())
                     .arg(p.column)
                     .arg(p.first)
                     .arg(p.min)
                     .arg(p.max)
                     .arg(p.last);
    return parts.join(QLatin1Char(' '));
}

} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(ColumnPoint)

class TestLinkColumns : public QObject {
    Q_OBJECT

private slots:
    void reduction_data();
    void reduction();
};

void TestLinkColumns::reduction_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("toMs");
    QTest::addColumn<int>("columns");
    QTest::addColumn<Points>("slave1");

    QTest::newRow("one sample") << Steps { { 500, 1, 12345 } } << 0LL << 1000LL << 10
                                << Points { { 5, 12345, 12345, 12345, 12345, false } };
    Steps equal;
    for (qint64 t = 0; t < 1000; t += 50)
        equal << Step { t, 1, 7 };
    QTest::newRow("all equal, two a column") << equal << 0LL << 1000LL << 10 << [] {
        Points points;
        for (int c = 0; c < 10; ++c)
            points << ColumnPoint { c, 7, 7, 7, 7, false };
        return points;
    }();
    QTest::newRow("a spike inside a column")
        << Steps { { 0, 1, 10 }, { 10, 1, 90000 }, { 20, 1, -5 }, { 30, 1, 11 }, { 150, 1, 12 } } << 0LL << 1000LL << 10
        << Points { { 0, 10, -5, 90000, 11, false }, { 1, 12, 12, 12, 12, false } };
    QTest::newRow("a gap at a column boundary")
        << Steps { { 50, 1, 1 }, { 99, 1, 2 }, { 100, 1, kGap }, { 100, 1, 3 }, { 150, 1, 4 }, { 200, 1, 5 } } << 0LL
        << 1000LL << 10 << Points { { 0, 1, 1, 2, 2, false }, { 1, 3, 3, 4, 4, true }, { 2, 5, 5, 5, 5, false } };
    QTest::newRow("a gap inside a column")
        << Steps { { 10, 1, 1 }, { 20, 1, kGap }, { 30, 1, 2 }, { 40, 1, 3 } } << 0LL << 1000LL << 10
        << Points { { 0, 1, 1, 1, 1, false }, { 0, 2, 2, 3, 3, true } };
    QTest::newRow("two gaps in a row break once") << Steps { { 0, 1, 1 }, { 1, 1, kGap }, { 2, 1, kGap },
        { 900, 1, 2 } } << 0LL << 1000LL << 10 << Points { { 0, 1, 1, 1, 1, false }, { 9, 2, 2, 2, 2, true } };
    QTest::newRow("more columns than samples")
        << Steps { { 0, 1, 1 }, { 1, 1, 2 }, { 999, 1, 3 } } << 0LL << 1000LL << 1280
        << Points { { 0, 1, 1, 1, 1, false }, { 1, 2, 2, 2, 2, false }, { 1278, 3, 3, 3, 3, false } };
    QTest::newRow("outside the span left out; a gap just before it kept")
        << Steps { { 99, 1, 1 }, { 100, 1, kGap }, { 150, 1, 2 }, { 180, 1, 3 }, { 200, 1, 4 } } << 100LL << 200LL << 2
        << Points { { 1, 2, 2, 3, 3, true } };
    QTest::newRow("outside the span left out; joined to it with no gap")
        << Steps { { 99, 1, 1 }, { 150, 1, 2 } } << 100LL << 200LL << 2 << Points { { 1, 2, 2, 2, 2, false } };
    QTest::newRow("a slave silent before its first answer")
        << Steps { { 0, 1, kGap }, { 10, 1, 5 } } << 0LL << 100LL << 10 << Points { { 1, 5, 5, 5, 5, true } };
    QTest::newRow("another slave's samples and gaps are its own")
        << Steps { { 0, 1, 1 }, { 1, 2, 9 }, { 2, 2, kGap }, { 3, 2, 8 }, { 4, 1, 2 }, { 5, 17, 6 } } << 0LL << 10LL
        << 10 << Points { { 0, 1, 1, 1, 1, false }, { 4, 2, 2, 2, 2, false } };
}

void TestLinkColumns::reduction()
{
    QFETCH(Steps, steps);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, toMs);
    QFETCH(int, columns);
    QFETCH(Points, slave1);
    DistanceLog log;
    for (const Step& step : steps) {
        if (step.value == kGap)
            log.markGap(step.slave);
        else
            log.add(step.ms, step.slave, step.value);
    }
    const std::vector<ColumnPoint> reduced = reduceToColumns(log, fromMs, toMs, columns).at(0).points();
    QCOMPARE(text(Points(reduced.begin(), reduced.end())), text(slave1));
}

QTEST_GUILESS_MAIN(TestLinkColumns)
#include "tst_link_columns.moc"
