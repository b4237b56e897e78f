#include "mqtt_feed.h"

#include "distance_log.h"
#include "distance_text.h"
#include "request_frame.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace orvik {

namespace {

constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;
const QByteArray kOnline("online");
const QByteArray kOffline("offline");

std::optional<int> parsePort(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535) return std::nullopt;
    return port;
}

} // namespace

int MqttSettings::effectivePort() const
{
    if (port > 0) return port;
    return tls ? kTlsPort : kPlainPort;
}

QString MqttSettings::effectivePrefix(const QString& hostName) const
{
    QString chosen = prefix;
    while (chosen.endsWith(QLatin1Char('/')))
        chosen.chop(1);
    return chosen.isEmpty() ? QStringLiteral("orvik/") + topicLevel(hostName) : chosen;
}

MqttArguments parseMqttArguments(const QStringList& arguments, const QString& password)
{
    MqttSettings settings;
    settings.password = password;
    bool given = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        if (!option.startsWith(QStringLiteral("--mqtt-"))) continue;
        if (option == QStringLiteral("--mqtt-tls")) {
            settings.tls = true;
            continue;
        }
        if (option == QStringLiteral("--mqtt-ha")) {
            settings.homeAssistant = true;
            continue;
        }
        if (option.startsWith(QStringLiteral("--mqtt-pass")))
            return { {},
                QStringLiteral("the MQTT password is taken from ORVIK_MQTT_PASSWORD, never from the command line") };
        const bool takesValue = option == QStringLiteral("--mqtt-host") || option == QStringLiteral("--mqtt-port")
            || option == QStringLiteral("--mqtt-prefix") || option == QStringLiteral("--mqtt-user")
            || option == QStringLiteral("--mqtt-cafile");
        if (!takesValue) return { {}, QStringLiteral("unknown option %1").arg(option) };
        if (i + 1 >= arguments.size()) return { {}, QStringLiteral("%1 needs a value").arg(option) };
        const QString value = arguments[++i];
        if (option == QStringLiteral("--mqtt-host")) {
            settings.host = value;
            given = true;
        } else if (option == QStringLiteral("--mqtt-port")) {
            const std::optional<int> port = parsePort(value);
            if (!port) return { {}, QStringLiteral("--mqtt-port needs a port from 1 to 65535, not %1").arg(value) };
            settings.port = *port;
        } else if (option == QStringLiteral("--mqtt-prefix")) {
            settings.prefix = value;
        } else if (option == QStringLiteral("--mqtt-user")) {
            settings.user = value;
        } else {
            settings.caFile = value;
        }
    }
    if (!given) return {};
    if (settings.host.isEmpty()) return { {}, QStringLiteral("--mqtt-host needs a host name") };
    settings.enabled = true;
    return { settings, {} };
}

QString topicLevel(const QString& text)
{
    QString level = text;
    for (QChar& c : level) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c == QChar(0))
            c = QLatin1Char('_');
    }
    return level;
}

QString distanceTopic(const QString& prefix, const QString& line, int slave)
{
    return QStringLiteral("%1/%2/%3/distance").arg(prefix, topicLevel(line)).arg(slave);
}

QString slaveStatusTopic(const QString& prefix, const QString& line, int slave)
{
    return QStringLiteral("%1/%2/%3/status").arg(prefix, topicLevel(line)).arg(slave);
}

QString lineStatusTopic(const QString& prefix, const QString& line)
{
    return QStringLiteral("%1/%2/status").arg(prefix, topicLevel(line));
}

QByteArray distancePayload(qint64 msecsSinceEpoch, qint32 value)
{
    // The metres go out as the row's own text with a '.' point: always a valid JSON number, never re-rounded.
    return "{\"time\":\"" + isoLocalTime(msecsSinceEpoch) + "\",\"distance_m\":"
        + distanceText(value, QLatin1Char('.')).toLatin1() + ",\"raw\":" + QByteArray::number(value) + '}';
}

MqttMessage discoveryMessage(const QString& prefix, const QString& hostName, const QString& line, int slave)
{
    QString node = QStringLiteral("orvik_%1_%2").arg(hostName, line);
    for (QChar& c : node) {
        if (!c.isLetterOrNumber() || c.unicode() > 127) c = QLatin1Char('_');
    }
    const QString id = QStringLiteral("%1_%2").arg(node).arg(slave);
    const QJsonObject device { { QStringLiteral("identifiers"), QJsonArray { node } },
        { QStringLiteral("name"), QStringLiteral("Orvik %1 %2").arg(hostName, line) },
        { QStringLiteral("manufacturer"), QStringLiteral("Orvik") } };
    const QJsonObject config {
        { QStringLiteral("name"), QStringLiteral("%1 %2 距离").arg(line).arg(slave) },
        { QStringLiteral("unique_id"), id },
        { QStringLiteral("object_id"), id },
        { QStringLiteral("state_topic"), distanceTopic(prefix, line, slave) },
        { QStringLiteral("value_template"), QStringLiteral("{{ value_json.distance_m }}") },
        { QStringLiteral("unit_of_measurement"), QStringLiteral("m") },
        { QStringLiteral("device_class"), QStringLiteral("distance") },
        { QStringLiteral("state_class"), QStringLiteral("measurement") },
        { QStringLiteral("availability"),
            QJsonArray { QJsonObject { { QStringLiteral("topic"), lineStatusTopic(prefix, line) } },
                QJsonObject { { QStringLiteral("topic"), slaveStatusTopic(prefix, line, slave) } } } },
        { QStringLiteral("availability_mode"), QStringLiteral("all") },
        { QStringLiteral("device"), device },
    };
    return { QStringLiteral("homeassistant/sensor/%1/config").arg(id),
        QJsonDocument(config).toJson(QJsonDocument::Compact), true };
}

MqttFeed::MqttFeed(QString prefix, QString hostName, bool homeAssistant)
    : m_prefix(std::move(prefix))
    , m_hostName(std::move(hostName))
    , m_homeAssistant(homeAssistant)
{
}

MqttMessage MqttFeed::will(const QString& line) const
{
    return { lineStatusTopic(m_prefix, line), kOffline, true };
}

std::vector<MqttMessage> MqttFeed::lineUp(const QString& line)
{
    m_line = line;
    m_status.fill(Known::Unknown);
    m_announced.fill(false);
    return { { lineStatusTopic(m_prefix, line), kOnline, true } };
}

std::vector<MqttMessage> MqttFeed::lineDown()
{
    if (m_line.isEmpty()) return {};
    std::vector<MqttMessage> out { will(m_line) };
    m_line.clear();
    return out;
}

std::vector<MqttMessage> MqttFeed::distance(quint8 slave, qint32 value, qint64 msecsSinceEpoch)
{
    if (m_line.isEmpty() || !isSlaveAddress(slave)) return {};
    std::vector<MqttMessage> out;
    if (m_homeAssistant && !m_announced[static_cast<std::size_t>(slave)]) {
        m_announced[static_cast<std::size_t>(slave)] = true;
        out.push_back(discoveryMessage(m_prefix, m_hostName, m_line, slave));
    }
    out.push_back({ distanceTopic(m_prefix, m_line, slave), distancePayload(msecsSinceEpoch, value), false });
    return out;
}

std::vector<MqttMessage> MqttFeed::slaveStatus(quint8 slave, bool online)
{
    if (m_line.isEmpty() || !isSlaveAddress(slave)) return {};
    Known& known = m_status[static_cast<std::size_t>(slave)];
    const Known now = online ? Known::Online : Known::Offline;
    if (known == now) return {};
    known = now;
    return { { slaveStatusTopic(m_prefix, m_line, slave), online ? kOnline : kOffline, true } };
}

std::vector<MqttMessage> MqttFeed::announcements() const
{
    if (m_line.isEmpty()) return {};
    std::vector<MqttMessage> out { { lineStatusTopic(m_prefix, m_line), kOnline, true } };
    for (int slave = 1; slave <= 16; ++slave) {
        const auto i = static_cast<std::size_t>(slave);
        if (m_announced[i]) out.push_back(discoveryMessage(m_prefix, m_hostName, m_line, slave));
        if (m_status[i] != Known::Unknown)
            out.push_back(
                { slaveStatusTopic(m_prefix, m_line, slave), m_status[i] == Known::Online ? kOnline : kOffline, true });
    }
    return out;
}

} // namespace orvik
