// The MQTT client against a real mosquitto broker on free local ports, read by a real subscriber (mosquitto_sub):
// plain, with a password file, with TLS and a CA made for the test; a broker outage; the last will.
#include "paho_client.h"

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

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<quint16>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

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
    void outage();

private:
    void startBroker();
    QStringList received(const QString& topic) const;
    MqttSettings settingsFor(const QString& listener) const;

    QTemporaryDir m_dir;
    QProcess m_broker;
    mutable QProcess m_subscriber;
    mutable QString m_heard; // everything the subscriber has printed
    QString m_brokerProgram;
    QMap<QString, int> m_ports; // listener name: port
};

// One broker with three listeners: anonymous, a password file, TLS with a CA made here. Persistence keeps the
// subscriber's session (and what it has not yet read) over a restart.
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
    for (const char* name : { "plain", "password", "tls" })
        m_ports[name] = freePort();
    QFile conf(d + "/mosquitto.conf");
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("user root\nper_listener_settings true\npersistence true\npersistence_location %1/\n"
                              "log_type error\nlistener %2 127.0.0.1\nallow_anonymous true\n"
                              "listener %3 127.0.0.1\nallow_anonymous false\npassword_file %1/passwd\n"
                              "listener %4 127.0.0.1\nallow_anonymous true\ncafile %1/ca.crt\ncertfile %1/server.crt\n"
                              "keyfile %1/server.key\n")
                   .arg(d)
                   .arg(m_ports["plain"])
                   .arg(m_ports["password"])
                   .arg(m_ports["tls"])
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

// The broker stops for about ten seconds while a message is published every 100 ms, then comes back: the publisher
// reconnects by itself and everything arrives once, in order.
void TestMqttBroker::outage()
{
    PahoClient publisher;
    publisher.start(settingsFor("plain"), "outage", { "t/outage/will", "offline", false });
    int next = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { publisher.publish({ "t/outage", QByteArray::number(next++), false }); });
    ticker.start(100);
    QTRY_VERIFY_WITH_TIMEOUT(received("t/outage").size() >= 5, kBoundMs);
    m_broker.terminate();
    QVERIFY(m_broker.waitForFinished(kBoundMs));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.stateText(), QStringLiteral("正在重连"), kBoundMs);
    const int before = next;
    QTRY_VERIFY_WITH_TIMEOUT(next >= before + 100, kBoundMs); // ten seconds of distances while it is away
    startBroker();
    QTRY_COMPARE_WITH_TIMEOUT(publisher.stateText(), QStringLiteral("已连接"), 2 * ReconnectBackoff::kLongestMs);
    ticker.stop();
    QStringList expected;
    for (int i = 0; i < next; ++i)
        expected << QString::number(i);
    QTRY_COMPARE_WITH_TIMEOUT(received("t/outage"), expected, kBoundMs);
    QCOMPARE(publisher.dropped(), 0u);
}

QTEST_MAIN(TestMqttBroker)
#include "tst_mqtt_broker.moc"
