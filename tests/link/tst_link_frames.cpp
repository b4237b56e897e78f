// Request frames, the CRC, and the assembly of received bytes into hex text.
#include "crc16.h"
#include "request_frame.h"
#include "rx_assembly.h"
#include "wire_hex.h"

#include <QTest>
#include <climits>

using namespace orvik;

class TestLinkFrames : public QObject {
    Q_OBJECT

private slots:
    void crcOfRange_data();
    void crcOfRange();
    void crcOfWholeFrameIsZero_data();
    void crcOfWholeFrameIsZero();
    void requestFrames_data();
    void requestFrames();
    void frameLeavesAsEightBytes();
    void hexByte_data();
    void hexByte();
    void receivedDeliveries_data();
    void receivedDeliveries();
    void frameHeldOpenForPendingBytes();
};

void TestLinkFrames::crcOfRange_data()
{
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("crcOnWire"); // low byte first, as the frame carries it

    const QString digits = toWireHex(QByteArray("123456789"));
    QTest::newRow("check value") << digits << 0 << 8 << "37 4B";
    QTest::newRow("request bytes 0-5") << "FF 03 00 11 00 06 AA BB" << 0 << 5 << "80 13";
    QTest::newRow("inner range") << "00 00 " + digits << 2 << 10 << "37 4B";
    QTest::newRow("one byte") << "01" << 0 << 0 << "7E 80";
    QTest::newRow("empty range") << digits << 5 << 4 << "FF FF";
    QTest::newRow("reply of 2 bytes: last is -1") << "FF FF" << 0 << -1 << "FF FF";
    QTest::newRow("negative first clamps to 0") << digits << -1000 << 8 << "37 4B";
    QTest::newRow("whole buffer") << digits << 0 << 255 << "C7 3C";
    QTest::newRow("all but the last byte") << digits << 0 << 254 << "50 C7";
    QTest::newRow("last beyond buffer clamps to 255") << digits << 0 << 100000 << "C7 3C";
    QTest::newRow("first beyond buffer") << digits << 256 << 300 << "FF FF";
    QTest::newRow("extreme indexes") << digits << INT_MIN << INT_MIN << "FF FF";
    QTest::newRow("whole range from INT_MIN to INT_MAX") << digits << INT_MIN << INT_MAX << "C7 3C";
}

void TestLinkFrames::crcOfRange()
{
    QFETCH(QString, buffer);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, crcOnWire);

    const auto scratch = arrayFromWireHex<256>(buffer);
    const quint16 crc = CalcCrc16(scratch, first, last);
    QByteArray wire;
    wire.append(static_cast<char>(crc & 0xFF)).append(static_cast<char>(crc >> 8));
    QCOMPARE(toWireHex(wire), crcOnWire);
}

void TestLinkFrames::crcOfWholeFrameIsZero_data()
{
    QTest::addColumn<QString>("frame");
    QTest::newRow("device information read") << "FF 03 00 11 00 06 80 13";
    QTest::newRow("distance reply") << "03 03 04 00 00 30 39 0D E1";
    QTest::newRow("device information reply") << "01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8";
}

void TestLinkFrames::crcOfWholeFrameIsZero()
{
    QFETCH(QString, frame);
    const auto scratch = arrayFromWireHex<256>(frame);
    QCOMPARE(CalcCrc16(scratch, 0, static_cast<int>(fromWireHex(frame).size()) - 1), quint16(0));
}

void TestLinkFrames::requestFrames_data()
{
    QTest::addColumn<RequestFrame>("frame");
    QTest::addColumn<QString>("wire");

    QTest::newRow("device information read") << deviceInfoRead() << "FF 03 00 11 00 06 80 13";
    QTest::newRow("distance poll of slave 1") << distancePoll(1) << "01 03 00 15 00 02 D5 CF";
    QTest::newRow("distance poll of slave 16") << distancePoll(16) << "10 03 00 15 00 02 D6 8E";
    QTest::newRow("single measurement") << writeRegister(kRegisterMeasure, 0, 1) << "FF 06 00 10 00 01 5C 11";
    QTest::newRow("calibration") << writeRegister(kRegisterCommand, 0, kCommandCalibrate) << "FF 06 00 58 00 0B 5C 00";
    QTest::newRow("power") << writeRegister(kRegisterCommand, 0, kCommandPower) << "FF 06 00 58 00 16 9C 09";
    QTest::newRow("save") << writeRegister(kRegisterCommand, 0, kCommandSave) << "FF 06 00 58 00 21 DD DF";
    QTest::newRow("working mode 2") << writeRegister(kRegisterMode, 0, 2) << "FF 06 00 11 00 02 4D D0";
    QTest::newRow("logical address 7") << writeRegister(kRegisterLogicalAddress, 0, 7) << "FF 06 00 14 00 07 9D D2";
    QTest::newRow("delay 300 s") << writeRegisterWord(kRegisterDelay, 300) << "FF 06 00 13 01 2C 6D 9C";
    QTest::newRow("baud 9600") << writeRegisterWord(kRegisterBaudRate, 9600) << "FF 06 00 18 25 80 07 23";
    QTest::newRow("baud 115200 keeps the low 16 bits")
        << writeRegisterWord(kRegisterBaudRate, 115200) << "FF 06 00 18 C2 00 4D 73";
    QTest::newRow("baud 57600") << writeRegisterWord(kRegisterBaudRate, 57600) << "FF 06 00 18 E1 00 54 43";
    QTest::newRow("baud 600") << writeRegisterWord(kRegisterBaudRate, 600) << "FF 06 00 18 02 58 1C 89";
    QTest::newRow("built by hand") << buildRequest(255, 3, 21, 0, 2) << "FF 03 00 15 00 02 C0 11";
}

void TestLinkFrames::requestFrames()
{
    QFETCH(RequestFrame, frame);
    QFETCH(QString, wire);
    QCOMPARE(toWireHex(frame), wire);
}

void TestLinkFrames::frameLeavesAsEightBytes()
{
    const QByteArray bytes = toByteArray(writeRegisterWord(kRegisterBaudRate, 115200));
    QCOMPARE(toWireHex(bytes), QStringLiteral("FF 06 00 18 C2 00 4D 73"));
}

void TestLinkFrames::hexByte_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("text");
    QTest::newRow("line feed") << 0x0A << "0A ";
    QTest::newRow("all ones") << 0xFF << "FF ";
    QTest::newRow("zero") << 0x00 << "00 ";
    QTest::newRow("letter then digit") << 0xA0 << "A0 ";
    QTest::newRow("below 16 gets a leading 0") << 0x01 << "01 ";
    QTest::newRow("every letter") << 0xBC << "BC ";
    QTest::newRow("high bit") << 0x80 << "80 ";
}

void TestLinkFrames::hexByte()
{
    QFETCH(int, byte);
    QFETCH(QString, text);
    QString rxText = QStringLiteral("01 ");
    appendHexByte(rxText, static_cast<quint8>(byte));
    QCOMPARE(rxText, "01 " + text);
}

// Each delivery is "count|wire hex of the array the port returned".
void TestLinkFrames::receivedDeliveries_data()
{
    QTest::addColumn<QStringList>("deliveries");
    QTest::addColumn<QList<int>>("appended");
    QTest::addColumn<QString>("rxText");

    QTest::newRow("one 9-byte reply") << QStringList { "9|03 03 04 00 00 30 39 0D E1" } << QList<int> { 9 }
                                      << "03 03 04 00 00 30 39 0D E1 ";
    QTest::newRow("9 bytes in three deliveries") << QStringList { "3|03 03 04", "2|00 00", "4|30 39 0D E1" }
                                                 << QList<int> { 3, 2, 4 } << "03 03 04 00 00 30 39 0D E1 ";
    QTest::newRow("array shorter than the count") << QStringList { "5|01 02 03" } << QList<int> { 3 } << "01 02 03 ";
    QTest::newRow("array longer than the count") << QStringList { "2|01 02 03 04" } << QList<int> { 2 } << "01 02 ";
    QTest::newRow("count 0 appends nothing") << QStringList { "0|01 02" } << QList<int> { 0 } << "";
    QTest::newRow("negative count appends nothing") << QStringList { "-1|01 02" } << QList<int> { 0 } << "";
    QTest::newRow("empty array") << QStringList { "4|" } << QList<int> { 0 } << "";
    QTest::newRow("zero count between bytes")
        << QStringList { "1|FF", "0|", "1|00" } << QList<int> { 1, 0, 1 } << "FF 00 ";
    QTest::newRow("two replies merged") << QStringList { "5|03 83 02 61 31", "5|01 83 02 61 30" } << QList<int> { 5, 5 }
                                        << "03 83 02 61 31 01 83 02 61 30 ";
}

void TestLinkFrames::receivedDeliveries()
{
    QFETCH(QStringList, deliveries);
    QFETCH(QList<int>, appended);
    QFETCH(QString, rxText);

    QString text;
    qint32 count = 0;
    for (qsizetype i = 0; i < deliveries.size(); ++i) {
        const QStringList parts = deliveries[i].split(QLatin1Char('|'));
        const int n = appendReceived(text, count, parts[0].toInt(), fromWireHex(parts[1]));
        QCOMPARE(n, appended[i]);
    }
    QCOMPARE(text, rxText);
    QCOMPARE(count * 3, text.size());
}

// When the silence timer fires with bytes pending, the frame stays open, but never more than a few times in a row
// for a driver whose bytes never come; bytes that do arrive start the count again.
void TestLinkFrames::frameHeldOpenForPendingBytes()
{
    FrameCloser closer;
    QVERIFY(!closer.holdOpen(false));
    for (int i = 0; i < FrameCloser::kMaxHolds; ++i)
        QVERIFY(closer.holdOpen(true));
    QVERIFY(!closer.holdOpen(true));
    QVERIFY(closer.holdOpen(true)); // a new frame starts a new count
    closer.bytesAppended(0);
    for (int i = 1; i < FrameCloser::kMaxHolds; ++i)
        QVERIFY(closer.holdOpen(true));
    closer.bytesAppended(3);
    for (int i = 0; i < FrameCloser::kMaxHolds; ++i)
        QVERIFY(closer.holdOpen(true));
    QVERIFY(!closer.holdOpen(true));
}

QTEST_APPLESS_MAIN(TestLinkFrames)
#include "tst_link_frames.moc"
