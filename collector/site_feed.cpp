#include "site_feed.h"

#include "service.h"

#include <QSysInfo>

namespace orvik::collector {

SiteFeed::SiteFeed(const MqttSettings& settings, const QString& line)
    : m_line(line)
    , m_feed(settings, QSysInfo::machineHostName())
{
    QString error;
    m_client = createMqttClient(&error);
    if (!m_client) {
        log(Priority::Error, QStringLiteral("MQTT publishing is not available: %1").arg(error));
        return;
    }
    MqttClient::Events events;
    // A broker that lost its retained messages, or published the last will during a blip, learns the line's state
    // again on every connect.
    events.connected = [this] { send(m_feed.announcements()); };
    // Said when the session comes and goes, not at every attempt of a reconnect.
    events.changed = [this] {
        const MqttClient::State state = m_client->state();
        if (state == m_state) return;
        if (state == MqttClient::State::Connected)
            log(Priority::Info, QStringLiteral("MQTT: %1").arg(m_client->stateText()));
        else if (m_state == MqttClient::State::Connected || state == MqttClient::State::Refused)
            log(Priority::Warning, QStringLiteral("MQTT: %1").arg(m_client->stateText()));
        m_state = state;
    };
    // Home Assistant coming online hears the line's state and the discovery messages again.
    events.received = [this](const MqttMessage& message) { send(m_feed.heard(message)); };
    m_client->setEvents(std::move(events));
    for (const QString& topic : m_feed.subscriptions())
        m_client->subscribe(topic);
    const QString clientId = QStringLiteral("orvik-collector-%1-%2").arg(QSysInfo::machineHostName(), topicLevel(line));
    m_client->start(settings, clientId, m_feed.will(line));
}

SiteFeed::~SiteFeed() = default;

void SiteFeed::lineUp()
{
    send(m_feed.lineUp(m_line));
}

void SiteFeed::lineDown()
{
    send(m_feed.lineDown());
}

void SiteFeed::distance(quint8 slave, qint32 value, qint64 wallMs)
{
    send(m_feed.distance(slave, value, wallMs));
}

void SiteFeed::slaveStatus(quint8 slave, bool online)
{
    send(m_feed.slaveStatus(slave, online));
}

void SiteFeed::flush(int ms)
{
    if (m_client) m_client->flush(ms);
}

void SiteFeed::send(const std::vector<MqttMessage>& messages)
{
    if (!m_client) return;
    for (const MqttMessage& message : messages)
        m_client->publish(message);
}

} // namespace orvik::collector
