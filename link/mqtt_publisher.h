// Publishes messages to an MQTT broker with libmosquitto, from the Qt event loop: a socket notifier wakes it when the
// broker's socket can be read (or written while something waits to go out), and a timer at a third of the keepalive
// sends the pings. It only publishes, at QoS 1; it subscribes to nothing.
#pragma once

#include "mqtt_feed.h"
#include "mqtt_queue.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>
#include <memory>

struct mosquitto;

namespace orvik {

class MqttPublisher : public QObject {
    Q_OBJECT

public:
    enum class State { Off, Connecting, Connected, Reconnecting, Refused };
    static constexpr int kKeepaliveS = 60;
    static constexpr int kMaxInFlight = 20; // libmosquitto's own window for unacknowledged QoS 1 messages

    explicit MqttPublisher(std::size_t capacity = OutgoingQueue::kDefaultCapacity, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Connects with these settings, the broker holding `will` for the moment the monitor vanishes. A session already
    // running is replaced; messages not yet acknowledged stay queued, in order.
    void start(const MqttSettings& settings, const QString& clientId, const MqttMessage& will);
    // Drops the connection without a goodbye, so the broker sends the last will; queued messages stay.
    void stop();
    void publish(MqttMessage message);
    // Gives the broker up to `ms` to take what is waiting, as the program closes; returns early when nothing is.
    void flush(int ms);

    State state() const { return m_state; }
    // The state as the dialog shows it, with the broker's or the library's reason when the link was refused.
    QString stateText() const;
    quint64 sent() const { return m_sent; }
    quint64 dropped() const { return m_queue.dropped(); }
    std::size_t waiting() const { return m_queue.size() + m_inFlight.size(); }
    int retryDelayMs() const { return m_retryTimer.interval(); }

signals:
    void changed();

private:
    struct InFlight {
        int mid;
        MqttMessage message;
    };
    static void onConnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onLog(mosquitto*, void* self, int level, const char* text);

    void connectNow();
    enum class Wake { Readable, Writable, Timer };
    void service(Wake wake);
    void pump();
    void lost(int rc);
    void refuse(const QString& why);
    void watchSocket();
    void dropHandle();
    void setState(State state);

    mosquitto* m_mosq = nullptr;
    MqttSettings m_settings;
    QString m_clientId;
    MqttMessage m_will;
    State m_state = State::Off;
    QString m_reason;
    QString m_lastLogError;
    bool m_everConnected = false; // by this handle: a later reconnect resumes its session
    OutgoingQueue m_queue;
    std::deque<InFlight> m_inFlight;
    quint64 m_sent = 0;
    ReconnectBackoff m_backoff;
    QTimer m_retryTimer;
    QTimer m_keepaliveTimer;
    int m_socket = -1;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
};

} // namespace orvik
