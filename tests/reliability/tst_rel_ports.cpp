// Ports that cannot be opened: one held by another program, and one whose link went dangling after the list was
// built. Either way the user gets the fixed open-failure message, the request that follows fails into the default
// report (nothing can be sent on a closed port), and the next click connects once the port is free again.
#include "reliability_harness.h"

#include <QSerialPort>
#include <QtTest>

using namespace orvik;
using namespace orvik::reltest;

namespace {

const QString kOpenFailed = QStringLiteral("串口打开失败: 当前串口号被占用，获其它错误！");

// The state the failed attempt leaves: message and report once each, the button ready for another try.
void checkFailedAttempt(TForm1Probe& probe, const QString& port)
{
    QCOMPARE(probe.messages, QStringList { kOpenFailed });
    QCOMPARE(probe.failures.size(), 1);
    QVERIFY2(probe.failures.front().contains(port), qPrintable(probe.failures.front()));
    QVERIFY(!probe.DeviceFound());
    QCOMPARE(probe.ui().Button1->text(), QStringLiteral("联机"));
    QVERIFY(probe.ui().Button1->isEnabled());
    QVERIFY(!probe.ui().ComboBox1->isEnabled()); // still on the chosen port, as the attempt left it
}

} // namespace

class TestRelPorts : public QObject {
    Q_OBJECT

private slots:
    void portHeldByAnotherProgram();
    void linkDanglingAfterTheListWasBuilt();
};

void TestRelPorts::portHeldByAnotherProgram()
{
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM53"));
    QVERIFY(sim.start({ "--seed", "53" }));
    // Another program has the device open (by its real path, as every Qt program locks it).
    QSerialPort holder(QFileInfo(sim.linkPath()).canonicalFilePath());
    QVERIFY(holder.open(QIODevice::ReadWrite));

    TForm1Probe probe { TForm1Probe::RealLine {} };
    QVERIFY(!chooseAndConnect(probe, sim.port()));
    checkFailedAttempt(probe, sim.port());
    QVERIFY(sim.records(QStringLiteral("RX")).isEmpty()); // nothing went out

    holder.close();
    probe.messages.clear();
    probe.failures.clear();
    probe.Button1Click();
    QVERIFY(probe.DeviceFound());
    QCOMPARE(probe.ui().StatusBar1->panelText(0), QStringLiteral("联机成功"));
    QVERIFY(probe.messages.isEmpty() && probe.failures.isEmpty());
}

void TestRelPorts::linkDanglingAfterTheListWasBuilt()
{
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM54"));
    QVERIFY(sim.start({ "--seed", "54" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.ComboBox1DropDown();
    const int index = probe.ui().ComboBox1->findText(sim.port());
    QVERIFY(index >= 0);
    probe.ui().ComboBox1->setItemIndex(index);

    // The line goes away and its name is left pointing at nothing.
    sim.stop();
    QVERIFY(!QFileInfo::exists(sim.linkPath()));
    QVERIFY(QFile::link(ports.path() + QStringLiteral("/gone/pts"), sim.linkPath()));
    probe.Button1Click();
    checkFailedAttempt(probe, sim.port());

    // A line comes back under the name, on a new pseudo-terminal: the name still stands for the listed line, which
    // has gone, until the ports are listed again.
    QVERIFY(QFile::remove(sim.linkPath()));
    QVERIFY(sim.start({ "--seed", "55" }));
    probe.messages.clear();
    probe.failures.clear();
    probe.Button1Click();
    checkFailedAttempt(probe, sim.port());
    QVERIFY(sim.records(QStringLiteral("RX")).isEmpty());

    probe.ComboBox1DropDown();
    probe.ui().ComboBox1->setItemIndex(probe.ui().ComboBox1->findText(sim.port()));
    probe.messages.clear();
    probe.failures.clear();
    probe.Button1Click();
    QVERIFY(probe.DeviceFound());
    QVERIFY(probe.messages.isEmpty() && probe.failures.isEmpty());
}

QTEST_MAIN(TestRelPorts)
#include "tst_rel_ports.moc"
