#include "serial_control.h"
#include "serial_settings.h"

#include <QTest>

using namespace orvik;

class TestSerialSettings : public QObject {
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
};

void TestSerialSettings::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    auto row = [](const char* text, int baud, LineParity parity, int bits, LineStopBits stop) {
        QTest::newRow(text) << QString::fromLatin1(text) << baud << int(parity) << bits << int(stop);
    };
    row("9600,N,8,1", 9600, LineParity::None, 8, LineStopBits::One);
    row("600,n,8,1", 600, LineParity::None, 8, LineStopBits::One);
    row("115200,E,7,2", 115200, LineParity::Even, 7, LineStopBits::Two);
    row("19200,o,6,1.5", 19200, LineParity::Odd, 6, LineStopBits::OneAndHalf);
    row("4800,M,5,1", 4800, LineParity::Mark, 5, LineStopBits::One);
    row("1,s,8,2", 1, LineParity::Space, 8, LineStopBits::Two);
    row("2147483647,N,8,1", 2147483647, LineParity::None, 8, LineStopBits::One);
}

void TestSerialSettings::accepted()
{
    QFETCH(QString, text);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    const LineSettings parsed = parseSettings(text);
    QCOMPARE(parsed.baud, baud);
    QCOMPARE(int(parsed.parity), parity);
    QCOMPARE(parsed.dataBits, dataBits);
    QCOMPARE(int(parsed.stopBits), stopBits);
}

void TestSerialSettings::rejected_data()
{
    QTest::addColumn<QString>("text");
    for (const char* text : { "", ",N,8,1", "abc", "9600", "9600,N,8", "9600,N,8,1,", "9600,N,8,1,0", " 9600,N,8,1",
             "9600 ,N,8,1", "9600,N ,8,1", "9600,N,8,1 ", "0,N,8,1", "-9600,N,8,1", "+9600,N,8,1", "9600.0,N,8,1",
             "2147483648,N,8,1", "99999999999999999999,N,8,1", "9600,X,8,1", "9600,,8,1", "9600,NN,8,1", "9600,N,4,1",
             "9600,N,9,1", "9600,N,08,1", "9600,N,8,0", "9600,N,8,3", "9600,N,8,1.0", "9600,N,8,", "9600;N;8;1" })
        QTest::newRow(text) << QString::fromLatin1(text);
}

void TestSerialSettings::rejected()
{
    QFETCH(QString, text);
    try {
        parseSettings(text);
        QFAIL("accepted a malformed text");
    } catch (const SerialError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Invalid port settings: '%1'").arg(text));
    }
}

QTEST_GUILESS_MAIN(TestSerialSettings)
#include "tst_serial_settings.moc"
