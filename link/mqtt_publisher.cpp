#include "mqtt_publisher.h"

#include <QElapsedTimer>
#include <mosquitto.h>

namespace orvik {

namespace {

const char* const kSystemCaFolder = "/etc/ssl/certs";

// The library's global state (and OpenSSL's below it) is set up with the first publisher and released with the last.
int g_publishers = 0;

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

bool credentialsRefused(int rc)
{
    // MQTT 3.1.1 CONNACK: 4 bad user name or password, 5 not authorised; 2 an identifier the broker will not take.
    return rc == 2 || rc == 4 || rc == 5;
}

void release(std::unique_ptr<QSocketNotifier>& notifier)
{
    if (!notifier) return;
    notifier->setEnabled(false);
    // It may be the one whose signal is running now.
    notifier.release()->deleteLater();
}

} // namespace

MqttPublisher::MqttPublisher(std::size_t capacity, QObject* parent)
    : QObject(parent)
    , m_queue(capacity)
{
    if (g_publishers++ == 0) mosquitto_lib_init();
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] { connectNow(); });
    m_keepaliveTimer.setInterval(kKeepaliveS * 1000 / 3);
    connect(&m_keepaliveTimer, &QTimer::timeout, this, [this] { service(Wake::Timer); });
}

MqttPublisher::~MqttPublisher()
{
    dropHandle();
    if (--g_publishers == 0) mosquitto_lib_cleanup();
}

void MqttPublisher::start(const MqttSettings& settings, const QString& clientId, const MqttMessage& will)
{
    dropHandle();
    m_settings = settings;
    m_clientId = clientId;
    m_will = will;
    m_backoff.reset();
    m_reason.clear();
    m_mosq = mosquitto_new(utf8(clientId).constData(), true, this);
    if (!m_mosq) {
        refuse(QString::fromUtf8(mosquitto_strerror(MOSQ_ERR_NOMEM)));
        return;
    }
    mosquitto_connect_callback_set(m_mosq, &MqttPublisher::onConnect);
    mosquitto_publish_callback_set(m_mosq, &MqttPublisher::onPublish);
    mosquitto_log_callback_set(m_mosq, &MqttPublisher::onLog);
    const QByteArray willTopic = utf8(will.topic);
    mosquitto_will_set(
        m_mosq, willTopic.constData(), static_cast<int>(will.payload.size()), will.payload.constData(), 1, will.retain);
    if (!settings.user.isEmpty()) {
        const QByteArray user = utf8(settings.user);
        const QByteArray password = utf8(settings.password);
        mosquitto_username_pw_set(
            m_mosq, user.constData(), settings.password.isEmpty() ? nullptr : password.constData());
    }
    if (settings.tls) {
        const QByteArray caFile = utf8(settings.caFile);
        const int rc = mosquitto_tls_set(m_mosq, settings.caFile.isEmpty() ? nullptr : caFile.constData(),
            settings.caFile.isEmpty() ? kSystemCaFolder : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            refuse(QStringLiteral("%1 (%2)").arg(QString::fromUtf8(mosquitto_strerror(rc)), settings.caFile));
            return;
        }
    }
    setState(State::Connecting);
    connectNow();
}

void MqttPublisher::stop()
{
    dropHandle();
    setState(State::Off);
}

void MqttPublisher::publish(MqttMessage message)
{
    m_queue.push(std::move(message));
    pump();
    emit changed();
}

void MqttPublisher::flush(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (m_state == State::Connected && waiting() > 0 && clock.elapsed() < ms) {
        // Blocks in the library's select for at most 50 ms: the window is closing, nothing else is waiting on it.
        if (mosquitto_loop(m_mosq, 50, 1) != MOSQ_ERR_SUCCESS) break;
    }
}

QString MqttPublisher::stateText() const
{
    switch (m_state) {
    case State::Off:
        return QStringLiteral("未连接");
    case State::Connecting:
        return QStringLiteral("正在连接");
    case State::Connected:
        return QStringLiteral("已连接");
    case State::Reconnecting:
        return QStringLiteral("正在重连");
    case State::Refused:
        return QStringLiteral("连接被拒绝: %1").arg(m_reason);
    }
    return {};
}

// Host names are resolved here, before the socket exists: a name the resolver cannot answer quickly holds the event
// loop for as long. A broker on the PC itself (or an address) never waits.
void MqttPublisher::connectNow()
{
    if (!m_mosq) return;
    m_lastLogError.clear();
    const QByteArray host = utf8(m_settings.host);
    const int rc = m_everConnected
        ? mosquitto_reconnect_async(m_mosq)
        : mosquitto_connect_async(m_mosq, host.constData(), m_settings.effectivePort(), kKeepaliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(rc);
        return;
    }
    watchSocket();
    m_keepaliveTimer.start();
}

// One step of the library's loop for what woke us. While the connection is being made (TCP, TLS handshake, CONNACK)
// the whole loop runs with a zero timeout, as it knows which of its steps is due; once connected, the step alone
// (a read, a write, the keepalive) saves a select() on every acknowledgement.
void MqttPublisher::service(Wake wake)
{
    if (!m_mosq) return;
    int rc = MOSQ_ERR_SUCCESS;
    if (m_state != State::Connected)
        rc = mosquitto_loop(m_mosq, 0, 1);
    else if (wake == Wake::Readable)
        rc = mosquitto_loop_read(m_mosq, 1);
    else if (wake == Wake::Writable)
        rc = mosquitto_loop_write(m_mosq, 1);
    else
        rc = mosquitto_loop_misc(m_mosq);
    if (rc != MOSQ_ERR_SUCCESS && m_state != State::Refused) {
        lost(rc);
        return;
    }
    watchSocket();
}

// Hands waiting messages to the library while the broker is there, at most kMaxInFlight unacknowledged at a time.
void MqttPublisher::pump()
{
    if (m_state != State::Connected) return;
    while (!m_queue.empty() && m_inFlight.size() < kMaxInFlight) {
        MqttMessage message = m_queue.pop();
        const QByteArray topic = utf8(message.topic);
        int mid = 0;
        const int rc = mosquitto_publish(m_mosq, &mid, topic.constData(), static_cast<int>(message.payload.size()),
            message.payload.constData(), 1, message.retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            m_queue.pushFront(std::move(message));
            break;
        }
        m_inFlight.push_back({ mid, std::move(message) });
    }
    watchSocket();
}

// The connection has gone or could not be made: try again after the next delay, unless the broker refused us.
void MqttPublisher::lost(int rc)
{
    if (!m_mosq) return;
    if (rc == MOSQ_ERR_TLS && !m_everConnected) {
        // A certificate refused (by either side) does not mend by retrying.
        refuse(m_lastLogError.isEmpty() ? QString::fromUtf8(mosquitto_strerror(rc)) : m_lastLogError);
        return;
    }
    m_reason = m_lastLogError.isEmpty() ? QString::fromUtf8(mosquitto_strerror(rc)) : m_lastLogError;
    release(m_readNotifier);
    release(m_writeNotifier);
    m_socket = -1;
    m_keepaliveTimer.stop();
    m_retryTimer.start(m_backoff.nextDelayMs());
    setState(State::Reconnecting);
}

void MqttPublisher::refuse(const QString& why)
{
    m_reason = why;
    m_retryTimer.stop();
    m_keepaliveTimer.stop();
    release(m_readNotifier);
    release(m_writeNotifier);
    m_socket = -1;
    if (m_mosq) mosquitto_disconnect(m_mosq);
    setState(State::Refused);
}

// Follows the library's socket: a new one after each reconnect, none after a loss. Writing is watched only while
// something waits to be written, or a writable socket would wake the loop without end.
void MqttPublisher::watchSocket()
{
    const int socket = m_mosq ? mosquitto_socket(m_mosq) : -1;
    if (socket != m_socket) {
        release(m_readNotifier);
        release(m_writeNotifier);
        m_socket = socket;
        if (socket >= 0) {
            m_readNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
            connect(m_readNotifier.get(), &QSocketNotifier::activated, this, [this] { service(Wake::Readable); });
            m_writeNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
            connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, [this] { service(Wake::Writable); });
        }
    }
    if (m_writeNotifier) m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
}

// Takes the messages the library still holds unacknowledged back to the front of the queue, then frees it without
// a DISCONNECT packet: to the broker, the monitor has vanished.
void MqttPublisher::dropHandle()
{
    m_retryTimer.stop();
    m_keepaliveTimer.stop();
    release(m_readNotifier);
    release(m_writeNotifier);
    m_socket = -1;
    while (!m_inFlight.empty()) {
        m_queue.pushFront(std::move(m_inFlight.back().message));
        m_inFlight.pop_back();
    }
    if (m_mosq) mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_everConnected = false;
}

void MqttPublisher::setState(State state)
{
    m_state = state;
    emit changed();
}

void MqttPublisher::onConnect(mosquitto*, void* self, int rc)
{
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        const QString why = QString::fromUtf8(mosquitto_connack_string(rc));
        if (credentialsRefused(rc)) {
            p->refuse(why);
        } else {
            p->m_lastLogError = why;
        }
        return;
    }
    p->m_everConnected = true;
    p->m_backoff.reset();
    p->m_reason.clear();
    p->setState(State::Connected);
    p->pump();
}

void MqttPublisher::onPublish(mosquitto*, void* self, int mid)
{
    auto* p = static_cast<MqttPublisher*>(self);
    for (auto it = p->m_inFlight.begin(); it != p->m_inFlight.end(); ++it) {
        if (it->mid != mid) continue;
        p->m_inFlight.erase(it);
        ++p->m_sent;
        break;
    }
    p->pump();
    emit p->changed();
}

void MqttPublisher::onLog(mosquitto*, void* self, int level, const char* text)
{
    // Only errors are kept, as the reason a connection failed; the library never logs the password.
    if (level & MOSQ_LOG_ERR) static_cast<MqttPublisher*>(self)->m_lastLogError = QString::fromUtf8(text);
}

} // namespace orvik
