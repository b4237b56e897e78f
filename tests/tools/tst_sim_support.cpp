// The line's plumbing without a pty: framing by silence, the pacing schedule, noise, options and the log format.
#include "line_noise.h"
#include "line_rate.h"
#include "sensor_line.h"
#include "silence_framer.h"
#include "sim_options.h"
#include "wire.h"

#include <QTest>

#include <bit>

using namespace orvik::sim;

namespace {

QString optionsSummary(const SimOptions& o)
{
    return QStringLiteral("%1 %2 phys%3 [%4] %5 g%6 e%7 f%8 gap%9 late%10 ta%11 n%12 x%13 s%14 %15")
        .arg(o.port)
        .arg(o.line.baud)
        .arg(o.line.physicalAddress)
        .arg(describeSlaves(o.line.slaves), o.line.distance.describe())
        .arg(o.garbageOnMismatch)
        .arg(o.echo)
        .arg(o.force)
        .arg(o.gapMs)
        .arg(o.late.describe())
        .arg(o.turnaround.describe())
        .arg(o.noise)
        .arg(o.exitAfter ? QString::number(*o.exitAfter) : QStringLiteral("-"))
        .arg(o.seedGiven ? QString::number(o.seed) : QStringLiteral("-"))
        .arg(o.logFile.isEmpty() ? QStringLiteral("-") : o.logFile);
}

} // namespace

class TestSimSupport : public QObject {
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void framingKeepsAtMostOneFrame();
    void schedule_data();
    void schedule();
    void noise();
    void options_data();
    void options();
    void slaves_data();
    void slaves();
    void logLineFormat();
};

void TestSimSupport::framing_data()
{
    // Chunks "microseconds:bytes" as read; frames "end microseconds:bytes". At 9600 a character is 1041 us and the
    // silence 3645 us; at 600, 16666 and 58333; at 115200, 86 and the floor of 1750.
    QTest::addColumn<int>("baud");
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("frames");
    QTest::newRow("one write") << 9600 << QStringList { "0:FF 03 00 11 00 06 80 13" }
                               << QStringList { "11973:FF 03 00 11 00 06 80 13" };
    QTest::newRow("split by 100 ms") << 9600 << QStringList { "0:FF 03 00 11", "100000:00 06 80 13" }
                                     << QStringList { "7809:FF 03 00 11", "107809:00 06 80 13" };
    QTest::newRow("split within silence") << 9600 << QStringList { "0:FF 03 00 11", "6000:00 06 80 13" }
                                          << QStringList { "13809:FF 03 00 11 00 06 80 13" };
    QTest::newRow("byte by byte") << 9600 << QStringList { "0:FF", "1041:03", "2082:00", "3123:11" }
                                  << QStringList { "7809:FF 03 00 11" };
    QTest::newRow("600 still sending") << 600 << QStringList { "0:FF 03 00 11 00 06 80 13", "100000:01 02 03 04" }
                                       << QStringList { "258325:FF 03 00 11 00 06 80 13 01 02 03 04" };
    QTest::newRow("115200 at the silence")
        << 115200 << QStringList { "0:FF 03", "1922:00 11" } << QStringList { "1922:FF 03", "3844:00 11" };
    QTest::newRow("115200 just inside") << 115200 << QStringList { "0:FF 03", "1921:00 11" }
                                        << QStringList { "3843:FF 03 00 11" };
}

void TestSimSupport::framing()
{
    QFETCH(int, baud);
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, frames);
    SilenceFramer framer;
    QStringList got;
    const auto take = [&](const std::optional<RxFrame>& f) {
        if (f) got.append(QStringLiteral("%1:%2").arg(f->endUs).arg(toHex(f->bytes)));
    };
    for (const QString& chunk : chunks) {
        const qint64 at = chunk.section(u':', 0, 0).toLongLong();
        for (const char c : fromHex(chunk.section(u':', 1)))
            take(framer.feed(static_cast<quint8>(c), at, baud));
        take(framer.poll(at)); // nothing ends at the moment a byte is read
    }
    QVERIFY(framer.deadlineUs().has_value());
    take(framer.poll(*framer.deadlineUs() - 1));
    take(framer.poll(*framer.deadlineUs()));
    QCOMPARE(got, frames);
    QVERIFY(!framer.deadlineUs());
}

void TestSimSupport::framingKeepsAtMostOneFrame()
{
    SilenceFramer framer;
    for (int i = 0; i < 300; ++i)
        QVERIFY(!framer.feed(static_cast<quint8>(i), 0, 9600));
    const std::optional<RxFrame> frame = framer.poll(10'000'000);
    QVERIFY(frame);
    QCOMPARE(frame->bytes.size(), SilenceFramer::kMaxFrame);
    QVERIFY(frame->overflow);
    SensorLine line(LineConfig {});
    const Outcome out = line.handle(*frame, 0.0);
    QVERIFY(out.reply.isEmpty());
    QCOMPARE(out.request, "ignored: longer than 256 bytes");
}

void TestSimSupport::schedule_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("gapUs");
    QTest::addColumn<QList<qint64>>("due");
    QTest::newRow("9 at 600") << 9 << 600 << 0
                              << QList<qint64> { 16666, 33333, 50000, 66666, 83333, 100000, 116666, 133333, 150000 };
    QTest::newRow("9 at 600 with gap") << 9 << 600 << 50000
                                       << QList<qint64> { 16666, 33333, 50000, 66666, 133333, 150000, 166666, 183333,
                                              200000 };
    QTest::newRow("5 at 115200") << 5 << 115200 << 0 << QList<qint64> { 86, 173, 260, 347, 434 };
    QTest::newRow("one byte ignores gap") << 1 << 9600 << 50000 << QList<qint64> { 1041 };
}

void TestSimSupport::schedule()
{
    QFETCH(int, count);
    QFETCH(int, baud);
    QFETCH(int, gapUs);
    QFETCH(QList<qint64>, due);
    QCOMPARE(transmitSchedule(count, baud, gapUs), due);
}

void TestSimSupport::noise()
{
    const QByteArray clean = QByteArray(10000, '\x5A');
    QByteArray all = clean;
    QCOMPARE(LineNoise(1, 1.0).corrupt(all), clean.size());
    for (qsizetype i = 0; i < all.size(); ++i)
        QCOMPARE(std::popcount(static_cast<unsigned>(static_cast<quint8>(all[i] ^ clean[i]))), 1);
    QByteArray none = clean;
    QCOMPARE(LineNoise(1, 0.0).corrupt(none), 0);
    QCOMPARE(none, clean);
    QByteArray some = clean;
    QByteArray again = clean;
    const int hits = LineNoise(7, 0.1).corrupt(some);
    QVERIFY2(hits > 800 && hits < 1200, qPrintable(QString::number(hits)));
    QCOMPARE(LineNoise(7, 0.1).corrupt(again), hits);
    QCOMPARE(again, some); // the seed repeats a run
    LineNoise garbage(3, 0.0);
    for (int i = 0; i < 50; ++i) {
        const qsizetype n = garbage.garbage().size();
        QVERIFY(n >= 2 && n <= 6);
    }
}

void TestSimSupport::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("summary"); // empty: refused
    const QString defaults = "COM7 9600 phys1 [1-16] wave g0 e0 f0 gap0 late0 ta3 n0 x- s- -";
    QTest::newRow("defaults") << QStringList {} << defaults;
    QTest::newRow("all set") << QStringList {
        "--port", "COM255", "--baud", "115200", "--phys", "7", "--slaves", "1,2,5", "--distance", "fixed:-1.6",
        "--garbage-on-mismatch", "--echo", "--force", "--gap-ms", "40", "--late-ms", "100", "--turnaround-ms", "0",
        "--noise", "0.25", "--exit-after", "2.5", "--seed", "99", "--log", "/tmp/l.txt"
    } << "COM255 115200 phys7 [1,2,5] fixed -1.6 mm g1 e1 f1 gap40 late100 ta0 n0.25 x2.5 s99 /tmp/l.txt";
    QTest::newRow("no sensors") << QStringList { "--slaves", "none" }
                                << "COM7 9600 phys1 [none] wave g0 e0 f0 gap0 late0 ta3 n0 x- s- -";
    QTest::newRow("late, all and per device") << QStringList {
        "--late-ms", "100", "--late-ms", "2:1150", "--late-ms", "255:0", "--late-ms", "2:60", "--turnaround-ms", "5:12"
    } << "COM7 9600 phys1 [1-16] wave g0 e0 f0 gap0 late100,2:60,255:0 ta3,5:12 n0 x- s- -";
    QTest::newRow("late for address 17") << QStringList { "--late-ms", "17:5" } << "";
    QTest::newRow("late without ms") << QStringList { "--late-ms", "2:" } << "";
    QTest::newRow("odd baud") << QStringList { "--baud", "14400" } << "";
    QTest::newRow("port without number") << QStringList { "--port", "COM" } << "";
    QTest::newRow("port 256") << QStringList { "--port", "COM256" } << "";
    QTest::newRow("port path") << QStringList { "--port", "/dev/ttyS0" } << "";
    QTest::newRow("phys 256") << QStringList { "--phys", "256" } << "";
    QTest::newRow("slave 17") << QStringList { "--slaves", "1-17" } << "";
    QTest::newRow("distance word") << QStringList { "--distance", "sine" } << "";
    QTest::newRow("noise over 1") << QStringList { "--noise", "1.5" } << "";
    QTest::newRow("negative gap") << QStringList { "--gap-ms", "-1" } << "";
    QTest::newRow("seed text") << QStringList { "--seed", "x" } << "";
    QTest::newRow("unknown option") << QStringList { "--fast" } << "";
    QTest::newRow("stray argument") << QStringList { "COM7" } << "";
}

void TestSimSupport::options()
{
    QFETCH(QStringList, args);
    QFETCH(QString, summary);
    const ParsedOptions parsed = parseOptions(QStringList { "orvik-sim" } + args);
    QCOMPARE(parsed.options.has_value(), !summary.isEmpty());
    if (parsed.options)
        QCOMPARE(optionsSummary(*parsed.options), summary);
    else
        QVERIFY(!parsed.message.isEmpty());
}

void TestSimSupport::slaves_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("described"); // empty: refused
    QTest::newRow("all") << "1-16"
                         << "1-16";
    QTest::newRow("list") << "1,2,5"
                          << "1,2,5";
    QTest::newRow("unsorted") << "5,1,2"
                              << "1,2,5";
    QTest::newRow("runs") << "3-6,9"
                          << "3-6,9";
    QTest::newRow("overlap") << "1-3,2-4"
                             << "1-4";
    QTest::newRow("pair") << "4-5,9"
                          << "4,5,9";
    QTest::newRow("none") << "none"
                          << "none";
    QTest::newRow("zero") << "0"
                          << "";
    QTest::newRow("17") << "17"
                        << "";
    QTest::newRow("backwards") << "5-3"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("three ends") << "1-2-3"
                                << "";
    QTest::newRow("empty item") << "1,,2"
                                << "";
}

void TestSimSupport::slaves()
{
    QFETCH(QString, text);
    QFETCH(QString, described);
    const std::optional<QList<int>> parsed = parseSlaves(text);
    QCOMPARE(parsed ? describeSlaves(*parsed) : QString(), described);
}

void TestSimSupport::logLineFormat()
{
    QCOMPARE(logLine(12'345'678, u"RX", 9600, fromHex(u"FF 03 00 11 00 06 80 13"), u"read 255 reg 17 x6"),
        "12.345 RX 9600 FF 03 00 11 00 06 80 13 read 255 reg 17 x6");
    QCOMPARE(
        logLine(5'000, u"RATE", 19200, {}, u"devices now at 19200 baud"), "0.005 RATE 19200 devices now at 19200 baud");
}

QTEST_GUILESS_MAIN(TestSimSupport)
#include "tst_sim_support.moc"
