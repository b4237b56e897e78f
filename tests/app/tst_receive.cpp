// Receive assembly and the end-of-frame decoding and dispatch, driven through the window with a fake serial control.
#include "form_probe.h"

#include <QtTest>

using namespace orvik;

namespace {

// Appends the Modbus CRC (low byte first) to a frame given as wire hex.
QByteArray withCrc(const char* hex)
{
    return test::withCrc(hexBytes(hex));
}

// Counts slave-answered messages reaching the window.
class AnsweredCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == static_cast<QEvent::Type>(TForm1::WM_SLAVE_ANSWERED)) ++count;
        return false;
    }
};

QString lastMemoLine(TForm1Probe& probe)
{
    const QStringList lines = probe.ui().Memo1->toPlainText().split(QLatin1Char('\n'));
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace

class TestReceive : public QObject {
    Q_OBJECT

private slots:
    void splitDeliveriesMakeOneFrame();
    void eventWithOtherCodeHoldsFrameBack();
    void emptyReceiveEventRestartsTimer();
    void arrayShorterOrLongerThanCount_data();
    void arrayShorterOrLongerThanCount();
    void bytesWaitingWhenTimerFiresJoinTheFrame();
    void bytesInTheDriverHoldTheFrameOpen();
    void distanceReply_data();
    void distanceReply();
    void deviceInformation_data();
    void deviceInformation();
    void baudEchoReopensPort_data();
    void baudEchoReopensPort();
    void echoesOfOtherWritesAreOnlyLogged_data();
    void echoesOfOtherWritesAreOnlyLogged();
    void oversizedFramesAreLoggedWhole_data();
    void oversizedFramesAreLoggedWhole();
    void frameClosesAfterSilence();
};

void TestReceive::splitDeliveriesMakeOneFrame()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.CurrentSlave() = 3;
    probe.LastRegister() = 21;
    probe.comm->deliver(hexBytes("03 03 04"));
    probe.comm->deliver(hexBytes("00 00 30"));
    probe.comm->deliver(hexBytes("39 0D E1"));
    QCOMPARE(probe.RxText(), QStringLiteral("03 03 04 00 00 30 39 0D E1 "));
    QCOMPARE(probe.RxCount(), 9);
    QVERIFY(probe.ui().Timer2->isActive());
    QCOMPARE(probe.ui().Timer2->interval(), 25);
    probe.Timer2Timer();
    QCOMPARE(probe.DistanceEdits()[3]->text(), QStringLiteral("1.235"));
    QCOMPARE(probe.RxText(), QString());
    QCOMPARE(probe.RxCount(), 0);
    QVERIFY(!probe.ui().Timer2->isActive());
}

void TestReceive::eventWithOtherCodeHoldsFrameBack()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.comm->deliver(hexBytes("01 02 03"));
    probe.comm->deliverEvent(kComEventFrame);
    QVERIFY(!probe.ui().Timer2->isActive());
    QCOMPARE(probe.RxText(), QStringLiteral("01 02 03 "));
    probe.comm->deliver(hexBytes("0A FF 00"));
    probe.Timer2Timer();
    QCOMPARE(lastMemoLine(probe), QStringLiteral("01 02 03 0A FF 00 "));
    QCOMPARE(probe.ui().Memo1->lines().size(), 1);
}

void TestReceive::emptyReceiveEventRestartsTimer()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.comm->deliverEvent(kComEvReceive);
    QCOMPARE(probe.RxCount(), 0);
    QVERIFY(probe.ui().Timer2->isActive());
    probe.Timer2Timer();
    QCOMPARE(probe.ui().Memo1->toPlainText(), QString()); // one empty line
    QVERIFY(!probe.ReplySeen());
}

void TestReceive::arrayShorterOrLongerThanCount_data()
{
    QTest::addColumn<QByteArray>("waiting");
    QTest::addColumn<QByteArray>("array");
    QTest::addColumn<QString>("text");
    QTest::newRow("fewer elements than counted") << hexBytes("01 02 03 04") << hexBytes("01 02") << "01 02 ";
    QTest::newRow("more elements than counted") << hexBytes("01 02") << hexBytes("01 02 03 04") << "01 02 ";
}

void TestReceive::arrayShorterOrLongerThanCount()
{
    QFETCH(QByteArray, waiting);
    QFETCH(QByteArray, array);
    QFETCH(QString, text);
    TForm1Probe probe;
    probe.connectDirectly();
    probe.comm->setNextInputData(array);
    probe.comm->deliver(waiting);
    QCOMPARE(probe.RxText(), text);
    QCOMPARE(probe.RxCount(), int(text.size() / 3));
    QCOMPARE(probe.comm->inBufferCount(), 0);
    QVERIFY(probe.ui().Timer2->isActive());
}

void TestReceive::bytesWaitingWhenTimerFiresJoinTheFrame()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.CurrentSlave() = 3;
    probe.LastRegister() = 21;
    probe.comm->deliver(hexBytes("03 03 04 00"));
    // The rest arrives while the program is busy: no receive event has been served when the timer fires.
    probe.comm->setOnComm({});
    probe.comm->deliver(hexBytes("00 30 39 0D E1"));
    probe.Timer2Timer();
    QCOMPARE(probe.ui().Memo1->toPlainText(), QString()); // nothing logged yet
    QCOMPARE(probe.RxCount(), 9);
    QVERIFY(probe.ui().Timer2->isActive());
    probe.Timer2Timer();
    QCOMPARE(lastMemoLine(probe), QStringLiteral("03 03 04 00 00 30 39 0D E1 "));
    QCOMPARE(probe.DistanceEdits()[3]->text(), QStringLiteral("1.235"));
}

void TestReceive::bytesInTheDriverHoldTheFrameOpen()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.CurrentSlave() = 3;
    probe.LastRegister() = 21;
    probe.comm->deliver(hexBytes("03 03 04 00"));
    probe.comm->setBytesArriving(true);
    probe.Timer2Timer();
    QCOMPARE(probe.ui().Memo1->toPlainText(), QString());
    QVERIFY(probe.ui().Timer2->isActive());
    probe.comm->setBytesArriving(false);
    probe.comm->deliver(hexBytes("00 30 39 0D E1"));
    probe.Timer2Timer();
    QCOMPARE(lastMemoLine(probe), QStringLiteral("03 03 04 00 00 30 39 0D E1 "));
    QCOMPARE(probe.DistanceEdits()[3]->text(), QStringLiteral("1.235"));

    // A driver that reports bytes that never come does not hold the frame for ever.
    probe.comm->deliver(hexBytes("01 02 03"));
    probe.comm->setBytesArriving(true);
    int firings = 0;
    while (probe.RxCount() > 0 && firings < 100) {
        probe.Timer2Timer();
        ++firings;
    }
    QVERIFY2(firings > 1 && firings <= 10, qPrintable(QString::number(firings)));
    QCOMPARE(lastMemoLine(probe), QStringLiteral("01 02 03 "));
}

void TestReceive::distanceReply_data()
{
    QTest::addColumn<quint8>("slave");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("shown"); // empty: no box changes
    QTest::addColumn<int>("answered");
    QTest::addColumn<bool>("replySeen");
    QTest::newRow("valid reply") << quint8(3) << hexBytes("03 03 04 00 00 30 39 0D E1") << "1.235" << 1 << true;
    QTest::newRow("bad crc") << quint8(3) << hexBytes("03 03 04 00 00 30 39 0D E0") << "" << 0 << true;
    QTest::newRow("exception reply") << quint8(3) << hexBytes("03 83 02 61 31") << "" << 0 << false;
    QTest::newRow("two replies merged") << quint8(3)
                                        << hexBytes("03 03 04 00 00 30 39 0D E1 03 03 04 00 00 30 39 0D E1") << "" << 0
                                        << true;
    QTest::newRow("another slave's answer is not shown")
        << quint8(5) << hexBytes("03 03 04 00 00 30 39 0D E1") << "" << 0 << false;
    QTest::newRow("slave 0 has no box") << quint8(0) << hexBytes("00 03 04 00 00 30 39 3E E1") << "" << 0 << true;
    QTest::newRow("broadcast address has no box")
        << quint8(255) << hexBytes("FF 03 04 00 00 30 39 31 EE") << "" << 0 << true;
    QTest::newRow("largest distance") << quint8(16) << withCrc("10 03 04 7F FF FF FF") << "214748.365" << 1 << true;
    QTest::newRow("negative distance") << quint8(1) << withCrc("01 03 04 FF FF FF F0") << "-0.001" << 1 << true;
}

void TestReceive::distanceReply()
{
    QFETCH(quint8, slave);
    QFETCH(QByteArray, frame);
    QFETCH(QString, shown);
    QFETCH(int, answered);
    QFETCH(bool, replySeen);
    TForm1Probe probe;
    AnsweredCounter counter;
    probe.window().installEventFilter(&counter);
    probe.connectDirectly();
    probe.CurrentSlave() = slave;
    probe.LastRegister() = 21;
    probe.receiveFrame(frame);

    QCOMPARE(lastMemoLine(probe), wireHex(frame) + QLatin1Char(' '));
    QCOMPARE(probe.ReplySeen(), replySeen);
    QCOMPARE(counter.count, answered);
    for (int n = 1; n <= 16; ++n) {
        const bool target = !shown.isEmpty() && n == slave;
        QCOMPARE(probe.DistanceEdits()[n]->text(), target ? shown : QString());
        QCOMPARE(probe.LinkBoxes()[n - 1]->isChecked(), target);
        QCOMPARE(probe.LinkBoxes()[n - 1]->isEnabled(), target);
    }
}

void TestReceive::deviceInformation_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("physical");
    QTest::addColumn<QString>("logical");
    QTest::addColumn<QString>("distance");
    QTest::addColumn<QString>("delay");
    QTest::newRow("its own address") << hexBytes("01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8") << 2 << "7"
                                     << "1"
                                     << "12.346"
                                     << "5";
    QTest::newRow("address 255") << hexBytes("FF 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 B0 E8") << 2 << "7"
                                 << "1"
                                 << "12.346"
                                 << "5";
    QTest::newRow("mode out of range selects nothing")
        << withCrc("FF 03 0C 00 04 00 07 00 05 00 01 00 00 00 05") << -1 << "7"
        << "1"
        << "0.001"
        << "5";
}

void TestReceive::deviceInformation()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, mode);
    QFETCH(QString, physical);
    QFETCH(QString, logical);
    QFETCH(QString, distance);
    QFETCH(QString, delay);
    TForm1Probe probe;
    probe.connectDirectly();
    probe.DeviceFound() = false;
    probe.CurrentSlave() = 255;
    probe.LastRegister() = 17;
    probe.receiveFrame(frame);
    QCOMPARE(probe.ui().ComboBox3->itemIndex(), mode);
    if (mode == 2) QCOMPARE(probe.ui().ComboBox3->currentText(), QStringLiteral("连续测量"));
    QCOMPARE(probe.ui().Panel11->caption(), physical);
    QCOMPARE(probe.ui().Edit1->text(), logical);
    QCOMPARE(probe.ui().Panel13->caption(), distance);
    QCOMPARE(probe.ui().Edit2->text(), delay);
    QVERIFY(probe.DeviceFound());
}

void TestReceive::baudEchoReopensPort_data()
{
    QTest::addColumn<QByteArray>("confirmation");
    QTest::newRow("its own address") << hexBytes("01 06 00 18 4B 00 3F 3D");
    QTest::newRow("address 255") << hexBytes("FF 06 00 18 4B 00 2A E3");
}

void TestReceive::baudEchoReopensPort()
{
    QFETCH(QByteArray, confirmation);
    TForm1Probe probe;
    probe.connectDirectly();
    probe.ui().ComboBox2->setItemIndex(5); // "19200"
    probe.asked(QStringLiteral("FF 06 00 18 4B 00 2A E3"));
    probe.comm->clearLog();
    probe.receiveFrame(confirmation);
    QCOMPARE(probe.comm->log(), QStringList({ "close", "settings 19200,N,8,1", "open COM3" }));
    QVERIFY(probe.comm->portOpen());
    QCOMPARE(probe.ui().StatusBar1->panelText(0), QStringLiteral("波特率更新成功！"));
}

void TestReceive::echoesOfOtherWritesAreOnlyLogged_data()
{
    QTest::addColumn<quint8>("reg");
    for (quint8 reg : { 16, 17, 19, 20, 88 })
        QTest::newRow(qPrintable(QString::number(reg))) << reg;
}

void TestReceive::echoesOfOtherWritesAreOnlyLogged()
{
    QFETCH(quint8, reg);
    TForm1Probe probe;
    probe.connectDirectly();
    probe.LastRegister() = reg;
    const QByteArray echo = withCrc(qPrintable(QStringLiteral("FF 06 00 %1 00 01").arg(reg, 2, 16, QLatin1Char('0'))));
    probe.comm->clearLog();
    probe.receiveFrame(echo);
    QVERIFY(probe.ReplySeen());
    QCOMPARE(lastMemoLine(probe), wireHex(echo) + QLatin1Char(' '));
    QVERIFY(probe.comm->log().isEmpty());
    QCOMPARE(probe.ui().Panel11->caption(), QString());
}

void TestReceive::oversizedFramesAreLoggedWhole_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("257 bytes") << 257;
    QTest::newRow("1000 bytes") << 1000;
}

void TestReceive::oversizedFramesAreLoggedWhole()
{
    QFETCH(int, size);
    TForm1Probe probe;
    probe.connectDirectly();
    probe.CurrentSlave() = 3;
    probe.LastRegister() = 21;
    // A valid distance reply at the head: only what fits the frame buffer is decoded, and nothing is dispatched.
    QByteArray bytes = hexBytes("03 03 04 00 00 30 39 0D E1");
    while (bytes.size() < size)
        bytes.append(char(bytes.size() & 0xFF));
    probe.receiveFrame(bytes);
    QCOMPARE(lastMemoLine(probe).size(), 3 * size);
    QVERIFY(probe.ReplySeen());
    QCOMPARE(probe.DistanceEdits()[3]->text(), QString());
}

void TestReceive::frameClosesAfterSilence()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.CurrentSlave() = 3;
    probe.LastRegister() = 21;
    probe.comm->deliver(hexBytes("03 03 04 00 00 30 39 0D E1"));
    QTRY_COMPARE_WITH_TIMEOUT(probe.DistanceEdits()[3]->text(), QStringLiteral("1.235"), 5000);
    QCOMPARE(probe.ui().Memo1->lines().size(), 1);
}

QTEST_MAIN(TestReceive)
#include "tst_receive.moc"
