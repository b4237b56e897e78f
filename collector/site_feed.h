// The collector's side of publishing: the line's feed and one MQTT session, wired as the window wires them.
#pragma once

#include "mqtt_client.h"
#include "mqtt_feed.h"

#include <memory>

namespace orvik::collector {

class SiteFeed {
public:
    SiteFeed(const MqttSettings& settings, const QString& line);
    ~SiteFeed();

    void lineUp();
    void lineDown();
    void distance(quint8 slave, qint32 value, qint64 wallMs);
    void slaveStatus(quint8 slave, bool online);
    // Gives the broker up to `ms` to take what is waiting.
    void flush(int ms);

private:
    void send(const std::vector<MqttMessage>& messages);

    QString m_line;
    MqttFeed m_feed;
    std::unique_ptr<MqttClient> m_client;
    MqttClient::State m_state = MqttClient::State::Off;
};

} // namespace orvik::collector
