// What the monitor publishes: command-line settings, prefixes and topic levels, payloads, the feed's rules, the
// bounded queue and the reconnect delays.
#include "mqtt_feed.h"
#include "mqtt_queue.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <ctime>

using namespace orvik;

class TestLinkMqtt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void arguments_data();
    void arguments();
    void prefixes_data();
    void prefixes();
    void topicLevels_data();
    void topicLevels();
    void payloads_data();
    void payloads();
    void feed_data();
    void feed();
    void discovery();
    void removeAnnouncements();
    void queue_data();
    void queue();
    void backoff();
};

void TestLinkMqtt::initTestCase()
{
    qputenv("TZ", "CST-8");
    tzset();
}

// Settings summarised as "host:port tls user prefix ha discovery" (the prefixes as they take effect on host "pc1").
void TestLinkMqtt::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("error");
    // clang-format off
    QTest::newRow("none: off") << QStringList { "-platform", "xcb" } << "" << "";
    QTest::newRow("host only") << QStringList { "--mqtt-host", "broker" } << "broker:1883 plain - orvik/pc1 - homeassistant" << "";
    QTest::newRow("tls moves the port") << QStringList { "--mqtt-tls", "--mqtt-host", "b" } << "b:8883 tls - orvik/pc1 - homeassistant" << "";
    QTest::newRow("everything") << QStringList { "--mqtt-host", "b", "--mqtt-port", "1999", "--mqtt-prefix", "plant/hall2/", "--mqtt-user", "ann", "--mqtt-ha", "--mqtt-tls", "--mqtt-discovery-prefix", "ha2/" }
                                << "b:1999 tls ann plant/hall2 ha ha2" << "";
    QTest::newRow("options without a host") << QStringList { "--mqtt-port", "1999" } << "" << "";
    QTest::newRow("password refused") << QStringList { "--mqtt-host", "b", "--mqtt-password", "x" } << ""
                                      << "the MQTT password is taken from ORVIK_MQTT_PASSWORD, never from the command line";
    QTest::newRow("port out of range") << QStringList { "--mqtt-host", "b", "--mqtt-port", "70000" } << ""
                                       << "--mqtt-port needs a port from 1 to 65535, not 70000";
    QTest::newRow("missing value") << QStringList { "--mqtt-host" } << "" << "--mqtt-host needs a value";
    QTest::newRow("unknown option") << QStringList { "--mqtt-qos", "2" } << "" << "unknown option --mqtt-qos";
    QTest::newRow("wildcard prefix") << QStringList { "--mqtt-host", "x", "--mqtt-prefix", "plant/+/x" } << ""
                                     << "--mqtt-prefix \"plant/+/x\" is refused: '+' and '#' are wildcards, not part of a topic";
    QTest::newRow("discovery prefix, on one line") << QStringList { "--mqtt-discovery-prefix", "ha\nx" } << ""
                                     << "--mqtt-discovery-prefix \"ha\\u000ax\" is refused: a topic cannot hold control characters";
    // clang-format on
}

void TestLinkMqtt::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, settings);
    QFETCH(QString, error);
    const MqttArguments parsed = parseMqttArguments(args, QStringLiteral("secret"));
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.settings.has_value(), !settings.isEmpty());
    if (!parsed.settings) return;
    const MqttSettings& s = *parsed.settings;
    QVERIFY(s.enabled);
    QCOMPARE(s.password, QStringLiteral("secret"));
    QVERIFY(s.passwordFromEnvironment);
    QCOMPARE(s.savedPassword(), QString());
    const QString summary
        = QStringLiteral("%1:%2 %3 %4 %5 %6 %7")
              .arg(s.host)
              .arg(s.effectivePort())
              .arg(s.tls ? "tls" : "plain", s.user.isEmpty() ? "-" : s.user, s.effectivePrefix(QStringLiteral("pc1")),
                  s.homeAssistant ? "ha" : "-", s.effectiveDiscoveryPrefix());
    QCOMPARE(summary, settings);
}

void TestLinkMqtt::prefixes_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<PrefixFault>("fault");
    // clang-format off
    QTest::newRow("levels") << "plant/hall2" << PrefixFault::None;
    QTest::newRow("empty: the default") << "" << PrefixFault::None;
    QTest::newRow("'$' inside") << "plant/$hall" << PrefixFault::None;
    QTest::newRow("non-ASCII") << "工厂/二车间" << PrefixFault::None;
    QTest::newRow("single-level wildcard") << "plant/+/x" << PrefixFault::Wildcard;
    QTest::newRow("multi-level wildcard") << "plant#" << PrefixFault::Wildcard;
    QTest::newRow("leading '$'") << "$SYS/x" << PrefixFault::Reserved;
    QTest::newRow("NUL") << QString("a") + QChar(0) + "b" << PrefixFault::ControlCharacter;
    QTest::newRow("tab") << "a\tb" << PrefixFault::ControlCharacter;
    QTest::newRow("C1 control") << "a\u0085" << PrefixFault::ControlCharacter;
    QTest::newRow("non-character") << "a\uFFFF" << PrefixFault::ControlCharacter;
    // clang-format on
}

void TestLinkMqtt::prefixes()
{
    QFETCH(QString, prefix);
    QFETCH(PrefixFault, fault);
    QCOMPARE(prefixFault(prefix), fault);
}

// The level as it appears in the topic. "a/b" and "a_b" both became "a_b" before '/' was escaped.
void TestLinkMqtt::topicLevels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("level");
    // clang-format off
    QTest::newRow("plain") << "COM7" << "COM7";
    QTest::newRow("slash") << "a/b" << "a%2Fb";
    QTest::newRow("underscore, once its twin") << "a_b" << "a_b";
    QTest::newRow("the escape itself") << "a%2Fb" << "a%252Fb";
    QTest::newRow("wildcards") << "+#" << "%2B%23";
    QTest::newRow("NUL") << QString(QChar(0)) << "%00";
    QTest::newRow("DEL and C1, per UTF-8 byte") << "\x7f\u0085" << "%7F%C2%85";
    QTest::newRow("non-ASCII kept") << "串口7" << "串口7";
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << "%ED%A0%80";
    // clang-format on
}

void TestLinkMqtt::topicLevels()
{
    QFETCH(QString, name);
    QFETCH(QString, level);
    QCOMPARE(topicLevel(name), level);
    QCOMPARE(lineStatusTopic(QStringLiteral("p"), name), QStringLiteral("p/%1/status").arg(level));
    QCOMPARE(prefixFault(level), PrefixFault::None);
}

void TestLinkMqtt::payloads_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QByteArray>("payload");
    const QByteArray time = "{\"time\":\"2026-12-09T22:37:14.123+08:00\",";
    QTest::newRow("rounded to mm") << 12345 << time + "\"distance_m\":1.235,\"raw\":12345}";
    QTest::newRow("whole metres") << 20000 << time + "\"distance_m\":2,\"raw\":20000}";
    QTest::newRow("below zero") << -16 << time + "\"distance_m\":-0.001,\"raw\":-16}";
    QTest::newRow("zero") << 0 << time + "\"distance_m\":0,\"raw\":0}";
}

void TestLinkMqtt::payloads()
{
    QFETCH(qint32, value);
    QFETCH(QByteArray, payload);
    QCOMPARE(distancePayload(1796827034123, value), payload);
    QJsonParseError error {};
    QJsonDocument::fromJson(payload, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
}

// Each step: "up COM7", "down", "d<slave>=<value>", "s<slave>+" (box ticked), "s<slave>-" (cleared) or
// "hear <topic> <payload>". Each message: "topic payload", retained ones marked with a leading 'R'. Distances are at
// a fixed time.
void TestLinkMqtt::feed_data()
{
    QTest::addColumn<bool>("homeAssistant");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("messages");
    const QString d3 = QStringLiteral(
        "p/COM7/3/distance {\"time\":\"2026-12-09T22:37:14.123+08:00\",\"distance_m\":1.235,\"raw\":12345}");
    // clang-format off
    QTest::newRow("nothing before a line") << false << QStringList { "d3=12345", "s3+", "down" } << QStringList {};
    QTest::newRow("line up, distance, line down") << false << QStringList { "up COM7", "d3=12345", "down", "down" }
        << QStringList { "R p/COM7/status online", d3, "R p/COM7/status offline" };
    QTest::newRow("status only when the box changes") << false << QStringList { "up COM7", "s3+", "s3+", "s3-", "s3-", "s3+" }
        << QStringList { "R p/COM7/status online", "R p/COM7/3/status online", "R p/COM7/3/status offline", "R p/COM7/3/status online" };
    QTest::newRow("a new line hears every status again") << false << QStringList { "up COM7", "s3+", "down", "up COM7", "s3+" }
        << QStringList { "R p/COM7/status online", "R p/COM7/3/status online", "R p/COM7/status offline", "R p/COM7/status online", "R p/COM7/3/status online" };
    QTest::newRow("slaves outside 1-16 ignored") << false << QStringList { "up COM7", "d0=1", "d17=1", "s255+" }
        << QStringList { "R p/COM7/status online" };
    QTest::newRow("discovery once per slave") << true << QStringList { "up COM7", "d3=12345", "d3=12345" }
        << QStringList { "R p/COM7/status online", "R homeassistant/sensor/orvik_pc1_COM7_3/config", d3, d3 };
    QTest::newRow("Home Assistant online: all again") << true
        << QStringList { "up COM7", "d3=12345", "s3+", "s5-", "hear homeassistant/status offline", "hear p/COM7/status online", "hear homeassistant/status online" }
        << QStringList { "R p/COM7/status online", "R homeassistant/sensor/orvik_pc1_COM7_3/config", d3, "R p/COM7/3/status online", "R p/COM7/5/status offline",
                         "R p/COM7/status online", "R homeassistant/sensor/orvik_pc1_COM7_3/config", "R p/COM7/3/status online", "R p/COM7/5/status offline" };
    QTest::newRow("no Home Assistant, no echo") << false << QStringList { "up COM7", "s3+", "hear homeassistant/status online" }
        << QStringList { "R p/COM7/status online", "R p/COM7/3/status online" };
    QTest::newRow("no line, nothing to say") << true << QStringList { "hear homeassistant/status online" } << QStringList {};
    // clang-format on
}

void TestLinkMqtt::feed()
{
    QFETCH(bool, homeAssistant);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, messages);
    MqttSettings settings;
    settings.prefix = QStringLiteral("p");
    settings.homeAssistant = homeAssistant;
    MqttFeed feed(settings, QStringLiteral("pc1"));
    QStringList heard;
    for (const QString& step : steps) {
        std::vector<MqttMessage> out;
        if (step.startsWith("up "))
            out = feed.lineUp(step.mid(3));
        else if (step == "down")
            out = feed.lineDown();
        else if (step.startsWith("hear "))
            out = feed.heard({ step.section(' ', 1, 1), step.section(' ', 2).toUtf8(), false });
        else if (step.startsWith('d'))
            out = feed.distance(
                quint8(step.mid(1).section('=', 0, 0).toInt()), step.section('=', 1).toInt(), 1796827034123);
        else
            out = feed.slaveStatus(quint8(step.mid(1).chopped(1).toInt()), step.endsWith('+'));
        for (const MqttMessage& m : out) {
            // Discovery payloads are checked on their own.
            const QString payload
                = m.topic.startsWith("homeassistant/") ? QString() : " " + QString::fromUtf8(m.payload);
            heard << (m.retain ? "R " : "") + m.topic + payload;
        }
    }
    QCOMPARE(heard, messages);
}

// The whole document Home Assistant reads, under a discovery prefix of one's own. Host names that differ only in a
// character outside [A-Za-z0-9] keep their own sensors.
void TestLinkMqtt::discovery()
{
    MqttSettings settings;
    settings.prefix = QStringLiteral("p");
    settings.homeAssistant = true;
    settings.discoveryPrefix = QStringLiteral("ha2/");
    const MqttFeed feed(settings, QStringLiteral("pc-1"));
    QCOMPARE(feed.subscriptions(), QStringList { "ha2/status" });
    const MqttMessage m = feed.discoveryMessage(QStringLiteral("COM7"), 3);
    QCOMPARE(m.topic, QStringLiteral("ha2/sensor/orvik_pc-2D1_COM7_3/config"));
    QVERIFY(m.retain);
    const QByteArray expected = R"({
        "name": "COM7 3 距离",
        "unique_id": "orvik_pc-2D1_COM7_3",
        "default_entity_id": "sensor.orvik_pc_2d1_com7_3",
        "state_topic": "p/COM7/3/distance",
        "value_template": "{{ value_json.distance_m }}",
        "unit_of_measurement": "m",
        "device_class": "distance",
        "state_class": "measurement",
        "availability": [ { "topic": "p/COM7/status" }, { "topic": "p/COM7/3/status" } ],
        "availability_mode": "all",
        "device": { "identifiers": [ "orvik_pc-2D1_COM7" ], "name": "Orvik pc-1 COM7", "manufacturer": "Orvik",
                    "model": "Orvik Monitor", "sw_version": ")" ORVIK_VERSION R"(" },
        "origin": { "name": "Orvik Monitor", "sw_version": ")" ORVIK_VERSION R"(",
                    "support_url": ")" ORVIK_SUPPORT_URL R"(" }
    })";
    QCOMPARE(QJsonDocument::fromJson(m.payload), QJsonDocument::fromJson(expected));
    QVERIFY(!QJsonDocument::fromJson(expected).isNull());
    const MqttFeed twin(settings, QStringLiteral("pc_1"));
    QCOMPARE(twin.discoveryMessage(QStringLiteral("COM7"), 3).topic,
        QStringLiteral("ha2/sensor/orvik_pc-5F1_COM7_3/config"));
}

// Every line announced since the last removal, every slave, status and discovery: emptied and retained; then
// nothing more until a line is connected again.
void TestLinkMqtt::removeAnnouncements()
{
    MqttSettings settings;
    settings.prefix = QStringLiteral("p");
    settings.homeAssistant = true;
    MqttFeed feed(settings, QStringLiteral("pc1"));
    feed.lineUp(QStringLiteral("COM7"));
    feed.lineDown();
    feed.lineUp(QStringLiteral("COM8"));
    QCOMPARE(feed.distance(3, 1, 0).size(), 2u); // announced
    const std::vector<MqttMessage> out = feed.removeAnnouncements();
    QSet<QString> topics;
    for (const MqttMessage& m : out) {
        QVERIFY(m.retain);
        QVERIFY(m.payload.isEmpty());
        topics << m.topic;
    }
    QCOMPARE(out.size(), 2u * (1 + 16 + 16));
    QCOMPARE(topics.size(), 2 * (1 + 16 + 16));
    for (const char* topic : { "p/COM7/status", "p/COM7/16/status", "homeassistant/sensor/orvik_pc1_COM7_1/config",
             "p/COM8/status", "p/COM8/1/status", "homeassistant/sensor/orvik_pc1_COM8_16/config" })
        QVERIFY2(topics.contains(QLatin1String(topic)), topic);
    // Silent until the next line: a poll or the monitor's going would otherwise bring them back.
    QCOMPARE(feed.distance(3, 1, 0).size(), 0u);
    QCOMPARE(feed.slaveStatus(3, true).size(), 0u);
    QCOMPARE(feed.heard({ "homeassistant/status", "online", false }).size(), 0u);
    QCOMPARE(feed.will("COM8").payload, QByteArray());
    QCOMPARE(feed.lineDown().size(), 0u);
    feed.lineUp(QStringLiteral("COM8"));
    QCOMPARE(feed.will("COM8").payload, QByteArray("offline"));
    QCOMPARE(feed.distance(3, 1, 0).size(), 2u); // announced afresh
    QCOMPARE(feed.removeAnnouncements().size(), 33u); // that line only
}

// Steps: "+<n>" pushes message n, "-" pops one into the output, "<<n" puts n back at the front.
void TestLinkMqtt::queue_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("popped");
    QTest::addColumn<int>("dropped");
    // clang-format off
    QTest::newRow("in order") << 10 << QStringList { "+1", "+2", "+3", "-", "-", "-" } << "1 2 3" << 0;
    QTest::newRow("full drops the oldest") << 3 << QStringList { "+1", "+2", "+3", "+4", "+5", "-", "-", "-" } << "3 4 5" << 2;
    QTest::newRow("put back goes first") << 3 << QStringList { "+1", "+2", "-", "<<1", "-", "-" } << "1 1 2" << 0;
    QTest::newRow("put back into a full queue is dropped") << 2 << QStringList { "+1", "+2", "<<0", "-", "-" } << "1 2" << 1;
    // clang-format on
}

void TestLinkMqtt::queue()
{
    QFETCH(int, capacity);
    QFETCH(QStringList, steps);
    QFETCH(QString, popped);
    QFETCH(int, dropped);
    OutgoingQueue q(static_cast<std::size_t>(capacity));
    QStringList out;
    for (const QString& step : steps) {
        if (step == "-")
            out << q.pop().topic;
        else if (step.startsWith("<<"))
            q.pushFront({ step.mid(2), {}, false });
        else
            q.push({ step.mid(1), {}, false });
    }
    QCOMPARE(out.join(' '), popped);
    QCOMPARE(q.dropped(), quint64(dropped));
    QVERIFY(q.empty());
}

void TestLinkMqtt::backoff()
{
    ReconnectBackoff b;
    QList<int> delays;
    for (int i = 0; i < 9; ++i)
        delays << b.nextDelayMs();
    QCOMPARE(delays, (QList<int> { 1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000 }));
    b.reset();
    QCOMPARE(b.nextDelayMs(), 1000);
    QCOMPARE(OutgoingQueue::kDefaultCapacity, 10'000u);
}

QTEST_APPLESS_MAIN(TestLinkMqtt)
#include "tst_link_mqtt.moc"
