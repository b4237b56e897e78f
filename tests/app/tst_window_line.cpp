// The window on the real serial control over a pseudo-terminal: frames are closed by 25 ms of silence on a real line.
#include "form_probe.h"
#include "pty_device.h"

#include <QTemporaryDir>
#include <QtTest>
#include <thread>

using namespace orvik;

namespace {

QStringList memoLines(TForm1Probe& probe)
{
    const QString text = probe.ui().Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

} // namespace

class TestWindowLine : public QObject {
    Q_OBJECT

private slots:
    void init();
    void chunksSplitBySilence_data();
    void chunksSplitBySilence();
    void replyStraddlingAWaitSliceStaysWhole();

private:
    std::unique_ptr<QTemporaryDir> m_ports;
    std::unique_ptr<test::PtyDevice> m_device;
};

void TestWindowLine::init()
{
    m_ports = std::make_unique<QTemporaryDir>();
    m_device = std::make_unique<test::PtyDevice>();
    qputenv("ORVIK_PORTS_DIR", m_ports->path().toLocal8Bit());
    QVERIFY(QFile::link(m_device->slavePath(), m_ports->filePath(QStringLiteral("COM5"))));
}

void TestWindowLine::chunksSplitBySilence_data()
{
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<QStringList>("lines");
    const QStringList whole { "03 03 04 00 00 30 39 0D E1 " };
    QTest::newRow("gaps of 5 ms: one frame") << 5 << whole;
    QTest::newRow("gaps of 15 ms: one frame") << 15 << whole;
    QTest::newRow("gaps of 80 ms: three frames") << 80 << QStringList({ "03 03 04 ", "00 00 30 ", "39 0D E1 " });
}

void TestWindowLine::chunksSplitBySilence()
{
    QFETCH(int, gapMs);
    QFETCH(QStringList, lines);
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.connectDirectly(9600, 5);
    probe.CurrentSlave() = 3;
    probe.LastRegister() = 21;
    for (int chunk = 0; chunk < 3; ++chunk) {
        const QByteArray bytes = hexBytes("03 03 04 00 00 30 39 0D E1").mid(3 * chunk, 3);
        QTimer::singleShot(gapMs * chunk, &probe.window(), [this, bytes] { m_device->send(bytes); });
    }
    QTRY_COMPARE_WITH_TIMEOUT(memoLines(probe).size(), lines.size(), 5000);
    QTest::qWait(60);
    QCOMPARE(memoLines(probe), lines);
    QCOMPARE(probe.DistanceEdits()[3]->text(), lines.size() == 1 ? QStringLiteral("1.235") : QString());
}

void TestWindowLine::replyStraddlingAWaitSliceStaysWhole()
{
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.connectDirectly(9600, 5);
    probe.DeviceFound() = false;
    probe.sendDeviceInfoRead();
    QTRY_COMPARE_WITH_TIMEOUT(m_device->heard(), hexBytes("FF 03 00 11 00 06 80 13"), 5000);
    // Both halves land inside one 100 ms sleep: the end-of-frame timer is overdue before the bytes are looked at.
    const QByteArray reply = hexBytes("01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8");
    // The far end writes from its own thread while the window thread sleeps.
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_device->send(reply.left(8));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        m_device->send(reply.mid(8));
    });
    probe.WaitMs(300);
    device.join();
    QTRY_VERIFY_WITH_TIMEOUT(probe.DeviceFound(), 5000);
    QCOMPARE(memoLines(probe), QStringList({ wireHex(reply) + QLatin1Char(' ') }));
    QCOMPARE(probe.ui().Panel13->caption(), QStringLiteral("12.346"));
}

QTEST_MAIN(TestWindowLine)
#include "tst_window_line.moc"
