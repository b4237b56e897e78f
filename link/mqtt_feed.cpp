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
constexpr int kSlaves = 16;
const QByteArray kOnline("online");
const QByteArray kOffline("offline");
const QString kDefaultDiscoveryPrefix = QStringLiteral("homeassistant");

// The text's code points; a lone surrogate stands for itself, so no two texts give the same list.
std::vector<char32_t> codePoints(const QString& text)
{
    std::vector<char32_t> out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out.push_back(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else {
            out.push_back(c.unicode());
        }
    }
    return out;
}

// What libmosquitto refuses in a topic besides the wildcards: NUL and every other control character (C0, DEL, C1),
// the non-characters, and text that is not valid UTF-8 (a lone surrogate).
bool refusedInTopic(char32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE
        || (cp >= 0xD800 && cp <= 0xDFFF);
}

// UTF-8 bytes of one code point (a lone surrogate encoded as if it were one, so it keeps its own bytes).
QByteArray utf8Bytes(char32_t cp)
{
    QByteArray out;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
    return out;
}

// Each UTF-8 byte of the code point as <lead><two capital hex digits>.
QString escaped(char32_t cp, QChar lead)
{
    QString out;
    for (const char byte : utf8Bytes(cp))
        out += lead
            + QString::number(static_cast<unsigned char>(byte), 16).toUpper().rightJustified(2, QLatin1Char('0'));
    return out;
}

void appendCodePoint(QString& text, char32_t cp)
{
    if (QChar::requiresSurrogates(cp)) {
        text += QChar(QChar::highSurrogate(cp));
        text += QChar(QChar::lowSurrogate(cp));
    } else {
        text += QChar(static_cast<char16_t>(cp));
    }
}

// A name as one part of a Home Assistant object id ([A-Za-z0-9_-]): letters and digits as they are, everything else
// as -XX per UTF-8 byte. Parts never hold '_', so the '_' between them keeps two names from giving one id.
QString idPart(const QString& name)
{
    QString out;
    for (const char32_t cp : codePoints(name)) {
        const bool plain = (cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z');
        if (plain)
            out += QChar(static_cast<char16_t>(cp));
        else
            out += escaped(cp, QLatin1Char('-'));
    }
    return out;
}

// A valid entity id's object part: lower-case letters, digits and single '_' inside.
QString entitySlug(const QString& id)
{
    QString out;
    for (const QChar c : id.toLower()) {
        const bool plain
            = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
        if (plain)
            out += c;
        else if (!out.isEmpty() && !out.endsWith(QLatin1Char('_')))
            out += QLatin1Char('_');
    }
    while (out.endsWith(QLatin1Char('_')))
        out.chop(1);
    return out;
}

QString trimmedPrefix(QString prefix)
{
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    return prefix;
}

// A prefix as one line of the command line's message: control characters shown as \uXXXX.
QString shownOnOneLine(const QString& text)
{
    QString out;
    for (const char32_t cp : codePoints(text)) {
        if (refusedInTopic(cp))
            out += QStringLiteral("\\u%1").arg(uint(cp), 4, 16, QLatin1Char('0'));
        else
            appendCodePoint(out, cp);
    }
    return out;
}

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
    const QString chosen = trimmedPrefix(prefix);
    return chosen.isEmpty() ? QStringLiteral("orvik/") + topicLevel(hostName) : chosen;
}

QString MqttSettings::effectiveDiscoveryPrefix() const
{
    const QString chosen = trimmedPrefix(discoveryPrefix);
    return chosen.isEmpty() ? kDefaultDiscoveryPrefix : chosen;
}

bool MqttSettings::prefixesUsable() const
{
    return prefixFault(prefix) == PrefixFault::None && prefixFault(discoveryPrefix) == PrefixFault::None;
}

PrefixFault prefixFault(const QString& prefix)
{
    if (prefix.startsWith(QLatin1Char('$'))) return PrefixFault::Reserved;
    for (const char32_t cp : codePoints(prefix)) {
        if (cp == '+' || cp == '#') return PrefixFault::Wildcard;
        if (refusedInTopic(cp)) return PrefixFault::ControlCharacter;
    }
    return PrefixFault::None;
}

QString prefixFaultText(PrefixFault fault)
{
    switch (fault) {
    case PrefixFault::None:
        break;
    case PrefixFault::Wildcard:
        return QStringLiteral("'+' and '#' are wildcards, not part of a topic");
    case PrefixFault::ControlCharacter:
        return QStringLiteral("a topic cannot hold control characters");
    case PrefixFault::Reserved:
        return QStringLiteral("topics starting with '$' belong to the broker");
    }
    return {};
}

MqttArguments parseMqttArguments(const QStringList& arguments, const QString& password)
{
    MqttSettings settings;
    settings.password = password;
    settings.passwordFromEnvironment = !password.isEmpty();
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
            || option == QStringLiteral("--mqtt-cafile") || option == QStringLiteral("--mqtt-discovery-prefix");
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
        } else if (option == QStringLiteral("--mqtt-prefix") || option == QStringLiteral("--mqtt-discovery-prefix")) {
            const PrefixFault fault = prefixFault(value);
            if (fault != PrefixFault::None)
                return { {},
                    QStringLiteral("%1 \"%2\" is refused: %3")
                        .arg(option, shownOnOneLine(value), prefixFaultText(fault)) };
            (option == QStringLiteral("--mqtt-prefix") ? settings.prefix : settings.discoveryPrefix) = value;
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
    QString level;
    for (const char32_t cp : codePoints(text)) {
        if (cp == '%' || cp == '/' || cp == '+' || cp == '#' || refusedInTopic(cp))
            level += escaped(cp, QLatin1Char('%'));
        else
            appendCodePoint(level, cp);
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

MqttFeed::MqttFeed(const MqttSettings& settings, QString hostName)
    : m_prefix(settings.effectivePrefix(hostName))
    , m_discoveryPrefix(settings.effectiveDiscoveryPrefix())
    , m_hostName(std::move(hostName))
    , m_homeAssistant(settings.homeAssistant)
{
}

QString MqttFeed::discoveryTopic(const QString& line, int slave) const
{
    return QStringLiteral("%1/sensor/orvik_%2_%3_%4/config")
        .arg(m_discoveryPrefix, idPart(m_hostName), idPart(line))
        .arg(slave);
}

MqttMessage MqttFeed::discoveryMessage(const QString& line, int slave) const
{
    const QString node = QStringLiteral("orvik_%1_%2").arg(idPart(m_hostName), idPart(line));
    const QString id = QStringLiteral("%1_%2").arg(node).arg(slave);
    const QString version = QStringLiteral(ORVIK_VERSION);
    const QJsonObject device { { QStringLiteral("identifiers"), QJsonArray { node } },
        { QStringLiteral("name"), QStringLiteral("Orvik %1 %2").arg(m_hostName, line) },
        { QStringLiteral("manufacturer"), QStringLiteral("Orvik") },
        { QStringLiteral("model"), QStringLiteral("Orvik Monitor") }, { QStringLiteral("sw_version"), version } };
    const QJsonObject origin { { QStringLiteral("name"), QStringLiteral("Orvik Monitor") },
        { QStringLiteral("sw_version"), version },
        { QStringLiteral("support_url"), QStringLiteral(ORVIK_SUPPORT_URL) } };
    const QJsonObject config {
        { QStringLiteral("name"), QStringLiteral("%1 %2 距离").arg(line).arg(slave) },
        { QStringLiteral("unique_id"), id },
        { QStringLiteral("default_entity_id"), QStringLiteral("sensor.") + entitySlug(id) },
        { QStringLiteral("state_topic"), distanceTopic(m_prefix, line, slave) },
        { QStringLiteral("value_template"), QStringLiteral("{{ value_json.distance_m }}") },
        { QStringLiteral("unit_of_measurement"), QStringLiteral("m") },
        { QStringLiteral("device_class"), QStringLiteral("distance") },
        { QStringLiteral("state_class"), QStringLiteral("measurement") },
        { QStringLiteral("availability"),
            QJsonArray { QJsonObject { { QStringLiteral("topic"), lineStatusTopic(m_prefix, line) } },
                QJsonObject { { QStringLiteral("topic"), slaveStatusTopic(m_prefix, line, slave) } } } },
        { QStringLiteral("availability_mode"), QStringLiteral("all") },
        { QStringLiteral("device"), device },
        { QStringLiteral("origin"), origin },
    };
    return { discoveryTopic(line, slave), QJsonDocument(config).toJson(QJsonDocument::Compact), true };
}

MqttMessage MqttFeed::will(const QString& line) const
{
    // Once the announcements are removed, the monitor's going must not bring the line's status back.
    return { lineStatusTopic(m_prefix, line), m_removed ? QByteArray() : kOffline, true };
}

std::vector<MqttMessage> MqttFeed::lineUp(const QString& line)
{
    m_line = line;
    m_removed = false;
    if (!m_lines.contains(line)) m_lines << line;
    m_status.fill(Known::Unknown);
    m_announced.fill(false);
    return { { lineStatusTopic(m_prefix, line), kOnline, true } };
}

std::vector<MqttMessage> MqttFeed::lineDown()
{
    if (m_line.isEmpty()) return {};
    std::vector<MqttMessage> out;
    if (!m_removed) out.push_back(will(m_line));
    m_line.clear();
    return out;
}

std::vector<MqttMessage> MqttFeed::distance(quint8 slave, qint32 value, qint64 msecsSinceEpoch)
{
    if (m_line.isEmpty() || m_removed || !isSlaveAddress(slave)) return {};
    std::vector<MqttMessage> out;
    if (m_homeAssistant && !m_announced[static_cast<std::size_t>(slave)]) {
        m_announced[static_cast<std::size_t>(slave)] = true;
        out.push_back(discoveryMessage(m_line, slave));
    }
    out.push_back({ distanceTopic(m_prefix, m_line, slave), distancePayload(msecsSinceEpoch, value), false });
    return out;
}

std::vector<MqttMessage> MqttFeed::slaveStatus(quint8 slave, bool online)
{
    if (m_line.isEmpty() || m_removed || !isSlaveAddress(slave)) return {};
    Known& known = m_status[static_cast<std::size_t>(slave)];
    const Known now = online ? Known::Online : Known::Offline;
    if (known == now) return {};
    known = now;
    return { { slaveStatusTopic(m_prefix, m_line, slave), online ? kOnline : kOffline, true } };
}

std::vector<MqttMessage> MqttFeed::announcements() const
{
    if (m_line.isEmpty() || m_removed) return {};
    std::vector<MqttMessage> out { { lineStatusTopic(m_prefix, m_line), kOnline, true } };
    for (int slave = 1; slave <= kSlaves; ++slave) {
        const auto i = static_cast<std::size_t>(slave);
        if (m_announced[i]) out.push_back(discoveryMessage(m_line, slave));
        if (m_status[i] != Known::Unknown)
            out.push_back(
                { slaveStatusTopic(m_prefix, m_line, slave), m_status[i] == Known::Online ? kOnline : kOffline, true });
    }
    return out;
}

QStringList MqttFeed::subscriptions() const
{
    if (!m_homeAssistant) return {};
    return { m_discoveryPrefix + QStringLiteral("/status") };
}

std::vector<MqttMessage> MqttFeed::heard(const MqttMessage& message) const
{
    if (subscriptions().contains(message.topic) && message.payload == kOnline) return announcements();
    return {};
}

std::vector<MqttMessage> MqttFeed::removeAnnouncements()
{
    std::vector<MqttMessage> out;
    for (const QString& line : std::as_const(m_lines)) {
        out.push_back({ lineStatusTopic(m_prefix, line), {}, true });
        for (int slave = 1; slave <= kSlaves; ++slave) {
            out.push_back({ slaveStatusTopic(m_prefix, line, slave), {}, true });
            out.push_back({ discoveryTopic(line, slave), {}, true });
        }
    }
    m_lines.clear();
    m_removed = true;
    m_status.fill(Known::Unknown);
    m_announced.fill(false);
    return out;
}

} // namespace orvik
