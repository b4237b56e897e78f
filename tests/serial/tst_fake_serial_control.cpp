#include "fake_serial_control.h"
#include "wire_kit.h"

#include <QTest>

using namespace orvik;
using orvik::test::hexBytes;

class TestFakeSerialControl : public QObject {
    Q_OBJECT

private slots:
    void recordsWhatTheProgramDoes();
    void refusesLikeTheRealControl_data();
    void refusesLikeTheRealControl();
    void deliversWhileOpenOnly();
    void scriptedInputData();
    void answersAtItsOwnRateOnly();
};

void TestFakeSerialControl::recordsWhatTheProgramDoes()
{
    FakeSerialControl fake;
    fake.setCommPort(3);
    fake.setSettings(QStringLiteral("19200,N,8,1"));
    fake.setPortOpen(true);
    fake.setOutputData(hexBytes("FF 03 00 11 00 06 80 13"));
    fake.setPortOpen(false);
    fake.setPortOpen(false);
    QCOMPARE(
        fake.log(), QStringList({ "settings 19200,N,8,1", "open COM3", "write FF 03 00 11 00 06 80 13", "close" }));
    QCOMPARE(fake.written(), QList<QByteArray> { hexBytes("FF 03 00 11 00 06 80 13") });
    QCOMPARE(fake.currentBaud(), 19200);
}

void TestFakeSerialControl::refusesLikeTheRealControl_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QStringList>("log");
    // A write on a closed port, malformed settings, a second open and a busy port: tst_serial_contract.
    QTest::newRow("refused open") << "refuse" << QStringList { "refused COM1" };
    QTest::newRow("policy refuses 9600") << "policy" << QStringList { "refused COM1" };
}

void TestFakeSerialControl::refusesLikeTheRealControl()
{
    QFETCH(QString, step);
    FakeSerialControl fake;
    fake.setRefuseOpen(step == QLatin1String("refuse"));
    if (step == QLatin1String("policy"))
        fake.setOpenPolicy([](int, const QString& settings) { return !settings.startsWith(QLatin1String("9600,")); });
    QVERIFY_THROWS_EXCEPTION(SerialError, fake.setPortOpen(true));
    QFETCH(QStringList, log);
    QCOMPARE(fake.log(), log);
    QCOMPARE(fake.settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(fake.written().isEmpty());
}

void TestFakeSerialControl::deliversWhileOpenOnly()
{
    FakeSerialControl fake;
    QList<int> events;
    QByteArray received;
    fake.setOnComm([&](SerialControl* sender) {
        events.append(sender->commEvent());
        received += sender->inputData();
    });
    fake.deliver(hexBytes("AA"));
    fake.setPortOpen(true);
    fake.deliver(hexBytes("01 02"));
    fake.setOnComm(nullptr);
    fake.deliver(hexBytes("03")); // kept in the buffer: nobody took it
    fake.deliverEvent(kComEventBreak);
    QCOMPARE(events, QList<int> { kComEvReceive });
    QCOMPARE(received, hexBytes("01 02"));
    QCOMPARE(fake.inBufferCount(), 1);
    fake.setPortOpen(false);
    fake.setPortOpen(true);
    QCOMPARE(fake.inBufferCount(), 0);
}

void TestFakeSerialControl::scriptedInputData()
{
    FakeSerialControl fake;
    fake.setPortOpen(true);
    fake.setRThreshold(0);
    fake.deliver(hexBytes("01 02 03"));
    fake.setNextInputData(hexBytes("01"));
    QCOMPARE(fake.inputData(), hexBytes("01"));
    QCOMPARE(fake.inBufferCount(), 0);
    fake.deliver(hexBytes("04 05 06"));
    fake.setInputLen(2);
    QCOMPARE(fake.inputData(), hexBytes("04 05"));
    fake.setInputDataFails(true);
    QVERIFY_THROWS_EXCEPTION(SerialError, fake.inputData());
}

void TestFakeSerialControl::answersAtItsOwnRateOnly()
{
    // The hook sees each frame after it was recorded, with the rate the port is at, so a scripted device can stay
    // silent at every rate but its own.
    FakeSerialControl fake;
    QStringList heard;
    fake.onWrite = [&](const QByteArray& frame) {
        heard.append(QStringLiteral("%1 %2 %3")
                         .arg(fake.currentBaud())
                         .arg(frame.toHex(' ').toUpper())
                         .arg(fake.written().size()));
    };
    for (const char* settings : { "9600,N,8,1", "19200,N,8,1" }) {
        fake.setPortOpen(false);
        fake.setSettings(QString::fromLatin1(settings));
        fake.setPortOpen(true);
        fake.setOutputData(hexBytes("01 06 00 18 00 03 49 CE"));
    }
    QCOMPARE(heard, QStringList({ "9600 01 06 00 18 00 03 49 CE 1", "19200 01 06 00 18 00 03 49 CE 2" }));
}

QTEST_GUILESS_MAIN(TestFakeSerialControl)
#include "tst_fake_serial_control.moc"
