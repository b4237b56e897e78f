// The devices on the simulated line, driven without a pty: replies byte for byte, exceptions, rate switching,
// measurements and the distance wave.
#include "distance_source.h"
#include "line_rate.h"
#include "sensor_line.h"
#include "wire.h"

#include <QSet>
#include <QTest>
#include <QtEndian>

using namespace orvik::sim;

namespace {

// Fixed distance 1234.5 mm; sensors 1-5 and 16 only; the configured device answers under 255.
LineConfig testConfig()
{
    LineConfig config;
    config.slaves = { 1, 2, 3, 4, 5, 16 };
    config.distance = DistanceSource::fixed(12345);
    config.answerUnder255 = true;
    return config;
}

// "[@baud ]REQUEST -> [REPLY]": a request heard at a speed (9600 unless given) and the reply it must get.
struct Exchange {
    RxFrame frame;
    QByteArray reply;
};

Exchange exchangeOf(const QString& text)
{
    QString request = text.section(QStringLiteral("->"), 0, 0).trimmed();
    Exchange ex;
    ex.frame.baud = 9600;
    if (request.startsWith(u'@')) {
        ex.frame.baud = request.section(u' ', 0, 0).mid(1).toInt();
        request = request.section(u' ', 1);
    }
    ex.frame.bytes = fromHex(request);
    ex.reply = fromHex(text.section(QStringLiteral("->"), 1, 1));
    return ex;
}

// Like the session: a switch of rate takes effect once the reply has left.
Outcome play(SensorLine& line, const RxFrame& frame, double seconds = 0.0)
{
    Outcome out = line.handle(frame, seconds);
    if (out.switchRate) line.switchRate(*out.switchRate);
    return out;
}

} // namespace

class TestSimDevices : public QObject {
    Q_OBJECT
private slots:
    void crcFrames_data();
    void crcFrames();
    void conversation_data();
    void conversation();
    void answersUnderItsLogicalAddress();
    void requestText_data();
    void requestText();
    void rateSwitchOnlyOnRateWrite();
    void measurementSamplesTheTarget();
    void waveIsSlowAndPlausible();
    void rateRegister_data();
    void rateRegister();
};

void TestSimDevices::crcFrames_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("frame");
    QTest::newRow("device info read") << "FF 03 00 11 00 06"
                                      << "FF 03 00 11 00 06 80 13";
    QTest::newRow("poll 1") << "01 03 00 15 00 02"
                            << "01 03 00 15 00 02 D5 CF";
    QTest::newRow("poll 16") << "10 03 00 15 00 02"
                             << "10 03 00 15 00 02 D6 8E";
    QTest::newRow("measure") << "FF 06 00 10 00 01"
                             << "FF 06 00 10 00 01 5C 11";
    QTest::newRow("calibrate") << "FF 06 00 58 00 0B"
                               << "FF 06 00 58 00 0B 5C 00";
    QTest::newRow("rate 9600") << "FF 06 00 18 25 80"
                               << "FF 06 00 18 25 80 07 23";
    QTest::newRow("check string") << "31 32 33 34 35 36 37 38 39"
                                  << "31 32 33 34 35 36 37 38 39 37 4B";
}

void TestSimDevices::crcFrames()
{
    QFETCH(QString, body);
    QFETCH(QString, frame);
    const QByteArray framed = withCrc(fromHex(body));
    QCOMPARE(toHex(framed), frame);
    QVERIFY(crcValid(framed));
    for (qsizetype i = 0; i < framed.size(); ++i) {
        QByteArray hit = framed;
        hit[i] = static_cast<char>(hit[i] ^ 0x10);
        QVERIFY2(!crcValid(hit), qPrintable(QStringLiteral("byte %1 flipped").arg(i)));
    }
}

void TestSimDevices::conversation_data()
{
    QTest::addColumn<QStringList>("exchanges");
    // clang-format off
    QTest::newRow("device info at start") << QStringList {
        "FF 03 00 11 00 06 80 13 -> FF 03 0C 00 00 00 01 00 00 00 01 00 00 30 39 09 72" };
    QTest::newRow("written values read back") << QStringList {
        "FF 06 00 11 00 03 8C 10 -> FF 06 00 11 00 03 8C 10",
        "FF 06 00 13 01 2C 6D 9C -> FF 06 00 13 01 2C 6D 9C",
        "FF 06 00 14 00 40 DD E0 -> FF 06 00 14 00 40 DD E0",
        "FF 03 00 11 00 04 01 D2 -> FF 03 08 00 03 00 01 01 2C 00 40 6D 39" };
    QTest::newRow("trigger reads 0") << QStringList { "FF 03 00 10 00 01 90 11 -> FF 03 02 00 00 91 90" };
    QTest::newRow("rate reads 9600") << QStringList { "FF 03 00 18 00 01 11 D3 -> FF 03 02 25 80 8A A0" };
    QTest::newRow("service command kept") << QStringList {
        "FF 06 00 58 00 21 DD DF -> FF 06 00 58 00 21 DD DF",
        "FF 03 00 58 00 01 10 07 -> FF 03 02 00 21 51 88" };
    QTest::newRow("hole at 23") << QStringList { "FF 03 00 17 00 01 21 D0 -> FF 83 02 A1 01" };
    QTest::newRow("range over the hole") << QStringList { "FF 03 00 16 00 03 F1 D1 -> FF 83 02 A1 01" };
    QTest::newRow("past the map") << QStringList { "FF 03 00 58 00 02 50 06 -> FF 83 02 A1 01" };
    QTest::newRow("count 126") << QStringList { "FF 03 00 58 00 7E 51 E7 -> FF 83 03 60 C1" };
    QTest::newRow("count 0") << QStringList { "FF 03 00 10 00 00 51 D1 -> FF 83 03 60 C1" };
    QTest::newRow("function 4") << QStringList { "FF 04 00 15 00 02 75 D1 -> FF 84 01 E3 30" };
    QTest::newRow("mode 4") << QStringList { "FF 06 00 11 00 04 CD D2 -> FF 86 03 63 91" };
    QTest::newRow("logical 0") << QStringList { "FF 06 00 14 00 00 DC 10 -> FF 86 03 63 91" };
    QTest::newRow("logical 65") << QStringList { "FF 06 00 14 00 41 1C 20 -> FF 86 03 63 91" };
    QTest::newRow("no such rate") << QStringList {
        "FF 06 00 18 12 34 11 64 -> FF 86 03 63 91",
        "FF 03 00 18 00 01 11 D3 -> FF 03 02 25 80 8A A0" };
    QTest::newRow("physical read-only") << QStringList { "FF 06 00 12 00 05 FC 12 -> FF 86 02 A2 51" };
    QTest::newRow("service 12") << QStringList { "FF 06 00 58 00 0C 1D C2 -> FF 86 03 63 91" };
    QTest::newRow("rate switch after echo") << QStringList {
        "FF 06 00 18 4B 00 2A E3 -> FF 06 00 18 4B 00 2A E3",
        "FF 03 00 18 00 01 11 D3 -> ",
        "@19200 FF 03 00 18 00 01 11 D3 -> FF 03 02 4B 00 A7 60",
        "@19200 03 03 00 15 00 02 D4 2D -> 03 03 04 00 00 30 39 0D E1" };
    QTest::newRow("switch to 115200") << QStringList {
        "FF 06 00 18 C2 00 4D 73 -> FF 06 00 18 C2 00 4D 73",
        "@115200 FF 03 00 11 00 02 81 D0 -> FF 03 04 00 00 00 01 24 3C" };
    QTest::newRow("wrong speed") << QStringList { "@600 FF 03 00 11 00 06 80 13 -> " };
    QTest::newRow("bad crc") << QStringList { "FF 03 00 11 00 06 80 12 -> " };
    QTest::newRow("too short") << QStringList { "FF 03 -> " };
    QTest::newRow("read with extra byte") << QStringList { "FF 03 00 11 00 06 00 80 13 -> " };
    QTest::newRow("sensor distance") << QStringList { "03 03 00 15 00 02 D4 2D -> 03 03 04 00 00 30 39 0D E1" };
    QTest::newRow("sensor 16") << QStringList { "10 03 00 15 00 02 D6 8E -> 10 03 04 00 00 30 39 2F 20" };
    QTest::newRow("sensor low word") << QStringList { "03 03 00 16 00 01 64 2C -> 03 03 02 30 39 15 96" };
    QTest::newRow("sensor beyond distance") << QStringList { "03 03 00 15 00 03 15 ED -> 03 83 02 61 31" };
    QTest::newRow("sensor info read") << QStringList { "03 03 00 11 00 01 D5 ED -> 03 83 02 61 31" };
    QTest::newRow("sensor write") << QStringList { "03 06 00 15 00 01 58 2C -> 03 86 02 62 61" };
    QTest::newRow("sensor function 16") << QStringList { "03 10 00 15 00 01 11 EF -> 03 90 01 2C 00" };
    QTest::newRow("sensor not served") << QStringList { "06 03 00 15 00 02 D4 78 -> " };
    QTest::newRow("address 17") << QStringList { "11 03 00 15 00 02 D7 5F -> " };
    QTest::newRow("broadcast") << QStringList { "00 03 00 15 00 02 D4 1E -> " };
    // clang-format on
}

void TestSimDevices::conversation()
{
    QFETCH(QStringList, exchanges);
    SensorLine line(testConfig());
    for (const QString& text : exchanges) {
        const Exchange ex = exchangeOf(text);
        QVERIFY2(!ex.frame.bytes.isEmpty(), qPrintable(text));
        const Outcome out = play(line, ex.frame);
        QVERIFY2(toHex(out.reply) == toHex(ex.reply), qPrintable(text + QStringLiteral(" got ") + toHex(out.reply)));
    }
}

// By default the device asked at 255 answers under its logical address; a write of 20 changes it once confirmed.
void TestSimDevices::answersUnderItsLogicalAddress()
{
    LineConfig config = testConfig();
    config.answerUnder255 = false;
    SensorLine line(config);
    for (const char* text : { "FF 03 00 11 00 06 80 13 -> 01 03 0C 00 00 00 01 00 00 00 01 00 00 30 39 77 32",
             "FF 06 00 14 00 40 DD E0 -> 01 06 00 14 00 40 C8 3E", "FF 06 00 18 4B 00 2A E3 -> 40 06 00 18 4B 00 30 2C",
             "@19200 FF 03 00 17 00 01 21 D0 -> 40 83 02 90 E5" }) {
        const Exchange ex = exchangeOf(QString::fromLatin1(text));
        QCOMPARE(toHex(play(line, ex.frame).reply), toHex(ex.reply));
    }
}

void TestSimDevices::requestText_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("text");
    QTest::newRow("info") << "FF 03 00 11 00 06 80 13"
                          << "read 255 reg 17 x6";
    QTest::newRow("poll") << "03 03 00 15 00 02 D4 2D"
                          << "read 3 reg 21 x2";
    QTest::newRow("rate") << "FF 06 00 18 C2 00 4D 73"
                          << "write 255 reg 24 = 49664 (115200 baud)";
    QTest::newRow("bad rate") << "FF 06 00 18 12 34 11 64"
                              << "write 255 reg 24 = 4660 (no such rate)";
    QTest::newRow("function 4") << "FF 04 00 15 00 02 75 D1"
                                << "function 4 to 255";
    QTest::newRow("speed") << "@600 FF 03 00 11 00 06 80 13"
                           << "ignored: speed 600 != 9600";
    QTest::newRow("crc") << "FF 03 00 11 00 06 80 12"
                         << "ignored: bad crc";
    QTest::newRow("address") << "11 03 00 15 00 02 D7 5F"
                             << "ignored: address 17 not served";
    QTest::newRow("length") << "FF 03 00 11 00 06 00 12 A0"
                            << "ignored: function 3 frame of 9 bytes";
}

void TestSimDevices::requestText()
{
    QFETCH(QString, request);
    QFETCH(QString, text);
    SensorLine line(testConfig());
    const Outcome out = line.handle(exchangeOf(request).frame, 0.0);
    QCOMPARE(out.request, text);
    QCOMPARE(out.wrongSpeed, text.contains(u"speed"));
}

void TestSimDevices::rateSwitchOnlyOnRateWrite()
{
    SensorLine line(testConfig());
    const Outcome mode = line.handle(exchangeOf("FF 06 00 11 00 03 8C 10").frame, 0.0);
    QVERIFY(!mode.switchRate);
    const Outcome refused = line.handle(exchangeOf("FF 06 00 18 12 34 11 64").frame, 0.0);
    QVERIFY(!refused.switchRate);
    const Outcome rate = line.handle(exchangeOf("FF 06 00 18 C2 00 4D 73").frame, 0.0);
    QCOMPARE(rate.switchRate, std::optional<int>(115200));
    // The echo still leaves at the old speed: the model alone does not switch.
    QCOMPARE(line.rate(), 9600);
}

void TestSimDevices::measurementSamplesTheTarget()
{
    LineConfig config = testConfig();
    config.distance = DistanceSource::wave();
    SensorLine line(config);
    const RxFrame readDistance = exchangeOf("FF 03 00 15 00 02 C0 11").frame;
    const QByteArray before = line.handle(readDistance, 10.0).reply;
    QCOMPARE(toHex(line.handle(readDistance, 10.0).reply), toHex(before)); // held, not live
    QCOMPARE(toHex(line.handle(exchangeOf("FF 06 00 10 00 01 5C 11").frame, 10.0).reply), "FF 06 00 10 00 01 5C 11");
    const QByteArray after = line.handle(readDistance, 20.0).reply;
    QVERIFY(after != before);
    const qint32 expected = config.distance.at(0, 10.0);
    const QByteArray value = after.mid(3, 4);
    QCOMPARE(qFromBigEndian<qint32>(value.constData()), expected);
    // Continuous mode follows the target on every read.
    line.handle(exchangeOf("FF 06 00 11 00 02 4D D0").frame, 20.0);
    QCOMPARE(qFromBigEndian<qint32>(line.handle(readDistance, 30.0).reply.mid(3, 4).constData()),
        config.distance.at(0, 30.0));
}

void TestSimDevices::waveIsSlowAndPlausible()
{
    const DistanceSource wave = DistanceSource::wave();
    QSet<qint32> atStart;
    for (int unit = 0; unit <= 16; ++unit) {
        atStart.insert(wave.at(unit, 0.0));
        qint32 low = wave.at(unit, 0.0);
        qint32 high = low;
        for (double t = 0.5; t < 200.0; t += 0.5) {
            const qint32 v = wave.at(unit, t);
            QVERIFY2(
                v >= 10000 && v <= 70000, qPrintable(QStringLiteral("unit %1 at %2 s: %3").arg(unit).arg(t).arg(v)));
            QVERIFY(std::abs(v - wave.at(unit, t - 0.5)) < 300); // under 3 cm in half a second
            low = std::min(low, v);
            high = std::max(high, v);
        }
        QVERIFY2(high - low > 3000, "the distance moves");
    }
    QCOMPARE(atStart.size(), 17);
}

void TestSimDevices::rateRegister_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("rate"); // 0: no rate
    const int values[] = { 0x0258, 0x04B0, 0x0960, 0x12C0, 0x2580, 0x4B00, 0x9600, 0xE100, 0xC200 };
    for (int i = 0; i < 9; ++i)
        QTest::addRow("%d", kLineRates[i]) << values[i] << kLineRates[i];
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("14400") << 14400 << 0;
    QTest::newRow("115200 whole") << 0xFFFF << 0;
}

void TestSimDevices::rateRegister()
{
    QFETCH(int, value);
    QFETCH(int, rate);
    QCOMPARE(rateFromRegister(static_cast<quint16>(value)).value_or(0), rate);
    if (rate != 0) QCOMPARE(int { registerFromRate(rate) }, value);
}

QTEST_GUILESS_MAIN(TestSimDevices)
#include "tst_sim_devices.moc"
