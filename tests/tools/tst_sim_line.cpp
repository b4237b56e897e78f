// The real orvik-sim on its pseudo-terminal, talked to through its port link the way the monitor does.
#include "port_map.h"
#include "sim_harness.h"
#include "wire_kit.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

using namespace orvik::simtest;
using namespace orvik::test;

class TestSimLine : public QObject {
    Q_OBJECT
private slots:
    void init();
    void answers_data();
    void answers();
    void garbageAtWrongSpeed();
    void pacingAt600();
    void delays_data();
    void delays();
    void echoAtOnce();
    void framingBySilence_data();
    void framingBySilence();
    void switchesRateAfterEcho();
    void signalRemovesLink_data();
    void signalRemovesLink();
    void exitAfterCutsLine();
    void liveLinkIsKept();
    void portMapFindsTheLine();
    void logFileMatchesStdout();
    void independentMaster();

private:
    QString linkPath(const QString& port = QStringLiteral("COM9")) const { return m_dir->filePath(port); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSimLine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSimLine::answers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply"); // empty: silence
    QTest::addColumn<QString>("witness"); // what the log must say
    const QStringList fixed { "--distance", "fixed:1234.5" };
    QTest::newRow("device info") << fixed << 9600 << hexBytes("FF 03 00 11 00 06 80 13")
                                 << hexBytes("01 03 0C 00 00 00 01 00 00 00 01 00 00 30 39 77 32")
                                 << "RX 9600 FF 03 00 11 00 06 80 13 read 255 reg 17 x6";
    QTest::newRow("device info under 255")
        << fixed + QStringList { "--answer-255" } << 9600 << hexBytes("FF 03 00 11 00 06 80 13")
        << hexBytes("FF 03 0C 00 00 00 01 00 00 00 01 00 00 30 39 09 72") << "TX 9600 FF 03 0C";
    QTest::newRow("phys 7 at 600") << fixed + QStringList { "--baud", "600", "--phys", "7" } << 600
                                   << hexBytes("FF 03 00 11 00 02 81 D0") << hexBytes("01 03 04 00 00 00 07 BB F1")
                                   << "TX 600 01 03 04 00 00 00 07 BB F1";
    QTest::newRow("sensor at 115200") << fixed + QStringList { "--baud", "115200" } << 115200
                                      << hexBytes("03 03 00 15 00 02 D4 2D") << hexBytes("03 03 04 00 00 30 39 0D E1")
                                      << "distance 3 = 12345";
    QTest::newRow("exception") << fixed << 9600 << hexBytes("FF 03 00 17 00 01 21 D0") << hexBytes("01 83 02 C0 F1")
                               << "TX 9600 01 83 02 C0 F1 exception 02";
    QTest::newRow("sensor not served") << QStringList { "--slaves", "1,2" } << 9600
                                       << hexBytes("03 03 00 15 00 02 D4 2D") << QByteArray()
                                       << "ignored: address 3 not served";
    QTest::newRow("wrong speed") << QStringList {} << 600 << hexBytes("FF 03 00 11 00 06 80 13") << QByteArray()
                                 << "RX 600 FF 03 00 11 00 06 80 13 ignored: speed 600 != 9600";
    QTest::newRow("bad crc") << QStringList {} << 9600 << hexBytes("FF 03 00 11 00 06 80 12") << QByteArray()
                             << "ignored: bad crc";
    QTest::newRow("adapter echo") << fixed + QStringList { "--echo" } << 9600 << hexBytes("03 03 00 15 00 02 D4 2D")
                                  << hexBytes("03 03 00 15 00 02 D4 2D 03 03 04 00 00 30 39 0D E1") << "adapter echo";
}

void TestSimLine::answers()
{
    QFETCH(QStringList, args);
    QFETCH(int, baud);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QString, witness);
    SimRun sim(m_dir->path());
    QVERIFY(sim.start(QStringList { "--port", "COM9" } + args));
    QVERIFY(QFileInfo(linkPath()).isSymLink());
    LinePort port;
    QVERIFY(port.open(linkPath(), baud));
    // Silence is judged over a whole second: far beyond any reply time at these speeds.
    port.write(request);
    const Heard heard = port.listen(reply.isEmpty() ? 1000 : 300, reply.isEmpty() ? 1000 : 3000);
    QCOMPARE(wireHex(heard.bytes), wireHex(reply));
    QVERIFY2(sim.waitForOutput(witness), qPrintable(sim.output()));
}

void TestSimLine::garbageAtWrongSpeed()
{
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9", "--garbage-on-mismatch", "--seed", "5" }));
    LinePort port;
    QVERIFY(port.open(linkPath(), 600));
    const QByteArray heard = port.ask(hexBytes("FF 03 00 11 00 06 80 13"));
    QVERIFY2(heard.size() >= 2 && heard.size() <= 6, qPrintable(wireHex(heard)));
    QVERIFY(sim.waitForOutput(QStringLiteral("TX 600 %1 garbage").arg(wireHex(heard))));
}

void TestSimLine::pacingAt600()
{
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9", "--baud", "600" }));
    LinePort port;
    QVERIFY(port.open(linkPath(), 600));
    port.write(hexBytes("01 03 00 15 00 02 D5 CF"));
    const Heard heard = port.listen(300);
    QCOMPARE(heard.bytes.size(), 9);
    // At 600 baud a character is 16.67 ms: the request crosses in 8, the silence that ends it is 3.5, then 3 ms of
    // turnaround and the 9 reply characters. The first reply byte is complete after its own character time.
    const double charMs = 10000.0 / 600;
    const double lastExpected = (8 + 3.5 + 9) * charMs + 3;
    const double spanExpected = 8 * charMs;
    const qint64 last = heard.chunkMs.back();
    const qint64 span = last - heard.firstMs();
    QVERIFY2(std::abs(last - lastExpected) <= 0.1 * lastExpected,
        qPrintable(QStringLiteral("last byte after %1 ms, expected %2").arg(last).arg(lastExpected)));
    QVERIFY2(std::abs(span - spanExpected) <= 0.1 * spanExpected,
        qPrintable(QStringLiteral("reply spread over %1 ms, expected %2").arg(span).arg(spanExpected)));
    QVERIFY(heard.chunkMs.size() >= 5); // paced, not one burst
}

void TestSimLine::delays_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("firstAtLeastMs");
    QTest::addColumn<int>("firstBelowMs");
    QTest::addColumn<int>("gapAtLeastMs");
    QTest::newRow("late") << QStringList { "--late-ms", "400" } << 400 << 3000 << 0;
    QTest::newRow("late, this device") << QStringList { "--late-ms", "255:400" } << 400 << 3000 << 0;
    QTest::newRow("late, another device") << QStringList { "--late-ms", "400", "--late-ms", "255:0" } << 0 << 300 << 0;
    QTest::newRow("gap") << QStringList { "--gap-ms", "120" } << 0 << 3000 << 110;
}

void TestSimLine::delays()
{
    QFETCH(QStringList, args);
    QFETCH(int, firstAtLeastMs);
    QFETCH(int, firstBelowMs);
    QFETCH(int, gapAtLeastMs);
    SimRun sim(m_dir->path());
    QVERIFY(sim.start(QStringList { "--port", "COM9" } + args));
    LinePort port;
    QVERIFY(port.open(linkPath(), 9600));
    port.write(hexBytes("FF 03 00 11 00 06 80 13"));
    const Heard heard = port.listen(600);
    QCOMPARE(heard.bytes.size(), 17);
    QVERIFY2(heard.firstMs() >= firstAtLeastMs && heard.firstMs() < firstBelowMs,
        qPrintable(QString::number(heard.firstMs())));
    qint64 widest = 0;
    for (qsizetype i = 1; i < heard.chunkMs.size(); ++i)
        widest = std::max(widest, heard.chunkMs[i] - heard.chunkMs[i - 1]);
    QVERIFY2(widest >= gapAtLeastMs, qPrintable(QString::number(widest)));
}

// The echo does not wait for the 58 ms of silence that end a frame at 600 baud, nor for the right rate.
void TestSimLine::echoAtOnce()
{
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9", "--echo" }));
    LinePort port;
    QVERIFY(port.open(linkPath(), 600));
    port.write(hexBytes("FF 03 00 11 00 06 80 13"));
    const Heard heard = port.listen(300);
    QCOMPARE(wireHex(heard.bytes), QStringLiteral("FF 03 00 11 00 06 80 13"));
    QVERIFY2(heard.firstMs() < 40, qPrintable(QString::number(heard.firstMs())));
}

void TestSimLine::framingBySilence_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<bool>("answered");
    // At 9600 the two halves are apart by far more than 3.5 characters (3.6 ms) after the first has crossed; at 600
    // the first half is still crossing the line (67 ms, then 58 ms of silence) when the second comes.
    QTest::newRow("9600, 150 ms apart") << 9600 << 150 << false;
    QTest::newRow("600, 20 ms apart") << 600 << 20 << true;
}

void TestSimLine::framingBySilence()
{
    QFETCH(int, baud);
    QFETCH(int, pauseMs);
    QFETCH(bool, answered);
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9", "--baud", QString::number(baud) }));
    LinePort port;
    QVERIFY(port.open(linkPath(), baud));
    port.write(hexBytes("FF 03 00 11"));
    QTest::qSleep(pauseMs); // the pause on the line is what is under test
    port.write(hexBytes("00 06 80 13"));
    const Heard heard = port.listen(answered ? 300 : 1000, answered ? 3000 : 1000);
    QCOMPARE(heard.bytes.size(), answered ? 17 : 0);
    if (!answered) {
        QVERIFY(sim.waitForOutput(QStringLiteral("RX %1 FF 03 00 11 ignored: bad crc").arg(baud)));
        QVERIFY(sim.waitForOutput(QStringLiteral("RX %1 00 06 80 13 ignored: bad crc").arg(baud)));
    }
}

void TestSimLine::switchesRateAfterEcho()
{
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9" }));
    LinePort port;
    QVERIFY(port.open(linkPath(), 9600));
    QCOMPARE(wireHex(port.ask(hexBytes("FF 06 00 18 4B 00 2A E3"))), "01 06 00 18 4B 00 3F 3D");
    QVERIFY(sim.waitForOutput(QStringLiteral("RATE 19200 devices now at 19200 baud")));
    QCOMPARE(port.ask(hexBytes("FF 03 00 18 00 01 11 D3"), 1000).size(), 0);
    QVERIFY(port.setBaud(19200));
    QCOMPARE(wireHex(port.ask(hexBytes("FF 03 00 18 00 01 11 D3"))), "01 03 02 4B 00 8E B4");
}

void TestSimLine::signalRemovesLink_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::newRow("TERM") << int { SIGTERM } << "TERM";
    QTest::newRow("INT") << int { SIGINT } << "INT";
    QTest::newRow("HUP") << int { SIGHUP } << "HUP";
}

void TestSimLine::signalRemovesLink()
{
    QFETCH(int, signal);
    QFETCH(QString, name);
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9" }));
    QVERIFY(QFileInfo(linkPath()).isSymLink());
    ::kill(static_cast<pid_t>(sim.process().processId()), signal);
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo(linkPath()).isSymLink());
    QVERIFY(sim.output().contains(QStringLiteral("line closed (signal %1)").arg(name)));
}

void TestSimLine::exitAfterCutsLine()
{
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9", "--exit-after", "1" }));
    LinePort port;
    QVERIFY(port.open(linkPath(), 9600));
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo(linkPath()).isSymLink());
    QVERIFY(sim.output().contains(u"line closed (cut after 1 s)"));
    QVERIFY(port.hungUp());
}

void TestSimLine::liveLinkIsKept()
{
    SimRun first(m_dir->path());
    QVERIFY(first.start({ "--port", "COM9" }));
    const QString firstTarget = QFileInfo(linkPath()).symLinkTarget();

    SimRun refused(m_dir->path());
    QVERIFY(!refused.start({ "--port", "COM9" }));
    QVERIFY(refused.waitForExit());
    QCOMPARE(refused.process().exitCode(), 1);
    QVERIFY(QString::fromUtf8(refused.process().readAllStandardError()).contains(u"--force"));
    QCOMPARE(QFileInfo(linkPath()).symLinkTarget(), firstTarget);

    // Taken over by force, the link now belongs to the second line; the first leaves it alone when it goes.
    SimRun forced(m_dir->path());
    QVERIFY(forced.start({ "--port", "COM9", "--force" }));
    const QString forcedTarget = QFileInfo(linkPath()).symLinkTarget();
    QVERIFY(forcedTarget != firstTarget);
    first.process().terminate();
    QVERIFY(first.waitForExit());
    QCOMPARE(QFileInfo(linkPath()).symLinkTarget(), forcedTarget);
    forced.process().terminate();
    QVERIFY(forced.waitForExit());
    QVERIFY(!QFileInfo(linkPath()).isSymLink());

    // A link left by a line that is gone is simply replaced.
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/999999"), linkPath()));
    SimRun after(m_dir->path());
    QVERIFY(after.start({ "--port", "COM9" }));
    QVERIFY(QFileInfo(linkPath()).symLinkTarget() != QStringLiteral("/dev/pts/999999"));
}

void TestSimLine::portMapFindsTheLine()
{
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9" }));
    const std::optional<orvik::PortEntry> entry = orvik::findPort(9, m_dir->path());
    QVERIFY(entry);
    QCOMPARE(entry->name, "COM9");
    QCOMPARE(entry->devicePath, QFileInfo(linkPath()).symLinkTarget());
    QVERIFY(sim.output().contains(QStringLiteral("COM9 -> %1 at 9600 baud, slaves 1-16").arg(entry->devicePath)));
}

void TestSimLine::logFileMatchesStdout()
{
    const QString logPath = m_dir->filePath(QStringLiteral("line.log"));
    SimRun sim(m_dir->path());
    QVERIFY(sim.start({ "--port", "COM9", "--log", logPath }));
    LinePort port;
    QVERIFY(port.open(linkPath(), 9600));
    QCOMPARE(port.ask(hexBytes("01 03 00 15 00 02 D5 CF")).size(), 9);
    sim.process().terminate();
    QVERIFY(sim.waitForExit());
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(log.readAll());
    QCOMPARE(written, sim.output());
    const QStringList lines = written.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4); // banner, RX, TX, closed
    QVERIFY(lines[0].startsWith(u"orvik-sim: COM9 -> /dev/pts/"));
    static const QRegularExpression kFrameLine(QStringLiteral(R"(^\d+\.\d{3} (RX|TX) 9600 ([0-9A-F]{2} )+\S)"));
    QVERIFY2(kFrameLine.match(lines[1]).hasMatch(), qPrintable(lines[1]));
    QVERIFY2(kFrameLine.match(lines[2]).hasMatch(), qPrintable(lines[2]));
}

void TestSimLine::independentMaster()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) QSKIP("no /usr/bin/python3");
    SimRun sim(m_dir->path());
    // A strict master drops an answer under another unit than the one it asked: the device answers under 255 here.
    QVERIFY(sim.start({ "--port", "COM9", "--distance", "fixed:1234.5", "--answer-255" }));
    QProcess peer;
    peer.start(QStringLiteral("/usr/bin/python3"), { QStringLiteral(ORVIK_MODBUS_PEER), linkPath() });
    QVERIFY(peer.waitForFinished(60000));
    const QString said = QString::fromUtf8(peer.readAllStandardOutput());
    if (peer.exitCode() == 77) QSKIP("pymodbus is not installed");
    QVERIFY2(peer.exitCode() == 0, qPrintable(said + QString::fromUtf8(peer.readAllStandardError())));
    QCOMPARE(said.split(u'\n', Qt::SkipEmptyParts),
        QStringList({ "info 0 1 0 1 0 12345", "write19 7", "delay 7", "distance3 0 12345", "reg23 error 2" }));
}

QTEST_GUILESS_MAIN(TestSimLine)
#include "tst_sim_line.moc"
