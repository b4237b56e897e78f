// What the monitor keeps of a run: per-slave statistics (counts, last and median response times at a tenth of a
// millisecond) and the record of shown distances with its CSV.
#include "distance_log.h"
#include "slave_statistics.h"
#include "time_ticks.h"

#include <QTest>
#include <ctime>

using namespace orvik;

class TestLinkRecords : public QObject {
    Q_OBJECT

private slots:
    void describe_data();
    void describe();
    void distancesAsCsv_data();
    void distancesAsCsv();
    void timeAxisLabels_data();
    void timeAxisLabels();
};

// Each step: 'p' slave 5 polled at 0 µs, 'a<us>' intact answer ending at that time, 'd<us>' damaged one, 'c' a
// device command, 'q' slave 6 polled.
void TestLinkRecords::describe_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("text");
    const QString head = QStringLiteral("轮询 %1 · 应答 %2 · 校验错 %3 · 无应答 %4 · 响应 ");
    // clang-format off
    QTest::newRow("nothing yet") << QStringList {} << head.arg(0).arg(0).arg(0).arg(0) + "—";
    QTest::newRow("poll still waiting") << QStringList { "p" } << head.arg(1).arg(0).arg(0).arg(0) + "—";
    QTest::newRow("next poll, no answer") << QStringList { "p", "q" } << head.arg(1).arg(0).arg(0).arg(1) + "—";
    QTest::newRow("a command cuts the poll short") << QStringList { "p", "c", "q" } << head.arg(1).arg(0).arg(0).arg(1) + "—";
    QTest::newRow("answer after the command") << QStringList { "p", "c", "a5000" } << head.arg(1).arg(0).arg(0).arg(1) + "—";
    QTest::newRow("one answer") << QStringList { "p", "a9750", "q" } << head.arg(1).arg(1).arg(0).arg(0) + "9.8 ms（中位 9.8 ms）";
    QTest::newRow("damaged answer is timed") << QStringList { "p", "d12000" } << head.arg(1).arg(0).arg(1).arg(0) + "12.0 ms（中位 12.0 ms）";
    QTest::newRow("odd count median") << QStringList { "p", "a9000", "p", "a30000", "p", "a9700" }
                                      << head.arg(3).arg(3).arg(0).arg(0) + "9.7 ms（中位 9.7 ms）";
    QTest::newRow("even count median") << QStringList { "p", "a9000", "p", "a9700", "p", "a10000", "p", "a500000" }
                                       << head.arg(4).arg(4).arg(0).arg(0) + "500.0 ms（中位 9.9 ms）";
    QTest::newRow("second answer to one poll") << QStringList { "p", "a5000", "a7000", "q" } << head.arg(1).arg(1).arg(0).arg(0) + "5.0 ms（中位 5.0 ms）";
    QTest::newRow("answer before the poll left") << QStringList { "p", "a-300" } << head.arg(1).arg(1).arg(0).arg(0) + "0.0 ms（中位 0.0 ms）";
    QTest::newRow("answer without a poll") << QStringList { "a5000", "q" } << head.arg(0).arg(0).arg(0).arg(0) + "—";
    // clang-format on
}

void TestLinkRecords::describe()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, text);
    SlaveStatistics stats;
    QCOMPARE(stats.requestSent(2, 0), quint8(0));
    QCOMPARE(stats.requestSent(255, 0), quint8(2)); // another slave's polls do not mix in
    for (const QString& step : steps) {
        const qint64 at = step.mid(1).toLongLong();
        if (step == "p") stats.requestSent(5, 0);
        if (step == "c") stats.requestSent(255, 0);
        if (step == "q") stats.requestSent(6, 0);
        if (step.startsWith('a') || step.startsWith('d')) stats.answered(5, step.startsWith('a'), at);
    }
    QCOMPARE(stats.describe(5), text);
    stats.reset();
    QCOMPARE(stats.describe(5), QStringLiteral("轮询 0 · 应答 0 · 校验错 0 · 无应答 0 · 响应 —"));
    QCOMPARE(stats.describe(0), QString());
    QCOMPARE(stats.describe(17), QString());
}

// Local time with its offset at each sample, in a zone given the way POSIX spells it (no zone database needed).
void TestLinkRecords::distancesAsCsv_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QByteArray>("csv");
    const QByteArray head = "time,slave,distance_m\r\n";
    // Slave 3's unanswered poll is an empty value at its time; then the clock is set back an hour.
    auto rows = [&head](const char* hour, const char* hourBack, const char* zone) {
        const QByteArray day = "2026-12-09T";
        return head + day + hour + ":37:14.123" + zone + ",3,1.235\r\n" + day + hour + ":37:14.623" + zone + ",3,\r\n"
            + day + hour + ":37:15.004" + zone + ",16,-0.001\r\n" + day + hourBack + ":37:15.504" + zone
            + ",3,1.235\r\n";
    };
    QTest::newRow("UTC") << QByteArray("UTC0") << rows("14", "13", "+00:00");
    QTest::newRow("east") << QByteArray("CST-8") << rows("22", "21", "+08:00");
    QTest::newRow("west, half hours") << QByteArray("NST3:30") << rows("11", "10", "-03:30").replace(":37:", ":07:");
}

void TestLinkRecords::distancesAsCsv()
{
    QFETCH(QByteArray, zone);
    QFETCH(QByteArray, csv);
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    DistanceLog log;
    QCOMPARE(log.toCsv(), QByteArray("time,slave,distance_m\r\n"));
    log.add({ 1000, 1796827034123 }, 3, 12345); // 2026-12-09 14:37:14.123 UTC
    log.markGap({ 1200, 1796827034323 }, 7); // no answer yet: no line to break, no row
    log.markGap({ 1500, 1796827034623 }, 3);
    log.add({ 1881, 1796827035004 }, 16, -16);
    log.add({ 2381, 1796827035504 - 3'600'000 }, 3, 12345);
    QCOMPARE(log.toCsv(), csv);
    log.clear();
    QCOMPARE(log.size(), 0);
    qputenv("TZ", saved);
    tzset();
}

// Ticks on round local times, labelled no finer and no coarser than their step, the date where the day changes.
void TestLinkRecords::timeAxisLabels_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<QStringList>("labels");
    constexpr qint64 noon = 1796817615000; // 2026-12-09 12:00:15 UTC
    constexpr qint64 eleven = 1796857200000; // 2026-12-09 23:00 UTC
    QTest::newRow("10 s") << QByteArray("UTC0") << noon << 10'000LL
                          << QStringList { "12:00:16\n12-09", "12:00:18", "12:00:20", "12:00:22", "12:00:24" };
    QTest::newRow("0.2 s") << QByteArray("UTC0") << noon << 200LL
                           << QStringList { "12:00:15.050\n12-09", "12:00:15.100", "12:00:15.150", "12:00:15.200" };
    QTest::newRow("three hours over midnight")
        << QByteArray("UTC0") << eleven << 3 * 3'600'000LL
        << QStringList { "23:30\n12-09", "00:00\n12-10", "00:30", "01:00", "01:30", "02:00" };
    QTest::newRow("a week") << QByteArray("UTC0") << eleven << 7 * 86'400'000LL
                            << QStringList { "12-10", "12-11", "12-12", "12-13", "12-14", "12-15", "12-16" };
    QTest::newRow("hours where the offset is 3:30")
        << QByteArray("NST3:30") << eleven << 6 * 3'600'000LL
        << QStringList { "20:00\n12-09", "21:00", "22:00", "23:00", "00:00\n12-10", "01:00" };
}

void TestLinkRecords::timeAxisLabels()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, spanMs);
    QFETCH(QStringList, labels);
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    const TimeTicks ticks = timeTicks(fromMs, fromMs + spanMs, 10);
    qputenv("TZ", saved);
    tzset();
    QCOMPARE(ticks.labels, labels);
}

QTEST_APPLESS_MAIN(TestLinkRecords)
#include "tst_link_records.moc"
