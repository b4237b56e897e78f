// orvik-collector as a user and systemd meet it: its configuration, --once against orvik-sim on a pseudo-terminal,
// and the service (readiness and watchdog on a notify socket the test owns, signals, the daily CSV against the
// sim's own log, a pulled and returned line).
#include "config.h"
#include "sim_harness.h"

#include "local_tcp.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace orvik::simtest;

namespace {

constexpr int kBoundMs = 20000; // generous: sanitizers and a shared machine

// A datagram socket standing in for systemd's: what the collector notifies, in order.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path)
        : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    ~NotifySocket() { ::close(m_fd); }
    QStringList messages()
    {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0)
            m_messages << QString::fromUtf8(buffer, n);
        return m_messages;
    }
    int count(const QString& line) { return static_cast<int>(messages().join(u'\n').split(u'\n').count(line)); }
    const QString& path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
    QStringList m_messages;
};

class Collector {
public:
    explicit Collector(const QStringList& args, const QString& notifySocket = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("NOTIFY_SOCKET"));
        if (!notifySocket.isEmpty()) env.insert(QStringLiteral("NOTIFY_SOCKET"), notifySocket);
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(ORVIK_COLLECTOR_PATH), args);
    }
    ~Collector()
    {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool finished(int ms = kBoundMs) { return m_process.waitForFinished(ms); }
    QString errors()
    {
        m_err += QString::fromUtf8(m_process.readAllStandardError());
        return m_err;
    }
    QString output() { return QString::fromUtf8(m_process.readAllStandardOutput()); }
    void signal(int sig) { ::kill(static_cast<pid_t>(m_process.processId()), sig); }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_err;
};

// The distances the sim sent, per slave, in metres: "TX 9600 03 03 04 ... distance 3 = 12345 (1.2345 m)".
QMap<int, QList<double>> simDistances(const QString& logPath)
{
    QFile file(logPath);
    file.open(QIODevice::ReadOnly);
    static const QRegularExpression tx(QStringLiteral(R"( TX .* distance (\d+) = (-?\d+) )"));
    QMap<int, QList<double>> sent;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
        if (const auto m = tx.match(line); m.hasMatch()) sent[m.captured(1).toInt()] << m.captured(2).toDouble() / 1e4;
    return sent;
}

// Per slave, the distances of the CSV files in the folder; the rows without one (unanswered polls) are counted in
// `gaps`.
QMap<int, QList<double>> csvDistances(const QString& dir, QMap<int, int>* gaps = nullptr)
{
    QMap<int, QList<double>> got;
    for (const QFileInfo& info : QDir(dir).entryInfoList({ QStringLiteral("*.csv") }, QDir::Files, QDir::Name)) {
        QFile file(info.filePath());
        file.open(QIODevice::ReadOnly);
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (const QString& line : lines.mid(1)) {
            const QStringList cells = line.split(u',');
            if (cells.size() == 3 && !cells[2].isEmpty())
                got[cells[1].toInt()] << cells[2].toDouble();
            else if (gaps)
                ++(*gaps)[cells[1].toInt()];
        }
    }
    return got;
}

using orvik::testkit::accepts;
using orvik::testkit::freePort;

} // namespace

class TestCollector : public QObject {
    Q_OBJECT
private slots:
    void init();
    void badConfig_data();
    void badConfig();
    void fileUnderCommandLine();
    void once_data();
    void once();
    void onceAgainstPymodbus();
    void serviceAgainstSimLog();
    void pulledLineReturns();
    void publishesEveryDistance();

private:
    QString port() const { return m_dir->filePath(QStringLiteral("COM7")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCollector::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("ORVIK_PORTS_DIR", m_dir->path().toUtf8());
}

void TestCollector::badConfig_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file"); // the --config file's text, none when empty
    QTest::addColumn<QString>("said"); // in the one line on stderr
    // clang-format off
    QTest::newRow("odd rate") << QStringList { "--baud", "9601" } << "" << "'9601' for baud";
    QTest::newRow("parity") << QStringList { "--parity", "mark" } << "" << "'mark' for parity";
    QTest::newRow("slaves backwards") << QStringList { "--slaves", "4-1" } << "" << "'4-1' for slaves";
    QTest::newRow("slave 17") << QStringList { "--slaves", "1-17" } << "" << "'1-17' for slaves";
    QTest::newRow("slave twice") << QStringList { "--slaves", "1-4,3" } << "" << "'1-4,3' for slaves";
    QTest::newRow("period 0") << QStringList { "--period", "0" } << "" << "'0' for period";
    QTest::newRow("timeout text") << QStringList { "--reply-timeout", "soon" } << "" << "'soon' for reply-timeout";
    QTest::newRow("retries") << QStringList { "--retries", "11" } << "" << "'11' for retries";
    QTest::newRow("mqtt port") << QStringList { "--mqtt-host", "b", "--mqtt-port", "70000" } << "" << "--mqtt-port needs a port from 1 to 65535, not 70000";
    QTest::newRow("password on the command line") << QStringList { "--mqtt-password", "x" } << "" << "ORVIK_MQTT_PASSWORD";
    QTest::newRow("unknown option") << QStringList { "--speed", "9600" } << "" << "--speed";
    QTest::newRow("rate in the file") << QStringList {} << "baud = 14400\n" << "'14400' for baud";
    QTest::newRow("tls in the file") << QStringList {} << "mqtt-host = b\nmqtt-tls = maybe\n" << "'maybe' for mqtt-tls";
    QTest::newRow("unknown key in the file") << QStringList {} << "# a line\nspeed = 9600\n" << "unknown key 'speed'";
    // clang-format on
}

void TestCollector::badConfig()
{
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    QFETCH(QString, said);
    args.prepend(port());
    args.prepend(QStringLiteral("--port"));
    if (!file.isEmpty()) {
        QFile config(m_dir->filePath(QStringLiteral("line.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(file.toUtf8());
        args << QStringLiteral("--config") << config.fileName();
    }
    Collector run(args);
    QVERIFY(run.finished());
    QCOMPARE(run.process().exitCode(), 2);
    const QStringList lines = run.errors().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(QStringLiteral("<3>")) && lines[0].contains(said), qPrintable(lines[0]));
    QVERIFY(run.output().isEmpty());
}

void TestCollector::fileUnderCommandLine()
{
    QFile file(m_dir->filePath(QStringLiteral("line.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[line]\nport = /dev/ttyUSB0\nperiod = 0.25\nslaves = 1-4,6-16\nmqtt-host = broker\n"
               "mqtt-password = \"from file\"\n");
    file.close();
    const auto parsed = orvik::collector::parseConfig(
        { "orvik-collector", "--config", file.fileName(), "--period", "2.5", "--port=/dev/ttyUSB1" }, "from env");
    QVERIFY2(parsed.config, qPrintable(parsed.error));
    QCOMPARE(parsed.config->port, QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(parsed.config->periodMs, 2500);
    QCOMPARE(parsed.config->slaves.size(), 15);
    QCOMPARE(parsed.config->slaves[4], quint8 { 6 });
    QCOMPARE(parsed.config->mqtt->host, QStringLiteral("broker"));
    QCOMPARE(parsed.config->mqtt->password, QStringLiteral("from file"));
    QCOMPARE(parsed.config->lineName, QStringLiteral("ttyUSB1"));
}

void TestCollector::once_data()
{
    QTest::addColumn<QStringList>("sim");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("table"); // address and what follows it, the answer time left out
    QTest::addColumn<int>("status");
    const QStringList fixed { "--distance", "fixed:1234.5" };
    QString all;
    for (int slave = 1; slave <= 16; ++slave)
        all += QStringLiteral("%1 1.235 m|").arg(slave);
    QTest::newRow("sixteen answer") << fixed << QStringList {} << all << 0;
    QTest::newRow("echo at 9600") << fixed + QStringList { "--echo" } << QStringList {} << all << 0;
    QTest::newRow("echo at 115200") << fixed + QStringList { "--echo", "--baud", "115200" }
                                    << QStringList { "--baud", "115200" } << all << 0;
    QTest::newRow("two missing") << fixed + QStringList { "--slaves", "1-14" } << QStringList { "--slaves", "13-16" }
                                 << "13 1.235 m|14 1.235 m|15 no answer|16 no answer|" << 1;
    // Slave 2 answers while slave 3, which is silent, is polled: nobody's answer is credited to 3.
    QTest::newRow("late answer") << fixed + QStringList { "--slaves", "1,2,4-16", "--late-ms", "2:160" }
                                 << QStringList { "--slaves", "1-4", "--retries", "0" }
                                 << "1 1.235 m|2 no answer|3 no answer|4 1.235 m|" << 1;
    QTest::newRow("echo only") << QStringList { "--echo", "--slaves", "none" } << QStringList { "--slaves", "5" }
                               << "5 echo only|" << 1;
}

void TestCollector::once()
{
    QFETCH(QStringList, sim);
    QFETCH(QStringList, args);
    QFETCH(QString, table);
    QFETCH(int, status);
    SimRun line(m_dir->path());
    QVERIFY(line.start(sim + QStringList { "--port", "COM7" }));
    Collector run(QStringList { "--once", "--port", port() } + args);
    QVERIFY(run.finished());
    QString got;
    static const QRegularExpression row(QStringLiteral(R"(^ *(\d+)  (.*?)(  \d+\.\d ms)?$)"));
    for (const QString& text : run.output().split(u'\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = row.match(text);
        QVERIFY2(m.hasMatch(), qPrintable(text));
        // An answered slave has its time, and nothing else has one.
        QCOMPARE(m.captured(3).isEmpty(), !m.captured(2).endsWith(u" m"));
        got += m.captured(1) + u' ' + m.captured(2) + u'|';
    }
    QCOMPARE(got, table);
    QCOMPARE(run.process().exitCode(), status);
}

// An independent device: pymodbus behind a socat pty pair, each sensor with a value of its own.
void TestCollector::onceAgainstPymodbus()
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) QSKIP("no /usr/bin/python3");
    QProcess socat;
    socat.start(
        "socat", { "pty,raw,echo=0,link=" + port(), "pty,raw,echo=0,link=" + m_dir->filePath(QStringLiteral("peer")) });
    QVERIFY(QTest::qWaitFor([&] { return QFile::exists(port()) && QFile::exists(m_dir->filePath("peer")); }, kBoundMs));
    QProcess peer;
    peer.start("/usr/bin/python3", { QStringLiteral(ORVIK_PYMODBUS_LINE), m_dir->filePath("peer"), "--silent", "7" });
    QVERIFY(QTest::qWaitFor([&] { return peer.readAllStandardOutput().contains("serving"); }, kBoundMs));
    Collector run({ "--once", "--port", port(), "--retries", "0" });
    QVERIFY(run.finished());
    QStringList expected;
    for (int slave = 1; slave <= 16; ++slave)
        expected << (slave == 7 ? QStringLiteral("7  no answer") : QStringLiteral("%1  %1.124 m").arg(slave));
    QStringList got = run.output().split(u'\n', Qt::SkipEmptyParts);
    static const QRegularExpression answerTime(QStringLiteral("  \\d+\\.\\d ms$"));
    for (QString& text : got)
        text = text.trimmed().remove(answerTime);
    QCOMPARE(got, expected);
    QCOMPARE(run.process().exitCode(), 1);
    peer.kill();
    peer.waitForFinished();
    socat.terminate();
    socat.waitForFinished();
}

// Every distance the sim sent goes to the CSV once, in order, with its value; readiness, the watchdog, SIGHUP and
// SIGTERM go through a notify socket the test owns.
void TestCollector::serviceAgainstSimLog()
{
    const QString log = m_dir->filePath(QStringLiteral("sim.log"));
    const QString csv = m_dir->filePath(QStringLiteral("csv"));
    SimRun line(m_dir->path());
    QVERIFY(line.start({ "--port", "COM7", "--slaves", "1-15", "--log", log }));
    QFile file(m_dir->filePath(QStringLiteral("line.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("port = %1\nperiod = 0.3\ncsv-dir = %2\nretries = 0\n").arg(port(), csv).toUtf8());
    file.close();
    NotifySocket notify(m_dir->filePath(QStringLiteral("notify")));
    Collector run({ "--config", file.fileName() }, notify.path());
    QVERIFY(QTest::qWaitFor([&] { return notify.count("READY=1") == 1; }, kBoundMs));
    QVERIFY(QTest::qWaitFor([&] { return notify.count("WATCHDOG=1") >= 3; }, kBoundMs));
    run.signal(SIGHUP);
    QVERIFY(QTest::qWaitFor([&] { return notify.count("READY=1") == 2; }, kBoundMs));
    const int watchdogs = notify.count("WATCHDOG=1");
    QVERIFY(QTest::qWaitFor([&] { return notify.count("WATCHDOG=1") >= watchdogs + 2; }, kBoundMs));
    run.signal(SIGTERM);
    QVERIFY(run.finished());
    QCOMPARE(run.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process().exitCode(), 0);
    QVERIFY(notify.messages().last().contains("STOPPING=1"));
    QVERIFY2(run.errors().contains(u"again"), qPrintable(run.errors()));

    QMap<int, int> gaps;
    const QMap<int, QList<double>> got = csvDistances(csv, &gaps);
    const QMap<int, QList<double>> sent = simDistances(log);
    QCOMPARE(got.keys(), sent.keys());
    // In order, each once: the CSV's values are the sim's, but for an answer cut off as the collector stopped or
    // reread its file.
    int cut = 0;
    for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
        qsizetype next = 0;
        for (const double value : got[it.key()]) {
            const qsizetype from = next;
            while (next < it->size() && qAbs(it->at(next) - value) > 0.00051)
                ++next;
            QVERIFY2(next < it->size(), qPrintable(QStringLiteral("slave %1: %2 never sent").arg(it.key()).arg(value)));
            cut += static_cast<int>(next - from);
            ++next;
        }
        cut += static_cast<int>(it->size() - next);
    }
    QVERIFY2(cut <= 2, qPrintable(QString::number(cut)));
    QVERIFY(got[1].size() >= 3);
    QVERIFY(gaps[16] >= 3); // slave 16 is silent: its polls are rows without a distance
}

void TestCollector::pulledLineReturns()
{
    const QString csv = m_dir->filePath(QStringLiteral("csv"));
    auto first = std::make_unique<SimRun>(m_dir->path());
    QVERIFY(first->start({ "--port", "COM7", "--exit-after", "1.5" }));
    Collector run({ "--port", port(), "--period", "0.2", "--slaves", "1-2", "--csv-dir", csv });
    QVERIFY(QTest::qWaitFor([&] { return run.errors().contains(u" lost: "); }, kBoundMs));
    QVERIFY(first->waitForExit());
    // A while without the line: one report, no flood.
    QTest::qWait(2500);
    QCOMPARE(run.errors().count(u"lost"), 1);
    QVERIFY2(run.errors().count(u'\n') <= 3, qPrintable(run.errors()));
    const qsizetype before = csvDistances(csv)[2].size();
    // The line comes back on another pseudo-terminal under the same name.
    SimRun second(m_dir->path());
    QVERIFY(second.start({ "--port", "COM7", "--force" }));
    QVERIFY(QTest::qWaitFor([&] { return run.errors().count(u" open (") == 2; }, kBoundMs));
    QVERIFY(QTest::qWaitFor([&] { return csvDistances(csv)[2].size() >= before + 3; }, kBoundMs));
}

// Against a real mosquitto and a real subscriber: every distance the sim sent, once and in order, then the line
// offline at the end.
void TestCollector::publishesEveryDistance()
{
    if (!QFile::exists(QStringLiteral(ORVIK_PARTS_BUILD_DIR "/orvik-mqtt.so")))
        QSKIP("the MQTT client part (orvik-mqtt) is not built in this tree");
    const QString broker = QStandardPaths::findExecutable("mosquitto", { "/usr/sbin", "/usr/bin" });
    QVERIFY2(!broker.isEmpty(), "mosquitto is installed by scripts/deps");
    const int brokerPort = freePort();
    QFile conf(m_dir->filePath(QStringLiteral("mosquitto.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("user root\nlog_type error\nlistener %1 127.0.0.1\nallow_anonymous true\n")
                   .arg(brokerPort)
                   .toUtf8());
    conf.close();
    QProcess mosquitto;
    mosquitto.start(broker, { "-c", conf.fileName() });
    QVERIFY(QTest::qWaitFor([&] { return accepts(brokerPort); }, kBoundMs));
    QProcess subscriber;
    QString heard;
    subscriber.start(
        "mosquitto_sub", { "-h", "127.0.0.1", "-p", QString::number(brokerPort), "-t", "site/#", "-v", "-q", "1" });
    QProcess probe;
    probe.start(
        "mosquitto_pub", { "-h", "127.0.0.1", "-p", QString::number(brokerPort), "-t", "site/probe", "-m", "x", "-r" });
    const auto hear = [&] { return heard += QString::fromUtf8(subscriber.readAllStandardOutput()); };
    QVERIFY(QTest::qWaitFor([&] { return hear().contains(u"site/probe x"); }, kBoundMs));

    const QString log = m_dir->filePath(QStringLiteral("sim.log"));
    SimRun line(m_dir->path());
    QVERIFY(line.start({ "--port", "COM7", "--log", log }));
    Collector run({ "--port", port(), "--period", "0.2", "--slaves", "1-4", "--retries", "0", "--line", "L",
        "--mqtt-host", "127.0.0.1", "--mqtt-port", QString::number(brokerPort), "--mqtt-prefix", "site" });
    QVERIFY(QTest::qWaitFor([&] { return hear().count(u"site/L/4/distance") >= 5; }, kBoundMs));
    run.signal(SIGTERM);
    QVERIFY(run.finished());
    QVERIFY2(run.process().exitCode() == 0, qPrintable(run.errors()));
    QVERIFY(QTest::qWaitFor([&] { return hear().endsWith(u"site/L/status offline\n"); }, kBoundMs));

    QMap<int, QList<double>> published;
    static const QRegularExpression distance(QStringLiteral(R"(^site/L/(\d+)/distance (.*)$)"));
    for (const QString& text : heard.split(u'\n')) {
        if (const auto m = distance.match(text); m.hasMatch())
            published[m.captured(1).toInt()] << QJsonDocument::fromJson(m.captured(2).toUtf8())["raw"].toDouble() / 1e4;
    }
    const QMap<int, QList<double>> sent = simDistances(log);
    QCOMPARE(published.keys(), QList<int>({ 1, 2, 3, 4 }));
    for (int slave = 1; slave <= 4; ++slave) {
        // The last answer may have been on the line as the collector stopped.
        const QList<double>& all = sent[slave];
        const QList<double>& mine = published[slave];
        QVERIFY(mine.size() == all.size() || mine.size() + 1 == all.size());
        QCOMPARE(mine, all.mid(0, mine.size()));
    }
    subscriber.kill();
    subscriber.waitForFinished();
    mosquitto.terminate();
    mosquitto.waitForFinished();
}

QTEST_GUILESS_MAIN(TestCollector)
#include "tst_collector.moc"
