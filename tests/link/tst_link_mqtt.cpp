// What the monitor publishes: command-line settings, topics and payloads, the feed's rules, the bounded queue and
// the reconnect delays.
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
    void payloads_data();
    void payloads();
    void feed_data();
    void feed();
    void discovery();
    void queue_data();
    void queue();
    void backoff();
};

void TestLinkMqtt::initTestCase()
{
    qputenv("TZ", "CST-8");
    tzset();
}

// Settings summarised as "host:port tls user prefix ha" (the prefix as it takes effect on host "pc1").
void TestLinkMqtt::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("error");
    // clang-format off
    QTest::newRow("none: off") << QStringList { "-platform", "xcb" } << "" << "";
    QTest::newRow("host only") << QStringList { "--mqtt-host", "broker" } << "broker:1883 plain - orvik/pc1 -" << "";
    QTest::newRow("tls moves the port") << QStringList { "--mqtt-tls", "--mqtt-host", "b" } << "b:8883 tls - orvik/pc1 -" << "";
    QTest::newRow("everything") << QStringList { "--mqtt-host", "b", "--mqtt-port", "1999", "--mqtt-prefix", "plant/hall2/", "--mqtt-user", "ann", "--mqtt-ha", "--mqtt-tls" }
                                << "b:1999 tls ann plant/hall2 ha" << "";
    QTest::newRow("options without a host") << QStringList { "--mqtt-port", "1999" } << "" << "";
    QTest::newRow("password refused") << QStringList { "--mqtt-host", "b", "--mqtt-password", "x" } << ""
                                      << "the MQTT password is taken from ORVIK_MQTT_PASSWORD, never from the command line";
    QTest::newRow("port out of range") << QStringList { "--mqtt-host", "b", "--mqtt-port", "70000" } << ""
                                       << "--mqtt-port needs a port from 1 to 65535, not 70000";
    QTest::newRow("missing value") << QStringList { "--mqtt-host" } << "" << "--mqtt-host needs a value";
    QTest::newRow("unknown option") << QStringList { "--mqtt-qos", "2" } << "" << "unknown option --mqtt-qos";
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
    const QString summary = QStringLiteral("%1:%2 %3 %4 %5 %6")
                                .arg(s.host)
                                .arg(s.effectivePort())
                                .arg(s.tls ? "tls" : "plain", s.user.isEmpty() ? "-" : s.user,
                                    s.effectivePrefix(QStringLiteral("pc1")), s.homeAssistant ? "ha" : "-");
    QCOMPARE(summary, settings);
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

// Each step: "up COM7", "down", "d<slave>=<value>", "s<slave>+" (box ticked) or "s<slave>-" (cleared). Each
// message: "topic payload", retained ones marked with a leading 'R'. Distances are at a fixed time.
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
    // clang-format on
}

void TestLinkMqtt::feed()
{
    QFETCH(bool, homeAssistant);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, messages);
    MqttFeed feed(QStringLiteral("p"), QStringLiteral("pc1"), homeAssistant);
    QStringList heard;
    for (const QString& step : steps) {
        std::vector<MqttMessage> out;
        if (step.startsWith("up "))
            out = feed.lineUp(step.mid(3));
        else if (step == "down")
            out = feed.lineDown();
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

void TestLinkMqtt::discovery()
{
    const MqttMessage m = discoveryMessage(QStringLiteral("p"), QStringLiteral("pc-1"), QStringLiteral("COM7"), 3);
    QCOMPARE(m.topic, QStringLiteral("homeassistant/sensor/orvik_pc_1_COM7_3/config"));
    QVERIFY(m.retain);
    const QJsonObject config = QJsonDocument::fromJson(m.payload).object();
    QCOMPARE(config["state_topic"].toString(), QStringLiteral("p/COM7/3/distance"));
    QCOMPARE(config["unit_of_measurement"].toString(), QStringLiteral("m"));
    QCOMPARE(config["device_class"].toString(), QStringLiteral("distance"));
    QCOMPARE(config["value_template"].toString(), QStringLiteral("{{ value_json.distance_m }}"));
    QCOMPARE(config["availability"][0]["topic"].toString(), QStringLiteral("p/COM7/status"));
    QCOMPARE(config["availability"][1]["topic"].toString(), QStringLiteral("p/COM7/3/status"));
    QCOMPARE(config["unique_id"].toString(), QStringLiteral("orvik_pc_1_COM7_3"));
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
