// The MQTT client against a real mosquitto broker on free local ports, read by a real subscriber (mosquitto_sub):
// plain, with a password file, with TLS and a CA made for the test; then one row per fault a site's network and
// broker bring (a link cut under load through a proxy the test owns, a broker restarted without persistence, a name
// that never resolves, a TLS broker away for 20 s, an access list that denies a topic, a topic no broker may take).
#include "local_tcp.h"
#include "paho_client.h"
#include "tcp_proxy.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvik;

namespace {

constexpr int kBoundMs = 30'000;

using orvik::testkit::accepts;
using orvik::testkit::freePort;

bool run(const QString& program, const QStringList& args, const QString& folder)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    return p.waitForFinished(kBoundMs) && p.exitCode() == 0;
}

} // namespace

class TestMqttBroker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void publish_data();
    void publish();
    void linkCut();
    void brokerRestart();
    void nameNeverResolves();
    void tlsBrokerAway();
    void refusedTopics();

private:
    void startBroker();
    void stopBroker();
    QStringList received(const QString& topic) const;
    MqttSettings settingsFor(const QString& listener) const;

    QTemporaryDir m_dir;
    QProcess m_broker;
    mutable QProcess m_subscriber;
    mutable QString m_heard; // everything the subscriber has printed
    QString m_brokerProgram;
    QMap<QString, int> m_ports; // listener name: port
};

// One broker with four listeners: anonymous, a password file, TLS with a CA made here, and an access list that lets
// anonymous clients publish under t/ only. Without persistence: a restart loses every retained message.
void TestMqttBroker::initTestCase()
{
    m_brokerProgram = QStandardPaths::findExecutable("mosquitto", { "/usr/sbin", "/usr/bin" });
    QVERIFY2(!m_brokerProgram.isEmpty(), "mosquitto is installed by scripts/deps");
    QVERIFY(m_dir.isValid());
    const QString d = m_dir.path();
    QVERIFY(run("mosquitto_passwd", { "-b", "-c", d + "/passwd", "ann", "right-password" }, d));
    const QString san = "subjectAltName=IP:127.0.0.1,DNS:localhost";
    QVERIFY(run("openssl",
        { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test CA", "-keyout", "ca.key",
            "-out", "ca.crt" },
        d));
    QVERIFY(run("openssl",
        { "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-addext", san, "-keyout", "server.key",
            "-out", "server.csr" },
        d));
    QVERIFY(run("openssl",
        { "x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
            "-copy_extensions", "copy", "-out", "server.crt" },
        d));
    QFile acl(d + "/acl");
    QVERIFY(acl.open(QIODevice::WriteOnly));
    acl.write("topic readwrite t/#\n");
    acl.close();
    for (const char* name : { "plain", "password", "tls", "acl" })
        m_ports[name] = freePort();
    QFile conf(d + "/mosquitto.conf");
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("user root\nper_listener_settings true\npersistence false\n"
                              "log_type error\nlistener %2 127.0.0.1\nallow_anonymous true\n"
                              "listener %3 127.0.0.1\nallow_anonymous false\npassword_file %1/passwd\n"
                              "listener %4 127.0.0.1\nallow_anonymous true\ncafile %1/ca.crt\ncertfile %1/server.crt\n"
                              "keyfile %1/server.key\nlistener %5 127.0.0.1\nallow_anonymous true\nacl_file %1/acl\n")
                   .arg(d)
                   .arg(m_ports["plain"])
                   .arg(m_ports["password"])
                   .arg(m_ports["tls"])
                   .arg(m_ports["acl"])
                   .toUtf8());
    conf.close();
    startBroker();
    m_subscriber.start("mosquitto_sub",
        { "-h", "127.0.0.1", "-p", QString::number(m_ports["plain"]), "-t", "t/#", "-v", "-q", "1", "-c", "-i",
            "orvik-test-subscriber" });
    QVERIFY(m_subscriber.waitForStarted(kBoundMs));
    // The subscription is in place once a retained probe comes back.
    QProcess probe;
    probe.start("mosquitto_pub",
        { "-h", "127.0.0.1", "-p", QString::number(m_ports["plain"]), "-t", "t/probe", "-m", "x", "-q", "1", "-r" });
    QVERIFY(probe.waitForFinished(kBoundMs));
    QTRY_VERIFY_WITH_TIMEOUT(!received("t/probe").isEmpty(), kBoundMs);
}

void TestMqttBroker::startBroker()
{
    m_broker.setProcessChannelMode(QProcess::ForwardedChannels);
    m_broker.start(m_brokerProgram, { "-c", m_dir.path() + "/mosquitto.conf" });
    QVERIFY(m_broker.waitForStarted(kBoundMs));
    for (int port : m_ports)
        QTRY_VERIFY_WITH_TIMEOUT(accepts(port), kBoundMs);
}

void TestMqttBroker::stopBroker()
{
    m_broker.terminate();
    QVERIFY(m_broker.waitForFinished(kBoundMs));
}

void TestMqttBroker::cleanupTestCase()
{
    for (QProcess* p : { &m_subscriber, &m_broker }) {
        p->terminate();
        p->waitForFinished(kBoundMs);
    }
}

// The payloads that arrived on one topic, in order ("-v" prints each as "topic payload").
QStringList TestMqttBroker::received(const QString& topic) const
{
    m_heard += QString::fromUtf8(m_subscriber.readAllStandardOutput());
    QStringList payloads;
    for (const QString& line : m_heard.split('\n')) {
        if (line.startsWith(topic + ' ')) payloads << line.mid(topic.size() + 1);
    }
    return payloads;
}

MqttSettings TestMqttBroker::settingsFor(const QString& listener) const
{
    MqttSettings s;
    s.enabled = true;
    s.host = QStringLiteral("127.0.0.1");
    s.port = m_ports[listener];
    s.tls = listener == "tls";
    return s;
}

void TestMqttBroker::publish_data()
{
    QTest::addColumn<QString>("listener");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("testCa"); // the CA made here, else the system's CA folder
    QTest::addColumn<QString>("refusal"); // empty: publishes
    // clang-format off
    QTest::newRow("plain") << "plain" << "" << "" << false << "";
    QTest::newRow("right password") << "password" << "ann" << "right-password" << false << "";
    QTest::newRow("wrong password") << "password" << "ann" << "wrong" << false << "连接被拒绝: Not authorized (0x87)";
    QTest::newRow("tls with the test CA") << "tls" << "" << "" << true << "";
    QTest::newRow("tls, certificate not trusted") << "tls" << "" << "" << false << "连接被拒绝: SSL routines: certificate verify failed";
    // clang-format on
}

// Publishes one message; when the broker takes it, the subscriber hears it, and dropping the connection without a
// goodbye gives the last will.
void TestMqttBroker::publish()
{
    QFETCH(QString, listener);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, testCa);
    QFETCH(QString, refusal);
    MqttSettings s = settingsFor(listener);
    s.user = user;
    s.password = password;
    if (testCa) s.caFile = m_dir.path() + "/ca.crt";
    const QString topic = QStringLiteral("t/%1").arg(QTest::currentDataTag()).replace(' ', '_');
    PahoClient publisher;
    publisher.start(s, topic, { topic + "/will", "offline", false });
    publisher.publish({ topic, "hello", false });
    if (!refusal.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(publisher.stateText(), refusal, kBoundMs);
        QCOMPARE(publisher.waiting(), 1u);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(publisher.stateText(), QStringLiteral("已连接"), kBoundMs);
    // As the program closes: the event loop no longer runs, the flush alone takes the broker's acknowledgement.
    publisher.publish({ topic, "bye", false });
    publisher.flush(kBoundMs);
    QCOMPARE(publisher.sent(), 2u);
    QTRY_COMPARE_WITH_TIMEOUT(received(topic), (QStringList { "hello", "bye" }), kBoundMs);
    publisher.stop();
    QTRY_COMPARE_WITH_TIMEOUT(received(topic + "/will"), QStringList { "offline" }, kBoundMs);
}

namespace {

// CPU this process has used so far (user and system), from /proc/self/stat.
qint64 cpuMs()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

// A line as the window publishes it: its status online on every connect (the last will says offline), and a
// numbered distance at every polling tick. It notes the longest gap between ticks, as a polling window would.
struct PolledLine {
    PolledLine(PahoClient& lineClient, const QString& lineTopic)
        : client(lineClient)
        , topic(lineTopic)
    {
        client.setEvents({ {}, [this] { this->client.publish({ this->topic + "/status", "online", true }); }, {} });
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            longestGapMs = std::max(longestGapMs, sinceTick.restart());
            this->client.publish({ this->topic, QByteArray::number(next++), false });
        });
    }
    void start(int intervalMs)
    {
        sinceTick.start();
        ticker.start(intervalMs);
    }
    QStringList expected() const
    {
        QStringList numbers;
        for (int i = 0; i < next; ++i)
            numbers << QString::number(i);
        return numbers;
    }
    MqttMessage will() const { return { topic + "/status", "offline", true }; }

    PahoClient& client;
    QString topic;
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    int next = 0;
};

} // namespace

// The proxy freezes the link under load, so messages are in flight both ways, then resets it: the broker publishes
// the last will, the client reconnects by itself, the line says online again, and every distance arrives once, in
// order, the held ones before those published since.
void TestMqttBroker::linkCut()
{
    TcpProxy proxy { quint16(m_ports["plain"]) };
    MqttSettings s = settingsFor("plain");
    s.port = proxy.port();
    PahoClient client;
    PolledLine line(client, "t/cut");
    client.start(s, "cut", line.will());
    line.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(received("t/cut").size() >= 50, kBoundMs);
    proxy.freeze();
    QTest::qWait(1000); // fifty more distances published while nothing passes
    proxy.cut();
    QTRY_COMPARE_WITH_TIMEOUT(received("t/cut/status"), (QStringList { "online", "offline", "online" }), kBoundMs);
    const int before = line.next;
    QTRY_VERIFY_WITH_TIMEOUT(line.next >= before + 50, kBoundMs);
    line.ticker.stop();
    QTRY_COMPARE_WITH_TIMEOUT(received("t/cut"), line.expected(), kBoundMs);
    QCOMPARE(client.dropped(), 0u);
}

// A broker restarted without persistence has lost every retained message and published the last will: the client's
// reconnect tells the owner, whose announcements bring the line's status back.
void TestMqttBroker::brokerRestart()
{
    PahoClient client;
    PolledLine line(client, "t/restart");
    client.start(settingsFor("plain"), "restart", line.will());
    QTRY_COMPARE_WITH_TIMEOUT(received("t/restart/status"), QStringList { "online" }, kBoundMs);
    stopBroker();
    startBroker();
    // The broker publishes the will as it shuts down. The subscriber subscribes again, and hears the status back
    // live, or as the broker's retained message, or both.
    QTRY_VERIFY_WITH_TIMEOUT(received("t/restart/status").size() >= 3, 2 * kBoundMs);
    const QStringList statuses = received("t/restart/status");
    QCOMPARE(statuses.mid(0, 3), (QStringList { "online", "offline", "online" }));
    QCOMPARE(statuses.mid(3), QStringList(statuses.size() - 3, "online"));
}

// The broker's name takes ten seconds to fail at every attempt: the owner's thread goes on publishing at its
// polling ticks on time, and the dialog says why no link is made.
void TestMqttBroker::nameNeverResolves()
{
    QVERIFY2(qEnvironmentVariable("ORVIK_SLOW_NAME") == "broker.slow.test", "the test runs with the resolver shim");
    MqttSettings s = settingsFor("plain");
    s.host = "broker.slow.test";
    PahoClient client;
    PolledLine line(client, "t/slow");
    client.start(s, "slow", line.will());
    line.start(100);
    QTRY_VERIFY_WITH_TIMEOUT(client.state() == MqttClient::State::Reconnecting, kBoundMs);
    QTest::qWait(3000); // into the next attempt's ten seconds
    QVERIFY2(line.longestGapMs < 200, qPrintable(QString::number(line.longestGapMs)));
    QCOMPARE(client.sent(), 0u);
    QCOMPARE(client.waiting(), std::size_t(line.next));
    // The session's thread waits with the library for the name; the client goes once it is free.
    line.ticker.stop();
    client.stop();
    QTRY_VERIFY_WITH_TIMEOUT(client.state() == MqttClient::State::Off, kBoundMs);
}

// The TLS broker goes for 20 s (connections refused) and comes back: the client retries with its doubling delay and
// no spinning, and is connected again within one delay of its return.
void TestMqttBroker::tlsBrokerAway()
{
    MqttSettings s = settingsFor("tls");
    s.caFile = m_dir.path() + "/ca.crt";
    PahoClient client;
    PolledLine line(client, "t/tls");
    client.start(s, "tls", line.will());
    QTRY_COMPARE_WITH_TIMEOUT(received("t/tls/status"), QStringList { "online" }, kBoundMs);
    stopBroker();
    const qint64 cpuBefore = cpuMs();
    QElapsedTimer away;
    away.start();
    QTest::qWait(20'000);
    const qint64 cpuAway = cpuMs() - cpuBefore;
    QVERIFY2(cpuAway * 100 < away.elapsed() * 5, qPrintable(QStringLiteral("%1 ms of CPU").arg(cpuAway)));
    QVERIFY(client.state() == MqttClient::State::Reconnecting);
    startBroker();
    // The delays double up to 16 s after 20 s away; the next one is at most 32 s.
    QTRY_VERIFY_WITH_TIMEOUT(client.state() == MqttClient::State::Connected, 40'000);
}

// A topic the access list denies is refused by the broker (MQTT 5's reason code) and one no broker may take (a
// wildcard) by the client itself: each counted and shown, dropped, and the next message goes through.
void TestMqttBroker::refusedTopics()
{
    PahoClient client;
    client.start(settingsFor("acl"), "acl", { "t/acl/status", "offline", true });
    client.publish({ "homeassistant/sensor/x/config", "{}", true });
    client.publish({ "plant/+/x/status", "online", true });
    client.publish({ "t/acl", "after", false });
    QTRY_COMPARE_WITH_TIMEOUT(received("t/acl"), QStringList { "after" }, kBoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(client.refused(), 2u, kBoundMs);
    QCOMPARE(client.sent(), 1u);
    QCOMPARE(client.waiting(), 0u);
    QCOMPARE(client.lastRefusal(), QStringLiteral("homeassistant/sensor/x/config: Not authorized (0x87)"));
}

QTEST_MAIN(TestMqttBroker)
#include "tst_mqtt_broker.moc"
