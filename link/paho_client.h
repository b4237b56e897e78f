// The MQTT client over Eclipse Paho's asynchronous C library, the one implementation of `MqttClient` (built into the
// "orvik-mqtt" part; the tests link it directly).
//
// Three kinds of thread meet here. The owner's thread only pushes messages into a bounded queue and reads counts: it
// never calls the library, because the library holds its one lock while it resolves a host name, so even a publish
// can wait seconds. One thread of ours (the session) makes every library call: create, connect, send, subscribe,
// destroy. The library's own threads connect (name resolution, TCP, TLS, each within the connect time limit),
// reconnect with a doubling delay, keep messages in flight over a reconnect and resend them first, and call back;
// their callbacks are handed on by queued calls, to the session and from there to the owner.
//
// What the library lacks is kept here: a queue that holds at most so many messages, drops the oldest and counts it;
// retrying a first connect that failed (the library retries only after a connection it made was lost); MQTT 3.1.1
// for a broker that refuses 5; a refusal that ends retrying (wrong password, certificate not trusted).
#pragma once

#include "mqtt_client.h"
#include "mqtt_queue.h"

#include <QObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace orvik {

class PahoClient;
class PahoSession;

// What the session tells the owner: the link's state and the counts the library's answers change.
struct PahoReport {
    MqttClient::State state = MqttClient::State::Off;
    QString reason; // why the link was refused or lost
    quint64 sent = 0;
    quint64 refused = 0;
    QString lastRefusal;
};

// What the owner's thread and the session share, under one lock held only for a copy or a count.
struct PahoShared {
    explicit PahoShared(std::size_t capacity)
        : queue(capacity)
    {
    }
    std::mutex mutex;
    std::condition_variable settled; // waiting() went down, or the link went
    PahoClient* owner = nullptr; // null once the owner is going
    OutgoingQueue queue;
    std::size_t inLibrary = 0; // handed to the library, neither acknowledged nor refused yet
    bool connected = false;
    bool drainPosted = false; // a drain is on its way to the session
    PahoReport report;
    quint64 connects = 0; // connections made, each one announced to the owner
    bool reportPosted = false; // a report is on its way to the owner
};

class PahoClient : public QObject, public MqttClient {
    Q_OBJECT

public:
    static constexpr int kKeepaliveS = 60;
    static constexpr int kConnectTimeoutS = 10;
    // Messages handed to the library at a time; the rest wait in the bounded queue, where drops are counted.
    static constexpr std::size_t kWindow = 20;

    explicit PahoClient(std::size_t capacity = OutgoingQueue::kDefaultCapacity);
    ~PahoClient() override;

    void setEvents(Events events) override { m_events = std::move(events); }
    void start(const MqttSettings& settings, const QString& clientId, const MqttMessage& will) override;
    void stop() override;
    void publish(MqttMessage message) override;
    void subscribe(const QString& topicFilter) override;
    void flush(int ms) override;

    // Read from what the session last reported, so they hold also while the owner's event loop does not turn.
    State state() const override { return report().state; }
    QString stateText() const override;
    quint64 sent() const override { return report().sent; }
    quint64 dropped() const override;
    quint64 refused() const override { return report().refused; }
    QString lastRefusal() const override { return report().lastRefusal; }
    std::size_t waiting() const override;

private:
    friend class PahoSession;
    PahoReport report() const;
    void takeReport();
    void takeMessage(const MqttMessage& message);

    Events m_events;
    quint64 m_connectsSeen = 0;
    std::shared_ptr<PahoShared> m_shared;
    QThread* m_thread;
    PahoSession* m_session;
};

} // namespace orvik
