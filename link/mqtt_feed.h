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
    QString prefix; // empty: orvik/<host name>
    bool homeAssistant = false;

    int effectivePort() const;
    QString effectivePrefix(const QString& hostName) const;
    bool operator==(const MqttSettings&) const = default;
};

struct MqttArguments {
    std::optional<MqttSettings> settings; // set when --mqtt-host was given
    QString error; // why the arguments were refused; empty when they were not
};

// Reads the --mqtt-* options from a program's arguments (other arguments are left alone). The password is taken as
// given (from the environment); an option that tries to put it on the command line is refused.
MqttArguments parseMqttArguments(const QStringList& arguments, const QString& password);

struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retain = false;
    bool operator==(const MqttMessage&) const = default;
};

// A topic level made safe: '/', '+', '#' and NUL would change the topic's shape, so they become '_'.
QString topicLevel(const QString& text);

QString distanceTopic(const QString& prefix, const QString& line, int slave);
QString slaveStatusTopic(const QString& prefix, const QString& line, int slave);
QString lineStatusTopic(const QString& prefix, const QString& line);

// {"time":"<local ISO 8601 with offset and ms>","distance_m":<metres as shown>,"raw":<0.1 mm>}
QByteArray distancePayload(qint64 msecsSinceEpoch, qint32 value);

// The retained Home Assistant discovery message for one slave: a distance sensor in metres, available while both
// the line and the slave are online.
MqttMessage discoveryMessage(const QString& prefix, const QString& hostName, const QString& line, int slave);

// Turns what the window shows on one line into messages: every distance, a slave's status when its box changes,
// the line's status, and with Home Assistant one discovery message per slave the first time it answers.
class MqttFeed {
public:
    MqttFeed(QString prefix, QString hostName, bool homeAssistant);

    std::vector<MqttMessage> lineUp(const QString& line);
    std::vector<MqttMessage> lineDown();
    std::vector<MqttMessage> distance(quint8 slave, qint32 value, qint64 msecsSinceEpoch);
    std::vector<MqttMessage> slaveStatus(quint8 slave, bool online);

    // Every retained message that tells the present state of the line: its status, each known slave's status and,
    // with Home Assistant, the discovery message of each slave announced. Published again on every (re)connect, as
    // a broker may have lost them or published the last will in between.
    std::vector<MqttMessage> announcements() const;

    // The last will for a line: its status, offline.
    MqttMessage will(const QString& line) const;
    const QString& line() const { return m_line; }

private:
    enum class Known { Unknown, Online, Offline };
    QString m_prefix;
    QString m_hostName;
    bool m_homeAssistant;
    QString m_line; // empty while no line is connected
    std::array<Known, 17> m_status {};
    std::array<bool, 17> m_announced {};
};

} // namespace orvik
