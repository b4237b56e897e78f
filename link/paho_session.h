// The thread that makes every call into the Paho library for one client (see paho_client.h).
#pragma once

#include "paho_client.h"

#include <QStringList>
#include <QTimer>
#include <deque>

namespace orvik {

struct Leaving;

class PahoSession : public QObject {
    Q_OBJECT

public:
    struct CallbackContext {
        PahoSession* session;
        quint64 handleNumber;
    };

    explicit PahoSession(std::shared_ptr<PahoShared> shared);
    ~PahoSession() override;

    void start(const MqttSettings& settings, const QString& clientId, const MqttMessage& will);
    void stop();
    void subscribe(const QString& topicFilter);
    // Hands waiting messages to the library while connected, at most kWindow unfinished at a time.
    void drain();
    // Lets the handle go and ends the thread.
    void close();

    // What the library's threads report, handed here by queued calls; each names the handle it came from.
    quint64 handleNumber() const { return m_handleNumber; }
    void connectFailed(int code, int reasonCode, const QString& message);
    void connectedNow();
    void lost(const QString& cause);
    void finished(int token, bool ok, int code, int reasonCode, const QString& message);
    void tlsError(const QString& text) { m_tlsError = text; }
    void received(const MqttMessage& message);

private:
    void createAndConnect();
    void connectAgainLater(const QString& reason);
    void dropHandle();
    void leave();
    bool send(MqttMessage message);
    void refuse(const QString& topic, const QString& reason);
    void setState(MqttClient::State state, const QString& reason = {});
    void report();

    std::shared_ptr<PahoShared> m_shared;
    void* m_handle = nullptr; // MQTTAsync
    quint64 m_handleNumber = 0;
    // What the library's callbacks are given: never freed while the session lives, as a callback may still be
    // running on the library's thread while its handle is destroyed.
    std::deque<std::unique_ptr<CallbackContext>> m_contexts;
    MqttSettings m_settings;
    QString m_clientId;
    MqttMessage m_will;
    int m_version = 5; // MQTT 5 until a broker refuses it, then 3.1.1
    PahoReport m_report;
    bool m_connected = false;
    QString m_tlsError; // the last one OpenSSL reported for this handle
    // In the library, in the order sent, by token: what goes back to the queue if the handle goes.
    std::deque<std::pair<int, MqttMessage>> m_held;
    QStringList m_filters;
    std::deque<std::unique_ptr<Leaving>> m_leaving; // kept, as a late answer may still arrive
    ReconnectBackoff m_backoff;
    QTimer m_retry { this }; // a child, so it moves to the session's thread with it
};

} // namespace orvik
