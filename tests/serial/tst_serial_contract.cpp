// One contract for both serial controls: the real one over a pseudo-terminal and the scripted fake the window tests
// use. Every case runs against each, so the fake cannot promise what the real control does not do.
#include "fake_serial_control.h"
#include "pty_device.h"
#include "qt_serial_control.h"
#include "wire_kit.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using namespace orvik;
using namespace orvik::test;

namespace {

constexpr int kPort = 7;
constexpr int kWaitMs = 5000; // generous: bytes cross a pty in well under a millisecond

// One serial line with the program's controls on one end and a device on the other.
class Line {
public:
    virtual ~Line() = default;
    // A new control set to this line's port, closed.
    virtual SerialControl& newControl() = 0;
    // The device sends bytes towards the program.
    virtual void send(const QByteArray& bytes) = 0;
    // Everything the program wrote so far.
    virtual QByteArray heard() = 0;
};

class PtyLine final : public Line {
public:
    explicit PtyLine(const QString& portsDir)
    {
        const QString link = portsDir + QStringLiteral("/COM%1").arg(kPort);
        QFile::remove(link);
        QFile::link(m_pty.slavePath(), link);
    }
    SerialControl& newControl() override
    {
        m_controls.push_back(std::make_unique<QtSerialControl>());
        m_controls.back()->setCommPort(kPort);
        return *m_controls.back();
    }
    void send(const QByteArray& bytes) override { m_pty.send(bytes); }
    QByteArray heard() override { return m_pty.heard(); }

private:
    PtyDevice m_pty;
    std::vector<std::unique_ptr<QtSerialControl>> m_controls;
};

class FakeLine final : public Line {
public:
    SerialControl& newControl() override
    {
        m_controls.push_back(std::make_unique<FakeSerialControl>());
        m_controls.back()->setCommPort(kPort);
        return *m_controls.back();
    }
    // A closed control drops what reaches it, as the real one does.
    void send(const QByteArray& bytes) override
    {
        for (const auto& control : m_controls)
            control->deliver(bytes);
    }
    QByteArray heard() override
    {
        QByteArray all;
        for (const auto& control : m_controls)
            all += control->written().join();
        return all;
    }

private:
    std::vector<std::unique_ptr<FakeSerialControl>> m_controls;
};

// What the program's receive handler sees.
struct Receiver {
    QList<int> events;
    QByteArray bytes;
    bool take = true;

    void attach(SerialControl& control)
    {
        control.setOnComm([this](SerialControl* sender) {
            events.append(sender->commEvent());
            if (take) bytes += sender->inputData();
        });
    }
};

} // namespace

class TestSerialContract : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void openWriteClose_data() { addImplementations(); }
    void openWriteClose();
    void busyPort_data() { addImplementations(); }
    void busyPort();
    void refusals_data();
    void refusals();
    void receiveEvent_data() { addImplementations(); }
    void receiveEvent();
    void closeDropsWaitingBytes_data() { addImplementations(); }
    void closeDropsWaitingBytes();

private:
    static void addImplementations();
    std::unique_ptr<Line> makeLine();
    QTemporaryDir m_ports;
};

void TestSerialContract::initTestCase()
{
    QVERIFY(m_ports.isValid());
    qputenv("ORVIK_PORTS_DIR", m_ports.path().toLocal8Bit());
}

void TestSerialContract::addImplementations()
{
    QTest::addColumn<bool>("real");
    QTest::newRow("real over a pty") << true;
    QTest::newRow("scripted fake") << false;
}

std::unique_ptr<Line> TestSerialContract::makeLine()
{
    QFETCH(bool, real);
    if (real) return std::make_unique<PtyLine>(m_ports.path());
    return std::make_unique<FakeLine>();
}

void TestSerialContract::openWriteClose()
{
    const auto line = makeLine();
    SerialControl& control = line->newControl();
    control.setSettings(QStringLiteral("19200,N,8,1"));
    control.setPortOpen(true);
    QVERIFY(control.portOpen());
    control.setOutputData(hexBytes("FF 03 00 11 00 06 80 13"));
    QTRY_COMPARE_WITH_TIMEOUT(wireHex(line->heard()), QStringLiteral("FF 03 00 11 00 06 80 13"), kWaitMs);
    control.setPortOpen(false);
    QVERIFY(!control.portOpen());
    control.setPortOpen(false); // closing a closed port does nothing
    control.setPortOpen(true);
    QVERIFY(control.portOpen());
}

void TestSerialContract::busyPort()
{
    const auto line = makeLine();
    SerialControl& first = line->newControl();
    SerialControl& second = line->newControl();
    first.setPortOpen(true);
    QVERIFY_THROWS_EXCEPTION(SerialError, second.setPortOpen(true));
    QVERIFY(!second.portOpen());
    QVERIFY(first.portOpen());
    first.setPortOpen(false);
    second.setPortOpen(true); // the port is free again once the first control closed it
    QVERIFY(second.portOpen());
}

void TestSerialContract::refusals_data()
{
    QTest::addColumn<bool>("real");
    QTest::addColumn<QString>("step");
    for (const bool real : { true, false }) {
        for (const char* step :
            { "write on a closed port", "malformed settings", "settings without a rate", "open twice" })
            QTest::addRow("%s: %s", real ? "real" : "fake", step) << real << QString::fromLatin1(step);
    }
}

void TestSerialContract::refusals()
{
    QFETCH(QString, step);
    const auto line = makeLine();
    SerialControl& control = line->newControl();
    if (step == QLatin1String("write on a closed port")) {
        QVERIFY_THROWS_EXCEPTION(SerialError, control.setOutputData(hexBytes("01 02")));
    } else if (step == QLatin1String("open twice")) {
        control.setPortOpen(true);
        QVERIFY_THROWS_EXCEPTION(SerialError, control.setPortOpen(true));
        QVERIFY(control.portOpen());
    } else {
        control.setPortOpen(true);
        const QString text
            = step == QLatin1String("malformed settings") ? QStringLiteral("9600,N,8") : QStringLiteral(",N,8,1");
        QVERIFY_THROWS_EXCEPTION(SerialError, control.setSettings(text));
        QVERIFY(control.portOpen());
    }
    QCOMPARE(control.settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(line->heard().isEmpty());
}

void TestSerialContract::receiveEvent()
{
    const auto line = makeLine();
    SerialControl& control = line->newControl();
    Receiver receiver;
    receiver.attach(control);
    line->send(hexBytes("AA BB")); // before the open: not this session's bytes
    control.setPortOpen(true);
    line->send(hexBytes("03 03 04 00 00 30 39 0D E1"));
    QTRY_COMPARE_WITH_TIMEOUT(wireHex(receiver.bytes), QStringLiteral("03 03 04 00 00 30 39 0D E1"), kWaitMs);
    QVERIFY(!receiver.events.isEmpty());
    QVERIFY(std::all_of(receiver.events.begin(), receiver.events.end(), [](int e) { return e == kComEvReceive; }));

    // With the handler unset the event is dropped and the bytes wait in the control.
    control.setOnComm(nullptr);
    const qsizetype events = receiver.events.size();
    line->send(hexBytes("01"));
    QTRY_COMPARE_WITH_TIMEOUT(control.inBufferCount(), 1, kWaitMs);
    QCOMPARE(receiver.events.size(), events);
    QCOMPARE(wireHex(control.inputData()), QStringLiteral("01"));
}

void TestSerialContract::closeDropsWaitingBytes()
{
    const auto line = makeLine();
    SerialControl& control = line->newControl();
    Receiver receiver;
    receiver.take = false;
    receiver.attach(control);
    control.setPortOpen(true);
    line->send(hexBytes("01 02 03"));
    QTRY_COMPARE_WITH_TIMEOUT(control.inBufferCount(), 3, kWaitMs);
    control.setPortOpen(false);
    QCOMPARE(control.inBufferCount(), 0);
    line->send(hexBytes("04")); // a closed port receives nothing
    control.setPortOpen(true);
    QTest::qWait(50);
    QCOMPARE(control.inBufferCount(), 0);
}

QTEST_GUILESS_MAIN(TestSerialContract)
#include "tst_serial_contract.moc"
