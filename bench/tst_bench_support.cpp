// The arithmetic behind the benchmark figures: a wrong percentile, pacing or floor would misstate every result.
#include "bench_support.h"
#include "wire_kit.h"

#include <QtTest>

using namespace orvik::bench;
using orvik::test::hexBytes;

class TestBenchSupport : public QObject {
    Q_OBJECT

private slots:
    void summary_data();
    void summary();
    void pacingFollowsTheLineSpeed_data();
    void pacingFollowsTheLineSpeed();
    void distanceReplyOnTheWire_data();
    void distanceReplyOnTheWire();
    void verdicts_data();
    void verdicts();
    void connectFloors_data();
    void connectFloors();
};

void TestBenchSupport::summary_data()
{
    QTest::addColumn<QList<double>>("samples");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("p99");
    QTest::newRow("odd count, unsorted") << QList<double> { 30, 10, 20 } << 20.0 << 30.0;
    QTest::newRow("even count: mean of the middle two") << QList<double> { 4, 1, 3, 2 } << 2.5 << 4.0;
    QTest::newRow("one sample") << QList<double> { 7 } << 7.0 << 7.0;
    // 200 samples 1..200: p99 is the 198th, so the two worst replies do not count.
    QList<double> ramp;
    for (int i = 200; i >= 1; --i)
        ramp << i;
    QTest::newRow("200 samples") << ramp << 100.5 << 198.0;
    QList<double> hundred;
    for (int i = 1; i <= 100; ++i)
        hundred << i;
    QTest::newRow("100 samples: p99 is the 99th") << hundred << 50.5 << 99.0;
    QList<double> oneFifty;
    for (int i = 1; i <= 150; ++i)
        oneFifty << i;
    QTest::newRow("150 samples: p99 rounds the rank up") << oneFifty << 75.5 << 149.0;
}

void TestBenchSupport::summary()
{
    QFETCH(QList<double>, samples);
    QFETCH(double, median);
    QFETCH(double, p99);
    const Summary s = summarise(std::vector<double>(samples.begin(), samples.end()));
    QCOMPARE(s.count, samples.size());
    QCOMPARE(s.median, median);
    QCOMPARE(s.p99, p99);
    QCOMPARE(s.min, *std::min_element(samples.begin(), samples.end()));
    QCOMPARE(s.max, *std::max_element(samples.begin(), samples.end()));
}

void TestBenchSupport::pacingFollowsTheLineSpeed_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QList<qint64>>("firstThree");
    QTest::addColumn<qint64>("ninth");
    QTest::newRow("600: 16.7 ms a byte") << 600 << QList<qint64> { 16667, 33333, 50000 } << qint64(150000);
    QTest::newRow("9600") << 9600 << QList<qint64> { 1042, 2083, 3125 } << qint64(9375);
    QTest::newRow("115200") << 115200 << QList<qint64> { 87, 174, 260 } << qint64(781);
}

void TestBenchSupport::pacingFollowsTheLineSpeed()
{
    QFETCH(int, baud);
    QFETCH(QList<qint64>, firstThree);
    QFETCH(qint64, ninth);
    const std::vector<qint64> offsets = pacedOffsetsUs(9, baud);
    QCOMPARE(offsets.size(), size_t(9));
    QCOMPARE(QList<qint64>(offsets.begin(), offsets.begin() + 3), firstThree);
    QCOMPARE(offsets.back(), ninth);
    QVERIFY(qAbs(wireTimeMs(9, baud) * 1000.0 - double(ninth)) < 1.0);
}

void TestBenchSupport::distanceReplyOnTheWire_data()
{
    QTest::addColumn<int>("slave");
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("slave 3, 1.235 m") << 3 << 12345 << hexBytes("03 03 04 00 00 30 39 0D E1");
    QTest::newRow("slave 16, high word used") << 16 << 0x12345678 << hexBytes("10 03 04 12 34 56 78 80 06");
    QTest::newRow("negative value") << 1 << -1 << hexBytes("01 03 04 FF FF FF FF FB A7");
}

void TestBenchSupport::distanceReplyOnTheWire()
{
    QFETCH(int, slave);
    QFETCH(qint32, value);
    QFETCH(QByteArray, wire);
    QCOMPARE(distanceReply(static_cast<quint8>(slave), value).toHex(' ').toUpper(), wire.toHex(' ').toUpper());
}

void TestBenchSupport::verdicts_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("verdict");
    const QString whole = "03 03 04 00 00 30 39 0D E1 ";
    QTest::newRow("one line, the reply") << QStringList { whole } << int(FrameVerdict::Whole);
    QTest::newRow("no line") << QStringList {} << int(FrameVerdict::Lost);
    QTest::newRow("cut in two") << QStringList { "03 03 04 00 ", "00 30 39 0D E1 " } << int(FrameVerdict::Split);
    QTest::newRow("a stray byte before it") << QStringList { "00 " + whole } << int(FrameVerdict::Merged);
    QTest::newRow("a byte short") << QStringList { "03 03 04 00 00 30 39 0D " } << int(FrameVerdict::Garbled);
    QTest::newRow("a bit flipped") << QStringList { "03 03 04 00 00 31 39 0D E1 " } << int(FrameVerdict::Garbled);
    QTest::newRow("two lines, one byte lost")
        << QStringList { "03 03 04 ", "00 30 39 0D E1 " } << int(FrameVerdict::Garbled);
}

void TestBenchSupport::verdicts()
{
    QFETCH(QStringList, lines);
    QFETCH(int, verdict);
    const QByteArray reply = hexBytes("03 03 04 00 00 30 39 0D E1");
    QCOMPARE(verdictName(judgeFrame(lines, reply)), verdictName(FrameVerdict(verdict)));
}

void TestBenchSupport::connectFloors_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<double>("schedule");
    // 9600 answers the first try; the reply is complete at 29 ms, taken at the 100 ms slice end, decoded at 200.
    QTest::newRow("9600: first try") << 9600 << 200.0;
    // 600 is the first pass of the list: 2 s in; 25 bytes take 417 ms, so the reply is decoded at 600 ms.
    QTest::newRow("600: first pass") << 600 << 2600.0;
    QTest::newRow("1200: second pass") << 1200 << 2000.0 + 1200.0 + 400.0;
    QTest::newRow("115200: last pass") << 115200 << 2000.0 + 8 * 1200.0 + 200.0;
}

void TestBenchSupport::connectFloors()
{
    QFETCH(int, baud);
    QFETCH(double, schedule);
    const ConnectFloor floor = connectFloor(baud, 3.0);
    QCOMPARE(floor.schedule, schedule);
    QVERIFY(floor.line < floor.schedule);
    QVERIFY(floor.line >= floor.schedule - 200.0);
}

QTEST_APPLESS_MAIN(TestBenchSupport)
#include "tst_bench_support.moc"
