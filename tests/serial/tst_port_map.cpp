#include "port_listing.h"
#include "port_map.h"
#include "pty_device.h"
#include "qt_serial_control.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <unistd.h>

using namespace orvik;
using orvik::test::PtyDevice;

// Link targets are named by token in the tables: pty0, pty1 (terminals), file, dir, null (/dev/null, a character
// device that is no terminal), gone (a path that does not exist); anything else is taken as a path.
class TestPortMap : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void mapping_data();
    void mapping();
    void directoryFromEnvironment_data();
    void directoryFromEnvironment();
    void findsLinkThroughEnvironment();
    void listingHoldsTheDevice_data();
    void listingHoldsTheDevice();

private:
    QString target(const QString& token) const;
    QString token(const QString& path) const;

    QTemporaryDir m_scratch;
    std::unique_ptr<PtyDevice> m_pty[2];
};

void TestPortMap::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    for (auto& pty : m_pty)
        pty = std::make_unique<PtyDevice>();
    QFile file(m_scratch.filePath(QStringLiteral("plain")));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QString TestPortMap::target(const QString& name) const
{
    if (name == QLatin1String("pty0") || name == QLatin1String("pty1"))
        return m_pty[name.back().digitValue()]->slavePath();
    if (name == QLatin1String("file")) return m_scratch.filePath(QStringLiteral("plain"));
    if (name == QLatin1String("dir")) return m_scratch.path();
    if (name == QLatin1String("null")) return QStringLiteral("/dev/null");
    if (name == QLatin1String("gone")) return m_scratch.filePath(QStringLiteral("gone"));
    return name;
}

QString TestPortMap::token(const QString& path) const
{
    for (int i = 0; i < 2; ++i) {
        if (path == m_pty[i]->slavePath()) return QStringLiteral("pty%1").arg(i);
    }
    return path;
}

void TestPortMap::mapping_data()
{
    QTest::addColumn<QStringList>("links"); // "COM3>pty0"; a name without '>' is a plain file
    QTest::addColumn<QStringList>("system");
    QTest::addColumn<QStringList>("expected"); // "COM3 pty0 link" or "COM1 /dev/ttyS0 system"
    using L = QStringList;
    QTest::newRow("links") << L { "COM10>pty1", "COM3>pty0" } << L {} << L { "COM3 pty0 link", "COM10 pty1 link" };
    QTest::newRow("no terminal, no port") << L { "COM1>file", "COM2>gone", "COM4>dir", "COM5>null", "COM7",
        "COM6>pty0" } << L {} << L { "COM6 pty0 link" };
    QTest::newRow("names") << L { "COM0>pty0", "COM256>pty0", "com3>pty0", "COM03>pty0", "COMx>pty0", "COM3x>pty0",
        "COM>pty0", "xCOM4>pty0", "COM255>pty1" }
                           << L {} << L { "COM255 pty1 link" };
    QTest::newRow("two names, one device")
        << L { "COM2>pty0", "COM9>pty0" } << L {} << L { "COM2 pty0 link", "COM9 pty0 link" };
    QTest::newRow("system fills free numbers")
        << L { "COM1>pty0", "COM3>pty1" }
        << L { "/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyS1", "/dev/ttyUSB0", "/dev/ttyS10", "/dev/ttyS2",
               "/dev/ttyAMA0", "/dev/rfcomm0" }
        << L { "COM1 pty0 link", "COM2 /dev/ttyS1 system", "COM3 pty1 link", "COM4 /dev/ttyS2 system",
               "COM5 /dev/ttyS10 system", "COM6 /dev/ttyUSB0 system", "COM7 /dev/ttyUSB1 system",
               "COM8 /dev/ttyACM0 system", "COM9 /dev/rfcomm0 system", "COM10 /dev/ttyAMA0 system" };
    QTest::newRow("linked system device listed once")
        << L { "COM5>pty0" } << L { "pty0", "/dev/ttyS0" } << L { "COM1 /dev/ttyS0 system", "COM5 pty0 link" };
    QTest::newRow("missing folder") << L { "-" } << L { "/dev/ttyS0" } << L { "COM1 /dev/ttyS0 system" };
}

void TestPortMap::mapping()
{
    QFETCH(QStringList, links);
    QFETCH(QStringList, system);
    QTemporaryDir dir;
    QString folder = dir.path();
    for (const QString& link : links) {
        const QStringList parts = link.split(QLatin1Char('>'));
        if (link == QLatin1String("-"))
            folder = dir.filePath(QStringLiteral("missing"));
        else if (parts.size() == 1)
            QVERIFY(QFile(dir.filePath(link)).open(QIODevice::WriteOnly));
        else
            QVERIFY(QFile::link(target(parts[1]), dir.filePath(parts[0])));
    }
    QStringList devices;
    for (const QString& device : system)
        devices.append(target(device));

    QStringList actual;
    for (const PortEntry& port : mapPorts(folder, devices)) {
        const bool linked = port.origin != QLatin1String("system");
        if (linked) QCOMPARE(port.origin, QDir(folder).filePath(port.name));
        QCOMPARE(port.name, QStringLiteral("COM%1").arg(port.number));
        actual.append(QStringLiteral("%1 %2 %3").arg(port.name, token(port.devicePath), linked ? "link" : "system"));
    }
    QFETCH(QStringList, expected);
    QCOMPARE(actual, expected);
}

void TestPortMap::directoryFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("portsDir");
    QTest::addColumn<QByteArray>("runtimeDir");
    QTest::addColumn<QString>("expected");
    const QString byUid = QStringLiteral("/tmp/orvik-ports-%1").arg(::getuid());
    QTest::newRow("explicit wins") << QByteArray("/a/ports") << QByteArray("/run/u") << QStringLiteral("/a/ports");
    QTest::newRow("runtime dir") << QByteArray() << QByteArray("/run/u") << QStringLiteral("/run/u/orvik-ports");
    QTest::newRow("neither") << QByteArray() << QByteArray() << byUid;
}

void TestPortMap::directoryFromEnvironment()
{
    QFETCH(QByteArray, portsDir);
    QFETCH(QByteArray, runtimeDir);
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("ORVIK_PORTS_DIR", portsDir);
    qputenv("XDG_RUNTIME_DIR", runtimeDir);
    const QString actual = portsDirectory();
    qunsetenv("ORVIK_PORTS_DIR");
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

void TestPortMap::findsLinkThroughEnvironment()
{
    QTemporaryDir dir;
    QVERIFY(QFile::link(m_pty[0]->slavePath(), dir.filePath(QStringLiteral("COM250"))));
    qputenv("ORVIK_PORTS_DIR", dir.path().toLocal8Bit());
    const std::optional<PortEntry> found = findPort(250);
    const std::optional<PortEntry> missing = findPort(251);
    const QList<PortEntry> all = listPorts();
    qunsetenv("ORVIK_PORTS_DIR");

    QVERIFY(found);
    QCOMPARE(found->devicePath, m_pty[0]->slavePath());
    QVERIFY(!missing);
    QVERIFY(all.contains(*found));
    for (qsizetype i = 1; i < all.size(); ++i)
        QVERIFY(all[i - 1].number < all[i].number);
}

void TestPortMap::listingHoldsTheDevice_data()
{
    QTest::addColumn<QString>("change"); // what happens between the listing and the open of COM5
    QTest::addColumn<QString>("hears"); // the device the opened port reaches; empty: the open fails
    QTest::newRow("nothing") << ""
                             << "pty0";
    QTest::newRow("link retargeted") << "retarget"
                                     << "pty0";
    QTest::newRow("link retargeted, listed again") << "retarget, list again"
                                                   << "pty1";
    QTest::newRow("listed device gone, its number reused") << "gone"
                                                           << "";
    QTest::newRow("link made after the listing") << "late link"
                                                 << "";
}

void TestPortMap::listingHoldsTheDevice()
{
    QFETCH(QString, change);
    QFETCH(QString, hears);
    QTemporaryDir dir;
    qputenv("ORVIK_PORTS_DIR", dir.path().toLocal8Bit());
    auto doomed = std::make_unique<PtyDevice>();
    const QString link = dir.filePath(QStringLiteral("COM5"));
    QVERIFY(QFile::link(change == "gone" ? doomed->slavePath() : m_pty[0]->slavePath(), link));
    if (change != "late link") takePortListing();
    if (change.startsWith("retarget")) {
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(m_pty[1]->slavePath(), link));
    }
    if (change.endsWith("list again")) takePortListing();
    std::unique_ptr<PtyDevice> successor;
    if (change == "gone") {
        const QString path = doomed->slavePath();
        doomed.reset();
        QTest::qSleep(50); // node times count in clock ticks; a person takes longer than that
        successor = std::make_unique<PtyDevice>(); // most likely under the same /dev/pts number
        QVERIFY(QFile::link(successor->slavePath(), dir.filePath(QStringLiteral("COM6"))));
    }
    if (change == "late link") {
        takePortListing();
        QVERIFY(QFile::link(m_pty[1]->slavePath(), dir.filePath(QStringLiteral("COM6"))));
    }

    QtSerialControl control;
    control.setCommPort(change == "late link" ? 6 : 5);
    if (hears.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(SerialError, control.setPortOpen(true));
        qunsetenv("ORVIK_PORTS_DIR");
        return;
    }
    PtyDevice& expected = *m_pty[hears.back().digitValue()];
    PtyDevice& other = *m_pty[1 - hears.back().digitValue()];
    const qsizetype expectedBefore = expected.heard().size();
    const qsizetype otherBefore = other.heard().size();
    control.setPortOpen(true);
    control.setOutputData(QByteArray::fromHex("0102"));
    QVERIFY(QTest::qWaitFor([&] { return expected.heard().size() > expectedBefore; }, 5000));
    QCOMPARE(other.heard().size(), otherBefore);
    qunsetenv("ORVIK_PORTS_DIR");
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_port_map.moc"
