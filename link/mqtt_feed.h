// What the monitor publishes to an MQTT broker: the settings, the topics and payloads, and the feed that turns what
// the window shows into messages.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace orvik {

struct MqttSettings {
    bool enabled = false;
    QString host;
    int port = 0; // 0: 1883, or 8883 with TLS
    bool tls = false;
    QString caFile; // empty: the system's CA folder
    QString user;
    QString password; // from the settings file or ORVIK_MQTT_PASSWORD, never from a command line
    bool passwordFromEnvironment = false; // then it is used, never saved
    QString prefix; // empty: orvik/<host name>
    bool homeAssistant = false;
    QString discoveryPrefix; // empty: homeassistant

    int effectivePort() const;
    QString effectivePrefix(const QString& hostName) const;
    QString effectiveDiscoveryPrefix() const;
    bool prefixesUsable() const; // neither prefix has a fault (a settings file edited by hand may give one)
    // The password as the settings file may hold it: one that came from the environment stays out of the file.
    QString savedPassword() const { return passwordFromEnvironment ? QString() : password; }
    bool operator==(const MqttSettings&) const = default;
};

struct MqttArguments {
    std::optional<MqttSettings> settings; // set when --mqtt-host was given
    QString error; // why the arguments were refused; empty when they were not
};

// Why a topic prefix cannot be used. A broker refuses every topic that holds a wildcard or a control character, and
// reserves topics that start with '$' for itself, so such a prefix would have every message refused.
enum class PrefixFault { None, Wildcard, ControlCharacter, Reserved };
PrefixFault prefixFault(const QString& prefix);
QString prefixFaultText(PrefixFault fault); // for the command line

// Reads the --mqtt-* options from a program's arguments (other arguments are left alone). The password is taken as
// given (from the environment); an option that tries to put it on the command line is refused.
MqttArguments parseMqttArguments(const QStringList& arguments, const QString& password);

struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retain = false;
    bool operator==(const MqttMessage&) const = default;
};

// A name made into one topic level: '/', '+', '#' and the characters a broker refuses (controls, non-characters)
// become %XX for each of their UTF-8 bytes, and so does '%' itself, so two names never give the same level.
QString topicLevel(const QString& text);

QString distanceTopic(const QString& prefix, const QString& line, int slave);
QString slaveStatusTopic(const QString& prefix, const QString& line, int slave);
QString lineStatusTopic(const QString& prefix, const QString& line);

// {"time":"<local ISO 8601 with offset and ms>","distance_m":<metres as shown>,"raw":<0.1 mm>}
QByteArray distancePayload(qint64 msecsSinceEpoch, qint32 value);

// Turns what the window shows on one line into messages: every distance, a slave's status when its box changes,
// the line's status, and with Home Assistant one discovery message per slave the first time it answers.
class MqttFeed {
public:
    MqttFeed(const MqttSettings& settings, QString hostName);

    std::vector<MqttMessage> lineUp(const QString& line);
    std::vector<MqttMessage> lineDown();
    std::vector<MqttMessage> distance(quint8 slave, qint32 value, qint64 msecsSinceEpoch);
    std::vector<MqttMessage> slaveStatus(quint8 slave, bool online);

    // Every retained message that tells the present state of the line: its status, each known slave's status and,
    // with Home Assistant, the discovery message of each slave announced. Published again on every (re)connect, as
    // a broker may have lost them or published the last will in between.
    std::vector<MqttMessage> announcements() const;

    // The topics to follow on every connect: with Home Assistant, its status, so its restart is heard.
    QStringList subscriptions() const;
    // What to publish on hearing a message: everything announced again when Home Assistant comes online (it has
    // then forgotten what it was told before, unless the broker kept it); nothing for any other message.
    std::vector<MqttMessage> heard(const MqttMessage& message) const;

    // Empty retained messages on every status and discovery topic of each line this feed has announced, all sixteen
    // slaves (a slave may have been announced by an earlier run), so the broker forgets them and Home Assistant
    // removes the sensors. The feed then falls silent until a line is connected again, and its last will clears the
    // line's status instead of saying offline: otherwise the next poll or the monitor's going would bring them back.
    std::vector<MqttMessage> removeAnnouncements();

    // The retained Home Assistant discovery message for one slave: a distance sensor in metres, available while both
    // the line and the slave are online.
    MqttMessage discoveryMessage(const QString& line, int slave) const;

    // The last will for a line: its status, offline.
    MqttMessage will(const QString& line) const;
    const QString& line() const { return m_line; }

private:
    enum class Known { Unknown, Online, Offline };
    QString discoveryTopic(const QString& line, int slave) const;

    QString m_prefix;
    QString m_discoveryPrefix;
    QString m_hostName;
    bool m_homeAssistant;
    QString m_line; // empty while no line is connected
    QStringList m_lines; // every line announced since the feed began or last removed its announcements
    bool m_removed = false; // silent after removing its announcements, until the next line is connected
    std::array<Known, 17> m_status {};
    std::array<bool, 17> m_announced {};
};

} // namespace orvik
