// The network side of publishing: one session with one broker, at QoS 2 (a resend after a dropped link arrives once).
// It lives in an optional part ("orvik-mqtt", loaded on first use), so a monitor that never publishes never loads the
// MQTT library or TLS.
//
// Everything here is called on the owner's thread, and the events come back on it; whatever waits on the network
// (name resolution, connecting, the TLS handshake) happens elsewhere.
#pragma once

#include "mqtt_feed.h"

#include <QString>
#include <QtPlugin>
#include <functional>
#include <memory>

namespace orvik {

class MqttClient {
public:
    enum class State { Off, Connecting, Connected, Reconnecting, Refused };
    struct Events {
        std::function<void()> changed; // the state or a count changed
        // Each connect and reconnect: a broker that lost its retained messages (a restart without persistence) or
        // published the last will after a blip learns the truth again from what the owner publishes now.
        std::function<void()> connected;
        std::function<void(const MqttMessage&)> received; // a message on a subscribed topic
    };

    virtual ~MqttClient() = default;
    virtual void setEvents(Events events) = 0;
    // Connects with these settings, the broker holding `will` for the moment the program vanishes. A session already
    // running is replaced; messages not yet acknowledged stay queued, in order.
    virtual void start(const MqttSettings& settings, const QString& clientId, const MqttMessage& will) = 0;
    // Drops the connection without a goodbye, so the broker sends the last will; queued messages stay.
    virtual void stop() = 0;
    virtual void publish(MqttMessage message) = 0;
    // Subscribed on every connect from now on.
    virtual void subscribe(const QString& topicFilter) = 0;
    // Gives the broker up to `ms` to take what is waiting, as the program closes; returns early when nothing is.
    virtual void flush(int ms) = 0;

    virtual State state() const = 0;
    // The state as people read it, with the broker's or the library's reason when the link was refused.
    virtual QString stateText() const = 0;
    virtual quint64 sent() const = 0; // acknowledged by the broker
    virtual quint64 dropped() const = 0; // pushed out of the full queue
    virtual quint64 refused() const = 0; // refused by the broker (reason code 0x80 or above), then dropped
    // The last refusal, "topic: reason", empty while there was none.
    virtual QString lastRefusal() const = 0;
    virtual std::size_t waiting() const = 0;
};

// What the part offers.
class MqttClientPart {
public:
    virtual ~MqttClientPart() = default;
    virtual std::unique_ptr<MqttClient> createClient() = 0;
};

// Loads the part on first use; null, with the reason in `error`, when it cannot be loaded.
std::unique_ptr<MqttClient> createMqttClient(QString* error = nullptr);

} // namespace orvik

Q_DECLARE_INTERFACE(orvik::MqttClientPart, "io.orvik.Monitor.MqttClientPart/1")
