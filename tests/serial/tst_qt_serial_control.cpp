#include "pty_device.h"
#include "qt_serial_control.h"
#include "wire_kit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <ctime>

using namespace orvik;
using orvik::test::hexBytes;
using orvik::test::PtyDevice;

namespace {

qint64 processCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Collects what the program's receive handler would see.
struct Receiver {
    QList<int> events;
    QList<int> counts; // bytes waiting at each receive event
    QByteArray bytes;
    bool take = true; // false leaves the bytes in the control
    bool offThread = false;

    void attach(SerialControl& control)
    {
        control.setOnComm([this](SerialControl* sender) {
            offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
            events.append(sender->commEvent());
            if (sender->commEvent() == kComEvReceive) {
                counts.append(sender->inBufferCount());
                if (take) bytes += sender->inputData();
            }
        });
    }
};

constexpr int kWaitMs = 5000;

} // namespace

class TestQtSerialControl : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void opensAtTheSettings_data();
    void opensAtTheSettings();
    void lineRefusesSettings();
    void bytesBothWaysOnTheWindowThread();
    void staleBytesNeverArrive();
    void discardKeepsBytesInTheDriver();
    void thresholdAndInputLen();
    void secondOpenFails_data();
    void secondOpenFails();
    void refusals_data();
    void refusals();
    void vanishedDeviceReportsOnceAndRests();
    void reopenInsideReceiveHandler();
    void throwingHandlerKeepsPortWorking();

private:
    void plugIn(int number, const PtyDevice& pty);
    QTemporaryDir m_ports;
};

void TestQtSerialControl::initTestCase()
{
    QVERIFY(m_ports.isValid());
    qputenv("ORVIK_PORTS_DIR", m_ports.path().toLocal8Bit());
}

void TestQtSerialControl::cleanup()
{
    for (const QString& name : QDir(m_ports.path()).entryList(QDir::System | QDir::NoDotAndDotDot))
        QFile::remove(m_ports.filePath(name));
}

void TestQtSerialControl::plugIn(int number, const PtyDevice& pty)
{
    const QString link = m_ports.filePath(QStringLiteral("COM%1").arg(number));
    QFile::remove(link);
    QVERIFY(QFile::link(pty.slavePath(), link));
}

// A pty keeps only the rate and the stop-bit flag: it forces 8 data bits without parity and refuses the rest.
void TestQtSerialControl::opensAtTheSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<uint>("baud");
    QTest::addColumn<bool>("twoStopBits");
    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << 9600u << false;
    QTest::newRow("600,N,8,2") << "600,N,8,2" << 600u << true;
    QTest::newRow("115200,n,8,1") << "115200,n,8,1" << 115200u << false;
    QTest::newRow("odd rate, 1.5 stop") << "250000,N,8,1.5" << 250000u << true;
}

void TestQtSerialControl::opensAtTheSettings()
{
    QFETCH(QString, settings);
    QFETCH(uint, baud);
    QFETCH(bool, twoStopBits);
    PtyDevice pty;
    plugIn(7, pty);
    QtSerialControl control;
    control.setCommPort(7);
    control.setSettings(settings);
    control.setPortOpen(true);
    QCOMPARE(control.devicePath(), pty.slavePath());
    QCOMPARE(pty.lineState().baud, baud);
    QCOMPARE(pty.lineState().twoStopBits, twoStopBits);
    // A new setting takes effect on the open port at once.
    control.setSettings(QStringLiteral("57600,N,8,1"));
    QCOMPARE(pty.lineState().baud, 57600u);
    QCOMPARE(pty.lineState().twoStopBits, false);
}

void TestQtSerialControl::lineRefusesSettings()
{
    PtyDevice pty;
    plugIn(7, pty);
    QtSerialControl control;
    control.setCommPort(7);
    control.setSettings(QStringLiteral("600,E,7,1")); // well formed; checked by the line at the open
    QVERIFY_THROWS_EXCEPTION(SerialError, control.setPortOpen(true));
    QVERIFY(!control.portOpen()); // not left half open, holding the lock

    control.setSettings(QStringLiteral("1200,N,8,1"));
    control.setPortOpen(true);
    QVERIFY_THROWS_EXCEPTION(SerialError, control.setSettings(QStringLiteral("600,E,7,1")));
    QVERIFY(control.portOpen());
    QCOMPARE(control.settings(), QStringLiteral("1200,N,8,1"));
    QCOMPARE(pty.lineState().baud, 1200u); // the rate went back with the refused parity
}

void TestQtSerialControl::bytesBothWaysOnTheWindowThread()
{
    PtyDevice pty;
    plugIn(3, pty);
    QtSerialControl control;
    control.setCommPort(3);
    Receiver receiver;
    receiver.attach(control);
    control.setPortOpen(true);
    control.setOutputData(hexBytes("FF 03 00 11 00 06 80 13"));
    QTRY_COMPARE_WITH_TIMEOUT(pty.heard(), hexBytes("FF 03 00 11 00 06 80 13"), kWaitMs);
    pty.send(hexBytes("FF 03 0C 00 01 00 02 00 00 00 0A 00 00 30 39"));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.bytes, hexBytes("FF 03 0C 00 01 00 02 00 00 00 0A 00 00 30 39"), kWaitMs);
    QVERIFY(!receiver.offThread);
    QVERIFY(!receiver.events.isEmpty());
    QVERIFY(std::all_of(receiver.events.begin(), receiver.events.end(), [](int e) { return e == kComEvReceive; }));
    QCOMPARE(control.inBufferCount(), 0);
}

void TestQtSerialControl::staleBytesNeverArrive()
{
    PtyDevice pty;
    plugIn(4, pty);
    pty.send(hexBytes("AA BB CC")); // the line delivered these before the program opened the port
    QtSerialControl control;
    control.setCommPort(4);
    Receiver receiver;
    receiver.attach(control);
    control.setPortOpen(true);
    pty.send(hexBytes("01 02"));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.bytes, hexBytes("01 02"), kWaitMs);
}

void TestQtSerialControl::discardKeepsBytesInTheDriver()
{
    PtyDevice pty;
    plugIn(4, pty);
    QtSerialControl control;
    control.setCommPort(4);
    control.setPortOpen(true);
    pty.send(hexBytes("01 02"));
    QTRY_COMPARE_WITH_TIMEOUT(control.inBufferCount(), 2, kWaitMs);
    pty.send(hexBytes("03 04 05")); // still in the driver: no event loop has run since
    control.setInBufferCount(0);
    QCOMPARE(control.inBufferCount(), 0);
    // Without an event loop turn the bytes stay in the driver, where only bytesArriving() sees them.
    for (int i = 0; i < 200 && !control.bytesArriving(); ++i)
        QThread::msleep(5);
    QVERIFY(control.bytesArriving());
    QTRY_COMPARE_WITH_TIMEOUT(control.inBufferCount(), 3, kWaitMs);
    QVERIFY(!control.bytesArriving());
    QCOMPARE(control.inputData(), hexBytes("03 04 05"));
}

void TestQtSerialControl::thresholdAndInputLen()
{
    PtyDevice pty;
    plugIn(4, pty);
    QtSerialControl control;
    control.setCommPort(4);
    control.setRThreshold(3);
    control.setInputLen(2);
    Receiver receiver;
    receiver.take = false;
    receiver.attach(control);
    control.setPortOpen(true);
    pty.send(hexBytes("01 02"));
    QTRY_COMPARE_WITH_TIMEOUT(control.inBufferCount(), 2, kWaitMs);
    pty.send(hexBytes("03"));
    QTRY_VERIFY_WITH_TIMEOUT(!receiver.events.isEmpty(), kWaitMs);
    QCOMPARE(receiver.counts, QList<int> { 3 });
    QCOMPARE(control.inputData(), hexBytes("01 02"));
    QCOMPARE(control.inBufferCount(), 1);
}

void TestQtSerialControl::secondOpenFails_data()
{
    QTest::addColumn<int>("secondName");
    // The same name twice: tst_serial_contract.
    QTest::newRow("second name for the device") << 8;
}

void TestQtSerialControl::secondOpenFails()
{
    QFETCH(int, secondName);
    PtyDevice pty;
    plugIn(7, pty);
    plugIn(8, pty);
    QtSerialControl first;
    QtSerialControl second;
    first.setCommPort(7);
    second.setCommPort(secondName);
    first.setPortOpen(true);
    QVERIFY_THROWS_EXCEPTION(SerialError, second.setPortOpen(true));
    QVERIFY(!second.portOpen());
    first.setPortOpen(false);
    second.setPortOpen(true); // the lock went with the first close
    QVERIFY(second.portOpen());
}

void TestQtSerialControl::refusals_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("message");
    QTest::newRow("number naming nothing") << "open 250"
                                           << "COM250 is not a serial port on this machine";
    QTest::newRow("write on a closed port") << "write"
                                            << "COM6: the port is not open";
    QTest::newRow("malformed settings") << "settings"
                                        << "Invalid port settings: ',N,8,1'";
    QTest::newRow("open twice") << "open 6 twice"
                                << "COM6 is already open";
}

void TestQtSerialControl::refusals()
{
    QFETCH(QString, step);
    PtyDevice pty;
    plugIn(6, pty);
    QtSerialControl control;
    control.setCommPort(step == QLatin1String("open 250") ? 250 : 6);
    if (step == QLatin1String("open 6 twice") || step == QLatin1String("settings")) control.setPortOpen(true);
    try {
        if (step == QLatin1String("write"))
            control.setOutputData(hexBytes("01 02"));
        else if (step == QLatin1String("settings"))
            control.setSettings(QStringLiteral(",N,8,1"));
        else
            control.setPortOpen(true);
        QFAIL("no failure");
    } catch (const SerialError& error) {
        QFETCH(QString, message);
        QCOMPARE(QString::fromUtf8(error.what()), message);
    }
    QCOMPARE(control.settings(), QStringLiteral("9600,N,8,1"));
    if (control.portOpen()) QCOMPARE(pty.lineState().baud, 9600u);
    control.setPortOpen(false);
    control.setPortOpen(false); // closing a closed port does nothing
}

void TestQtSerialControl::vanishedDeviceReportsOnceAndRests()
{
    auto pty = std::make_unique<PtyDevice>();
    plugIn(5, *pty);
    QtSerialControl control;
    control.setCommPort(5);
    Receiver receiver;
    receiver.attach(control);
    control.setPortOpen(true);
    pty->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(receiver.events, QList<int> { kComEventPortLost }, kWaitMs);
    QVERIFY(!control.portOpen());
    QVERIFY(control.devicePath().isEmpty());

    // The event loop keeps running for a second: a port left open would spin at 100 % of a core.
    const qint64 before = processCpuMs();
    QTest::qWait(1000);
    const qint64 spent = processCpuMs() - before;
    QVERIFY2(spent < 200, qPrintable(QStringLiteral("%1 ms of CPU in 1 s after the loss").arg(spent)));
    QCOMPARE(receiver.events, QList<int> { kComEventPortLost });

    pty = std::make_unique<PtyDevice>(); // the device comes back under the same name
    plugIn(5, *pty);
    control.setPortOpen(true);
    pty->send(hexBytes("42"));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.bytes, hexBytes("42"), kWaitMs);
}

void TestQtSerialControl::reopenInsideReceiveHandler()
{
    PtyDevice pty;
    plugIn(2, pty);
    QtSerialControl control;
    control.setCommPort(2);
    QByteArray received;
    control.setOnComm([&](SerialControl* sender) {
        if (sender->settings().startsWith(QLatin1String("19200,"))) {
            received += sender->inputData();
            return;
        }
        sender->setPortOpen(false);
        sender->setSettings(QStringLiteral("19200,N,8,1"));
        sender->setPortOpen(true);
    });
    control.setPortOpen(true);
    pty.send(hexBytes("01"));
    QTRY_COMPARE_WITH_TIMEOUT(pty.lineState().baud, 19200u, kWaitMs);
    QVERIFY(control.portOpen());
    pty.send(hexBytes("02 03"));
    QTRY_COMPARE_WITH_TIMEOUT(received, hexBytes("02 03"), kWaitMs);
}

void TestQtSerialControl::throwingHandlerKeepsPortWorking()
{
    PtyDevice pty;
    plugIn(2, pty);
    QtSerialControl control;
    control.setCommPort(2);
    QByteArray received;
    control.setOnComm([&](SerialControl* sender) {
        received += sender->inputData();
        if (received.size() == 1) throw SerialError("boom");
    });
    control.setPortOpen(true);
    QTest::ignoreMessage(QtCriticalMsg, "Serial event handler failed: boom");
    pty.send(hexBytes("01"));
    QTRY_COMPARE_WITH_TIMEOUT(received, hexBytes("01"), kWaitMs);
    pty.send(hexBytes("02"));
    QTRY_COMPARE_WITH_TIMEOUT(received, hexBytes("01 02"), kWaitMs);
}

QTEST_GUILESS_MAIN(TestQtSerialControl)
#include "tst_qt_serial_control.moc"
