// Reply decoding and dispatch, the distance text, the integer conversion and the port-name order.
#include "distance_text.h"
#include "frame_meaning.h"
#include "int_conversion.h"
#include "port_names.h"
#include "reply_decoder.h"
#include "wire_kit.h"

#include <QLocale>
#include <QTest>
#include <climits>

using namespace orvik;
using namespace orvik::test;

namespace {

// Sets the process's default locale for one test and puts the previous one back.
class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

// The text the receive assembly builds for a reply: every byte as "HH ".
QString rxTextOf(const QString& wire)
{
    return wire.isEmpty() ? QString() : wire + QLatin1Char(' ');
}

// A function-3 reply of `size` bytes whose CRC is right over its whole length, as if the buffer had no limit. Its
// CRC high byte is made 0, so a check that read past the buffer as zeros would take a 257-byte reply for valid.
QByteArray longValidReply(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + 1);
    bytes[1] = 3;
    quint16 crc = 0xFFFF;
    for (int tweak = 0; tweak < 0x10000; ++tweak) {
        bytes[0] = static_cast<char>(tweak >> 8);
        bytes[2] = static_cast<char>(tweak & 0xFF);
        crc = modbusCrc(QByteArrayView(bytes).first(size - 2));
        if ((crc >> 8) == 0) break;
    }
    bytes[size - 2] = static_cast<char>(crc & 0xFF);
    bytes[size - 1] = static_cast<char>(crc >> 8);
    return bytes;
}

} // namespace

class TestLinkReplies : public QObject {
    Q_OBJECT

private slots:
    void decodeHexText_data();
    void decodeHexText();
    void decodeLongText_data();
    void decodeLongText();
    void replyCrc_data();
    void replyCrc();
    void frameMeaning_data();
    void frameMeaning();
    void deviceInfo_data();
    void deviceInfo();
    void distanceValueAtEdges_data();
    void distanceValueAtEdges();
    void distanceText_data();
    void distanceText();
    void distanceTextInLocale_data();
    void distanceTextInLocale();
    void strToInt_data();
    void strToInt();
    void portNumber_data();
    void portNumber();
    void sortPortNames_data();
    void sortPortNames();
};

void TestLinkReplies::decodeHexText_data()
{
    QTest::addColumn<QString>("rxText");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("frame"); // the placed bytes; everything after them must be 0

    QTest::newRow("distance reply") << "03 03 04 00 00 30 39 0D E1 " << 9 << "03 03 04 00 00 30 39 0D E1";
    QTest::newRow("count below the groups") << "03 03 04 00 00 " << 3 << "03 03 04";
    QTest::newRow("count above the groups") << "01 02 " << 5 << "01 02";
    QTest::newRow("no trailing blank") << "01 02" << 2 << "01 02";
    QTest::newRow("a lone digit is no group") << "0" << 1 << "";
    QTest::newRow("two digits are a group") << "0A" << 1 << "0A";
    QTest::newRow("empty text") << "" << 3 << "";
    QTest::newRow("count 0") << "01 02 " << 0 << "";
    QTest::newRow("negative count") << "01 02 " << -5 << "";
    QTest::newRow("lower case reads as 0") << "0a a0 " << 2 << "00 00";
    QTest::newRow("non-hex reads as 0") << "G1 1G 1: " << 3 << "01 10 10";
    QTest::newRow("Chinese reads as 0") << "波特 1率 " << 2 << "00 10";
    QTest::newRow("third character skipped whatever it is") << "01X02YFF" << 3 << "01 02 FF";
}

void TestLinkReplies::decodeHexText()
{
    QFETCH(QString, rxText);
    QFETCH(int, count);
    QFETCH(QString, frame);

    ScratchBuffer buffer;
    buffer.fill(0xEE); // leftovers of an earlier frame must not survive
    const int placed = orvik::decodeHexText(rxText, count, buffer);
    const QByteArray expected = hexBytes(frame);
    QCOMPARE(placed, int(expected.size()));
    QCOMPARE(wireHex(buffer, static_cast<std::size_t>(placed)), frame);
    for (std::size_t i = static_cast<std::size_t>(placed); i < buffer.size(); ++i)
        QCOMPARE(buffer[i], quint8(0));
}

void TestLinkReplies::decodeLongText_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("257 bytes") << 257;
    QTest::newRow("1000 bytes") << 1000;
}

// A frame longer than the buffer: only its first 256 bytes are placed, and it is never a valid reply, even when its
// CRC would be right over its whole length.
void TestLinkReplies::decodeLongText()
{
    QFETCH(int, size);
    const QByteArray reply = longValidReply(size);
    QCOMPARE(reply.back(), '\0');
    QString rxText;
    for (char byte : reply)
        rxText += wireHex(QByteArray(1, byte)) + QLatin1Char(' ');

    ScratchBuffer frame {};
    QCOMPARE(orvik::decodeHexText(rxText, size, frame), 256);
    QCOMPARE(wireHex(frame), wireHex(reply.left(256)));
    QVERIFY(!replyCrcValid(frame, size));
    for (quint8 reg : { 17, 21 })
        QCOMPARE(interpretFrame(rxText, size, SentRequest { quint8(reply[0]), reg, {} }).kind, FrameKind::Damaged);
}

void TestLinkReplies::replyCrc_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("valid");

    QTest::newRow("distance reply") << "03 03 04 00 00 30 39 0D E1" << 9 << true;
    QTest::newRow("distance reply ending in E0") << "03 03 04 00 00 30 39 0D E0" << 9 << false;
    QTest::newRow("CRC bytes swapped") << "03 03 04 00 00 30 39 E1 0D" << 9 << false;
    QTest::newRow("device information") << "01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8" << 17 << true;
    QTest::newRow("baud echo") << "01 06 00 18 4B 00 3F 3D" << 8 << true;
    QTest::newRow("exception reply") << "03 83 02 61 31" << 5 << true;
    QTest::newRow("two replies merged") << "03 03 04 00 00 30 39 0D E1 01 06 00 18 4B 00 3F 3D" << 17 << false;
    QTest::newRow("count shorter than the frame") << "03 03 04 00 00 30 39 0D E1" << 8 << false;
    QTest::newRow("2 bytes: CRC of nothing") << "FF FF" << 2 << true;
    QTest::newRow("2 bytes, wrong") << "FF FE" << 2 << false;
    QTest::newRow("1 byte has no CRC") << "FF" << 1 << false;
    QTest::newRow("0 bytes") << "" << 0 << false;
    QTest::newRow("negative count") << "FF FF" << -1 << false;
    QTest::newRow("beyond the buffer") << "" << 257 << false;
    QTest::newRow("far beyond the buffer") << "" << INT_MAX << false;
}

void TestLinkReplies::replyCrc()
{
    QFETCH(QString, frame);
    QFETCH(int, count);
    QFETCH(bool, valid);
    QCOMPARE(replyCrcValid(hexArray<256>(frame), count), valid);
}

// The frame judged against the request just sent: who may answer, the shape of the awaited answer, and an adapter's
// copy of the request.
void TestLinkReplies::frameMeaning_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<FrameKind>("kind");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<int>("echoBytes");

    const QString infoRead = "FF 03 00 11 00 06 80 13";
    const QString info = "01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8";
    const QString poll1 = "01 03 00 15 00 02 D5 CF";
    const QString poll3 = "03 03 00 15 00 02 D4 2D";
    const QString poll4 = "04 03 00 15 00 02 D5 9A";
    const QString distance3 = "03 03 04 00 00 30 39 0D E1";
    const QString baudWrite = "FF 06 00 18 4B 00 2A E3";
    const QString baudConfirmed = "01 06 00 18 4B 00 3F 3D";
    // clang-format off
    // Who may answer the device at 255: 255 itself or any unicast address.
    QTest::newRow("device information, its own address") << infoRead << info << FrameKind::DeviceInfo << true << 0;
    QTest::newRow("device information, 255") << infoRead << "FF 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 B0 E8" << FrameKind::DeviceInfo << true << 0;
    QTest::newRow("device information, 247") << infoRead << "F7 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 B8 EE" << FrameKind::DeviceInfo << true << 0;
    QTest::newRow("device information, reserved 248") << infoRead << "F8 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 F7 EA" << FrameKind::ForeignAddress << false << 0;
    QTest::newRow("device information, broadcast 0") << infoRead << "00 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 0F A8" << FrameKind::ForeignAddress << false << 0;
    QTest::newRow("device information damaged") << infoRead << "01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A9" << FrameKind::Damaged << false << 0;
    // The answer's shape.
    QTest::newRow("late poll answer to the device read") << infoRead << distance3 << FrameKind::Other << true << 0;
    QTest::newRow("device read, 10 data bytes") << infoRead << "01 03 0A 00 02 00 07 00 05 00 01 00 01 E2 40 C7 6E" << FrameKind::Other << true << 0;
    QTest::newRow("device read, 16 bytes") << infoRead << "01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 DE 4F" << FrameKind::Other << true << 0;
    QTest::newRow("distance, 2 data bytes") << poll3 << "03 03 02 30 39 15 96" << FrameKind::Other << true << 0;
    QTest::newRow("baud confirmed, its own address") << baudWrite << baudConfirmed << FrameKind::BaudConfirmed << true << 0;
    QTest::newRow("baud confirmed, 255") << baudWrite << baudWrite << FrameKind::BaudConfirmed << true << 0;
    QTest::newRow("confirmation of another rate") << baudWrite << "01 06 00 18 25 80 12 FD" << FrameKind::Other << true << 0;
    QTest::newRow("confirmation of another register") << baudWrite << "01 06 00 11 00 02 58 0E" << FrameKind::Other << true << 0;
    QTest::newRow("read answer to the baud write") << baudWrite << info << FrameKind::Other << true << 0;
    QTest::newRow("write confirmation to a poll") << poll1 << baudConfirmed << FrameKind::Other << true << 0;
    QTest::newRow("other write confirmed") << "FF 06 00 11 00 02 4D D0" << "FF 06 00 11 00 02 4D D0" << FrameKind::Other << true << 0;
    QTest::newRow("exception of 6 bytes") << poll1 << "01 83 02 00 F1 50" << FrameKind::Other << true << 0;
    QTest::newRow("exception of 5 bytes") << poll3 << "03 83 02 61 31" << FrameKind::TooShort << false << 0;
    // A slave answers only under its own address.
    QTest::newRow("distance of the polled slave") << poll3 << distance3 << FrameKind::Distance << true << 0;
    QTest::newRow("previous slave answers late") << poll4 << distance3 << FrameKind::ForeignAddress << false << 0;
    QTest::newRow("damaged, polled slave") << poll3 << "03 03 04 00 00 30 39 0D E0" << FrameKind::Damaged << true << 0;
    QTest::newRow("damaged, other slave") << poll4 << "03 03 04 00 00 30 39 0D E0" << FrameKind::ForeignAddress << false << 0;
    // The adapter's copy of the request.
    QTest::newRow("read echo alone") << infoRead << infoRead << FrameKind::Echo << false << 0;
    QTest::newRow("read echo twice") << infoRead << infoRead + " " + infoRead << FrameKind::Echo << false << 8;
    QTest::newRow("echo and answer in one frame") << infoRead << infoRead + " " + info << FrameKind::DeviceInfo << true << 8;
    QTest::newRow("echo and a stray byte") << infoRead << infoRead + " 00" << FrameKind::TooShort << false << 8;
    QTest::newRow("poll echo and distance") << poll3 << poll3 + " " + distance3 << FrameKind::Distance << true << 8;
    QTest::newRow("write echo and confirmation") << baudWrite << baudWrite + " " + baudConfirmed << FrameKind::BaudConfirmed << true << 8;
    // clang-format on
}

void TestLinkReplies::frameMeaning()
{
    QFETCH(QString, sent);
    QFETCH(QString, frame);
    QFETCH(FrameKind, kind);
    QFETCH(bool, answered);
    QFETCH(int, echoBytes);

    const QByteArray request = hexBytes(sent);
    RequestFrame bytes {};
    std::copy(request.begin(), request.end(), bytes.begin());
    const SentRequest asked { bytes[0], bytes[3], bytes };
    const FrameMeaning meaning = interpretFrame(rxTextOf(frame), static_cast<qint32>(hexBytes(frame).size()), asked);
    QCOMPARE(meaning.kind, kind);
    QCOMPARE(meaning.answered, answered);
    QCOMPARE(meaning.echoBytes, echoBytes);
    if (kind == FrameKind::Distance) QCOMPARE(meaning.distance, 12345);
    if (kind == FrameKind::DeviceInfo) QCOMPARE(meaning.device.physicalAddress, quint8(7));
}

void TestLinkReplies::deviceInfo_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QList<int>>("bytes"); // mode, physical address, delay, logical address
    QTest::addColumn<int>("distance");

    QTest::newRow("example device") << "01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8" << QList<int> { 2, 7, 5, 1 }
                                    << 123456;
    QTest::newRow("mode 4 passed on unchecked")
        << "01 03 0C 00 04 00 07 00 05 00 01 00 01 E2 40 D0 20" << QList<int> { 4, 7, 5, 1 } << 123456;
    QTest::newRow("bytes above 127, negative distance")
        << "01 03 0C 00 03 00 FF 00 FF 00 FE FF FF CF C7 EB 5D" << QList<int> { 3, 255, 255, 254 } << -12345;
    // A frame shorter than the layout: byte 8 is its CRC high byte, what lies beyond it reads 0.
    QTest::newRow("9 bytes under the 17-byte layout")
        << "03 03 04 00 00 30 39 0D E1" << QList<int> { 0, 0x39, 0xE1, 0 } << 0;
}

void TestLinkReplies::deviceInfo()
{
    QFETCH(QString, reply);
    QFETCH(QList<int>, bytes);
    QFETCH(int, distance);

    ScratchBuffer frame;
    frame.fill(0x55);
    const auto count = static_cast<qint32>(hexBytes(reply).size());
    orvik::decodeHexText(rxTextOf(reply), count, frame);
    QVERIFY(replyCrcValid(frame, count));
    const DeviceInfo info = decodeDeviceInfo(frame);
    QCOMPARE(int(info.mode), bytes[0]);
    QCOMPARE(int(info.physicalAddress), bytes[1]);
    QCOMPARE(int(info.delay), bytes[2]);
    QCOMPARE(int(info.logicalAddress), bytes[3]);
    QCOMPARE(info.distance, distance);
}

void TestLinkReplies::distanceValueAtEdges_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");

    QTest::newRow("distance reply") << "03 03 04 00 00 30 39 0D E1" << kDistanceOffset << 12345;
    QTest::newRow("largest") << "01 03 04 7F FF FF FF D2 67" << kDistanceOffset << INT_MAX;
    QTest::newRow("smallest") << "01 03 04 80 00 00 00 D3 F3" << kDistanceOffset << INT_MIN;
    QTest::newRow("minus 16") << "01 03 04 FF FF FF F0 BB A3" << kDistanceOffset << -16;
    QTest::newRow("high word first") << "00 01 00 02" << 0 << 0x00010002;
    QTest::newRow("negative offset reads 0 before the buffer") << "12 34" << -2 << 0x1234;
    QTest::newRow("offset INT_MIN") << "12 34" << INT_MIN << 0;
    QTest::newRow("offset INT_MAX") << "12 34" << INT_MAX << 0;
    QTest::newRow("offset 256") << "12 34" << 256 << 0;
}

void TestLinkReplies::distanceValueAtEdges()
{
    QFETCH(QString, frame);
    QFETCH(int, offset);
    QFETCH(int, value);
    QCOMPARE(distanceValue(hexArray<256>(frame), offset), value);

    // The last bytes of the buffer, with what lies beyond reading as 0.
    ScratchBuffer tail {};
    tail[254] = 0x12;
    tail[255] = 0x34;
    QCOMPARE(distanceValue(tail, 254), 0x12340000);
    QCOMPARE(distanceValue(tail, 253), 0x00123400);
}

void TestLinkReplies::distanceText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("half up") << 12345 << "1.235";
    QTest::newRow("below half") << 12344 << "1.234";
    QTest::newRow("tens of metres") << 123456 << "12.346";
    QTest::newRow("whole number") << 20000 << "2";
    QTest::newRow("trailing zeros dropped") << 500 << "0.05";
    QTest::newRow("one decimetre") << 1000 << "0.1";
    QTest::newRow("five rounds up to a millimetre") << 5 << "0.001";
    QTest::newRow("four rounds to 0") << 4 << "0";
    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("rounds to the next metre") << 99995 << "10";
    QTest::newRow("zero inside the decimals") << 10010 << "1.001";
    QTest::newRow("no group separator") << 12345678 << "1234.568";
    QTest::newRow("negative") << -12345 << "-1.234";
    QTest::newRow("minus 16 is not symmetric") << -16 << "-0.001";
    QTest::newRow("minus 15") << -15 << "-0.001";
    QTest::newRow("minus 14 is 0, not -0") << -14 << "0";
    QTest::newRow("minus 6 is 0") << -6 << "0";
    QTest::newRow("minus one metre is not symmetric") << -10000 << "-0.999";
    QTest::newRow("minus one metre") << -10005 << "-1";
    QTest::newRow("largest") << INT_MAX << "214748.365";
    QTest::newRow("smallest") << INT_MIN << "-214748.364";
    QTest::newRow("just below largest") << INT_MAX - 2 << "214748.365";
    QTest::newRow("just above smallest") << INT_MIN + 1 << "-214748.364";
}

void TestLinkReplies::distanceText()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(orvik::distanceText(value, QLatin1Char('.')), text);
    QString comma = text;
    comma.replace(QLatin1Char('.'), QLatin1Char(','));
    QCOMPARE(orvik::distanceText(value, QLatin1Char(',')), comma);
}

void TestLinkReplies::distanceTextInLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("C") << QLocale::c() << 12345678 << "1234.568";
    QTest::newRow("Chinese") << QLocale(QLocale::Chinese, QLocale::China) << 12345678 << "1234.568";
    QTest::newRow("German comma, no group dot") << QLocale(QLocale::German, QLocale::Germany) << 12345678 << "1234,568";
    QTest::newRow("German whole number") << QLocale(QLocale::German, QLocale::Germany) << -20005 << "-2";
    QTest::newRow("Swiss apostrophe groups unused")
        << QLocale(QLocale::German, QLocale::Switzerland) << 123456789 << "12345.679";
}

void TestLinkReplies::distanceTextInLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(int, value);
    QFETCH(QString, text);
    const DefaultLocale scope(locale);
    QCOMPARE(orvik::distanceText(value), text);
}

void TestLinkReplies::strToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("plain") << "7" << true << 7;
    QTest::newRow("several digits") << "115200" << true << 115200;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("plus sign") << "+5" << true << 5;
    QTest::newRow("minus zero") << "-0" << true << 0;
    QTest::newRow("largest") << "2147483647" << true << INT_MAX;
    QTest::newRow("smallest") << "-2147483648" << true << INT_MIN;
    QTest::newRow("many leading zeros") << "000000000000000000000012" << true << 12;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("leading blank") << " 7" << false << 0;
    QTest::newRow("trailing blank") << "7 " << false << 0;
    QTest::newRow("exponent") << "1e3" << false << 0;
    QTest::newRow("C hex") << "0x10" << false << 0;
    QTest::newRow("dollar hex") << "$10" << false << 0;
    QTest::newRow("one past largest") << "2147483648" << false << 0;
    QTest::newRow("one past smallest") << "-2147483649" << false << 0;
    QTest::newRow("far too large") << "99999999999" << false << 0;
    QTest::newRow("long enough to overflow 64 bits") << "99999999999999999999999" << false << 0;
    QTest::newRow("sign alone") << "-" << false << 0;
    QTest::newRow("plus alone") << "+" << false << 0;
    QTest::newRow("two signs") << "--5" << false << 0;
    QTest::newRow("decimal point") << "1.5" << false << 0;
    QTest::newRow("group separator") << "1,000" << false << 0;
    QTest::newRow("Chinese") << "波特率" << false << 0;
    QTest::newRow("full-width digits") << "１２" << false << 0;
    QTest::newRow("Arabic-Indic digits") << "\u0661\u0662" << false << 0;
}

void TestLinkReplies::strToInt()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);

    if (valid) {
        QCOMPARE(StrToInt(text), value);
        return;
    }
    try {
        StrToInt(text);
        QFAIL("no ConversionError");
    } catch (const ConversionError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), "'" + text + "' is not a valid integer value");
    }
}

void TestLinkReplies::portNumber_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("message"); // empty when the entry converts

    QTest::newRow("COM1") << "COM1" << 1 << "";
    QTest::newRow("COM10") << "COM10" << 10 << "";
    QTest::newRow("COM255") << "COM255" << 255 << "";
    QTest::newRow("first three skipped whatever they are") << "xyz42" << 42 << "";
    QTest::newRow("just COM") << "COM" << 0 << "'' is not a valid integer value";
    QTest::newRow("shorter than three") << "CO" << 0 << "'' is not a valid integer value";
    QTest::newRow("empty entry") << "" << 0 << "'' is not a valid integer value";
    QTest::newRow("device path") << "ttyUSB0" << 0 << "'USB0' is not a valid integer value";
}

void TestLinkReplies::portNumber()
{
    QFETCH(QString, entry);
    QFETCH(int, number);
    QFETCH(QString, message);

    if (message.isEmpty()) {
        QCOMPARE(portNumberOf(entry), number);
        return;
    }
    QVERIFY_THROWS_EXCEPTION(ConversionError, portNumberOf(entry));
    try {
        portNumberOf(entry);
    } catch (const ConversionError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), message);
    }
}

void TestLinkReplies::sortPortNames_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("sorted");

    const QList<QLocale> locales { QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::Chinese, QLocale::China), QLocale(QLocale::German, QLocale::Germany) };
    for (const QLocale& locale : locales) {
        const QByteArray name = locale.name().toLatin1();
        QTest::addRow("%s: as text, not as numbers", name.constData())
            << locale << QStringList { "COM3", "COM1", "COM10", "COM2" }
            << QStringList { "COM1", "COM10", "COM2", "COM3" };
        QTest::addRow("%s: case ignored", name.constData())
            << locale << QStringList { "COM2", "com1", "Com3" } << QStringList { "com1", "COM2", "Com3" };
        QTest::addRow("%s: equal but for case keeps its order", name.constData())
            << locale << QStringList { "COM1", "com1", "Com1" } << QStringList { "COM1", "com1", "Com1" };
        QTest::addRow("%s: same, other order", name.constData())
            << locale << QStringList { "com1", "Com1", "COM1" } << QStringList { "com1", "Com1", "COM1" };
        QTest::addRow("%s: duplicates kept", name.constData())
            << locale << QStringList { "COM2", "COM1", "COM2" } << QStringList { "COM1", "COM2", "COM2" };
        QTest::addRow("%s: device names", name.constData())
            << locale << QStringList { "ttyUSB0", "ttyS1", "ttyACM0", "ttyS0" }
            << QStringList { "ttyACM0", "ttyS0", "ttyS1", "ttyUSB0" };
        QTest::addRow("%s: empty", name.constData()) << locale << QStringList {} << QStringList {};
        // Enough names that a sort which is not stable would reorder the ones equal but for case.
        QStringList many;
        QStringList manySorted;
        const QStringList cases { "com%1", "COM%1", "Com%1", "cOm%1", "coM%1", "COm%1", "CoM%1", "cOM%1" };
        for (int number : { 3, 1, 2 }) {
            for (const QString& pattern : cases)
                many << pattern.arg(number);
        }
        for (int number : { 1, 2, 3 }) {
            for (const QString& pattern : cases)
                manySorted << pattern.arg(number);
        }
        QTest::addRow("%s: stable over many names", name.constData()) << locale << many << manySorted;
    }
}

void TestLinkReplies::sortPortNames()
{
    QFETCH(QLocale, locale);
    QFETCH(QStringList, names);
    QFETCH(QStringList, sorted);
    const DefaultLocale scope(locale);
    QCOMPARE(orvik::sortPortNames(names), sorted);
}

QTEST_APPLESS_MAIN(TestLinkReplies)
#include "tst_link_replies.moc"
