#include "paho_session.h"

#include <MQTTAsync.h>

namespace orvik {

// A DISCONNECT the session waits for: the library sends it from its own thread.
struct Leaving {
    std::mutex mutex;
    std::condition_variable done;
    bool gone = false;
};

namespace {

constexpr int kQos = 1;
// The broker keeps the session (messages in flight, their packet numbers) this long after the link drops, so a
// reconnect resends exactly what was not acknowledged.
constexpr int kSessionExpiryS = 600;
const char* const kSystemCaFolder = "/etc/ssl/certs";

QString text(const char* s)
{
    return s ? QString::fromUtf8(s) : QString();
}

// The library's callbacks run on its threads: they copy what they are told and hand it to the session's thread,
// where a call from a handle already let go is ignored.
template <class F> void post(void* context, F f)
{
    auto* c = static_cast<PahoSession::CallbackContext*>(context);
    QMetaObject::invokeMethod(
        c->session,
        [s = c->session, number = c->handleNumber, f = std::move(f)] {
            if (s->handleNumber() == number) f(s);
        },
        Qt::QueuedConnection);
}

void onConnected(void* context, char*)
{
    post(context, [](PahoSession* s) { s->connectedNow(); });
}

void onConnectSuccess5(void* context, MQTTAsync_successData5*)
{
    onConnected(context, nullptr);
}

void onConnectSuccess3(void* context, MQTTAsync_successData*)
{
    onConnected(context, nullptr);
}

void onConnectFailure5(void* context, MQTTAsync_failureData5* r)
{
    post(context, [code = r->code, reason = int(r->reasonCode), message = text(r->message)](PahoSession* s) {
        s->connectFailed(code, reason, message);
    });
}

void onConnectFailure3(void* context, MQTTAsync_failureData* r)
{
    post(context, [code = r->code, message = text(r->message)](PahoSession* s) { s->connectFailed(code, 0, message); });
}

void onLost(void* context, char* cause)
{
    post(context, [cause = text(cause)](PahoSession* s) { s->lost(cause); });
    MQTTAsync_free(cause);
}

int onMessage(void* context, char* topic, int topicLength, MQTTAsync_message* m)
{
    MqttMessage message { topicLength > 0 ? QString::fromUtf8(topic, topicLength) : QString::fromUtf8(topic),
        QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retained != 0 };
    MQTTAsync_freeMessage(&m);
    MQTTAsync_free(topic);
    post(context, [message](PahoSession* s) { s->received(message); });
    return 1;
}

void onSent5(void* context, MQTTAsync_successData5* r)
{
    post(context, [token = r->token, reason = int(r->reasonCode)](PahoSession* s) {
        s->finished(token, true, MQTTASYNC_SUCCESS, reason, {});
    });
}

void onSent3(void* context, MQTTAsync_successData* r)
{
    post(context, [token = r->token](PahoSession* s) { s->finished(token, true, MQTTASYNC_SUCCESS, 0, {}); });
}

void onRefused5(void* context, MQTTAsync_failureData5* r)
{
    post(context,
        [token = r->token, code = r->code, reason = int(r->reasonCode), message = text(r->message)](
            PahoSession* s) { s->finished(token, false, code, reason, message); });
}

void onRefused3(void* context, MQTTAsync_failureData* r)
{
    post(context, [token = r->token, code = r->code, message = text(r->message)](PahoSession* s) {
        s->finished(token, false, code, 0, message);
    });
}

// OpenSSL's line "<thread>:error:<code>:<library>:<function>:<reason>:<file>:<line>:" becomes "<library>: <reason>".
int onTlsError(const char* str, size_t length, void* context)
{
    const QString line = QString::fromUtf8(str, qsizetype(length)).trimmed();
    const QStringList fields = line.split(QLatin1Char(':'));
    const QString error = fields.size() > 5 ? QStringLiteral("%1: %2").arg(fields[3], fields[5]) : line;
    post(context, [error](PahoSession* s) { s->tlsError(error); });
    return 0;
}

void onGone(void* context)
{
    auto* leaving = static_cast<Leaving*>(context);
    {
        std::lock_guard lock(leaving->mutex);
        leaving->gone = true;
    }
    leaving->done.notify_all();
}

void onGone5(void* context, MQTTAsync_successData5*)
{
    onGone(context);
}

void onGoneFailed5(void* context, MQTTAsync_failureData5*)
{
    onGone(context);
}

void onGone3(void* context, MQTTAsync_successData*)
{
    onGone(context);
}

void onGoneFailed3(void* context, MQTTAsync_failureData*)
{
    onGone(context);
}

QString reasonText(int reasonCode)
{
    return QStringLiteral("%1 (0x%2)")
        .arg(text(MQTTReasonCode_toString(MQTTReasonCodes(reasonCode))))
        .arg(reasonCode, 2, 16, QLatin1Char('0'));
}

// Refusals that do not mend by trying again: the broker will not take these credentials or this client.
bool credentialsRefused(int version, int code, int reasonCode)
{
    switch (reasonCode) {
    case MQTTREASONCODE_CLIENT_IDENTIFIER_NOT_VALID:
    case MQTTREASONCODE_BAD_USER_NAME_OR_PASSWORD:
    case MQTTREASONCODE_NOT_AUTHORIZED:
    case MQTTREASONCODE_BANNED:
    case MQTTREASONCODE_BAD_AUTHENTICATION_METHOD:
        return true;
    default:
        // MQTT 3.1.1's CONNACK: 2 identifier refused, 4 bad user name or password, 5 not authorised.
        return version == 4 && (code == 2 || code == 4 || code == 5);
    }
}

} // namespace

PahoSession::PahoSession(std::shared_ptr<PahoShared> shared)
    : m_shared(std::move(shared))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PahoSession::createAndConnect);
}

PahoSession::~PahoSession()
{
    dropHandle();
}

void PahoSession::start(const MqttSettings& settings, const QString& clientId, const MqttMessage& will)
{
    dropHandle();
    m_settings = settings;
    m_clientId = clientId;
    m_will = will;
    m_version = 5;
    m_backoff.reset();
    setState(MqttClient::State::Connecting);
    createAndConnect();
}

void PahoSession::stop()
{
    dropHandle();
    setState(MqttClient::State::Off);
}

void PahoSession::close()
{
    dropHandle();
    thread()->quit();
}

void PahoSession::subscribe(const QString& topicFilter)
{
    m_filters << topicFilter;
    if (m_connected) MQTTAsync_subscribe(m_handle, topicFilter.toUtf8().constData(), kQos, nullptr);
}

// A new handle for each attempt that starts afresh; once connected, the library keeps it up by itself.
void PahoSession::createAndConnect()
{
    dropHandle();
    m_tlsError.clear();
    QString host = m_settings.host;
    if (host.contains(QLatin1Char(':'))) host = QStringLiteral("[%1]").arg(host); // an IPv6 address
    const QByteArray uri = QStringLiteral("%1://%2:%3")
                               .arg(m_settings.tls ? QStringLiteral("ssl") : QStringLiteral("tcp"), host)
                               .arg(m_settings.effectivePort())
                               .toUtf8();
    MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer5;
    create.MQTTVersion = m_version == 5 ? MQTTVERSION_5 : MQTTVERSION_3_1_1;
    MQTTAsync handle = nullptr;
    int rc = MQTTAsync_createWithOptions(
        &handle, uri.constData(), m_clientId.toUtf8().constData(), MQTTCLIENT_PERSISTENCE_NONE, nullptr, &create);
    if (rc != MQTTASYNC_SUCCESS) {
        setState(MqttClient::State::Refused, text(MQTTAsync_strerror(rc)));
        return;
    }
    m_handle = handle;
    m_contexts.push_back(std::make_unique<CallbackContext>(CallbackContext { this, ++m_handleNumber }));
    void* context = m_contexts.back().get();
    MQTTAsync_setCallbacks(handle, context, onLost, onMessage, nullptr);
    MQTTAsync_setConnected(handle, context, onConnected);

    MQTTAsync_connectOptions o = MQTTAsync_connectOptions_initializer5;
    MQTTProperties properties = MQTTProperties_initializer;
    if (m_version == 5) {
        o.cleanstart = 0;
        MQTTProperty expiry {};
        expiry.identifier = MQTTPROPERTY_CODE_SESSION_EXPIRY_INTERVAL;
        expiry.value.integer4 = kSessionExpiryS;
        MQTTProperties_add(&properties, &expiry);
        o.connectProperties = &properties;
        o.onSuccess5 = onConnectSuccess5;
        o.onFailure5 = onConnectFailure5;
    } else {
        const MQTTAsync_connectOptions v3 = MQTTAsync_connectOptions_initializer;
        o = v3;
        o.cleansession = 0;
        o.onSuccess = onConnectSuccess3;
        o.onFailure = onConnectFailure3;
    }
    o.context = context;
    o.keepAliveInterval = PahoClient::kKeepaliveS;
    o.connectTimeout = PahoClient::kConnectTimeoutS;
    o.maxInflight = int(PahoClient::kWindow);
    o.automaticReconnect = 1;
    o.minRetryInterval = ReconnectBackoff::kFirstMs / 1000;
    o.maxRetryInterval = ReconnectBackoff::kLongestMs / 1000;

    const QByteArray willTopic = m_will.topic.toUtf8();
    MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
    will.topicName = willTopic.constData();
    will.payload.data = m_will.payload.constData();
    will.payload.len = int(m_will.payload.size());
    will.retained = m_will.retain;
    will.qos = kQos;
    if (!m_will.topic.isEmpty()) o.will = &will;

    const QByteArray user = m_settings.user.toUtf8();
    const QByteArray password = m_settings.password.toUtf8();
    if (!user.isEmpty()) o.username = user.constData();
    if (!password.isEmpty()) o.password = password.constData();

    const QByteArray caFile = m_settings.caFile.toUtf8();
    MQTTAsync_SSLOptions ssl = MQTTAsync_SSLOptions_initializer;
    ssl.enableServerCertAuth = 1;
    ssl.verify = 1; // the certificate must name the host
    if (caFile.isEmpty())
        ssl.CApath = kSystemCaFolder;
    else
        ssl.trustStore = caFile.constData();
    ssl.ssl_error_cb = onTlsError;
    ssl.ssl_error_context = context;
    if (m_settings.tls) o.ssl = &ssl;

    rc = MQTTAsync_connect(handle, &o);
    MQTTProperties_free(&properties);
    if (rc != MQTTASYNC_SUCCESS) connectAgainLater(text(MQTTAsync_strerror(rc)));
}

void PahoSession::connectFailed(int code, int reasonCode, const QString& message)
{
    // The library gives the CONNACK's reason code as the failure's code.
    if (reasonCode == 0 && code >= MQTTREASONCODE_UNSPECIFIED_ERROR) reasonCode = code;
    if (m_version == 5 && (reasonCode == MQTTREASONCODE_UNSUPPORTED_PROTOCOL_VERSION || code == 1)) {
        m_version = 4; // a broker that speaks MQTT 3.1.1 only
        createAndConnect();
        return;
    }
    const QString why = reasonCode >= MQTTREASONCODE_UNSPECIFIED_ERROR ? reasonText(reasonCode)
        : !m_tlsError.isEmpty()                                        ? m_tlsError
        : !message.isEmpty()                                           ? message
                                                                       : text(MQTTAsync_strerror(code));
    // A certificate refused (by either side) does not mend by retrying either.
    if (credentialsRefused(m_version, code, reasonCode) || m_tlsError.contains(QLatin1String("certificate"))) {
        dropHandle();
        setState(MqttClient::State::Refused, why);
        return;
    }
    connectAgainLater(why);
}

// The library retries only a connection it once made; a first attempt that failed is retried here, with the same
// doubling delays.
void PahoSession::connectAgainLater(const QString& reason)
{
    dropHandle();
    setState(MqttClient::State::Reconnecting, reason);
    m_retry.start(m_backoff.nextDelayMs());
}

void PahoSession::connectedNow()
{
    if (m_connected) return; // the connect's own success and the connected callback both say so
    m_connected = true;
    m_backoff.reset();
    for (const QString& filter : std::as_const(m_filters))
        MQTTAsync_subscribe(m_handle, filter.toUtf8().constData(), kQos, nullptr);
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->connected = true;
        ++m_shared->connects;
    }
    setState(MqttClient::State::Connected);
    drain();
}

// The library reconnects by itself and then resends what was in flight before anything sent after.
void PahoSession::lost(const QString& cause)
{
    m_connected = false;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->connected = false;
    }
    m_shared->settled.notify_all();
    setState(MqttClient::State::Reconnecting, cause);
}

void PahoSession::drain()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->drainPosted = false;
    }
    while (m_connected) {
        MqttMessage message;
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_shared->queue.empty() || m_shared->inLibrary >= PahoClient::kWindow) return;
            message = m_shared->queue.pop();
            ++m_shared->inLibrary;
        }
        if (!send(std::move(message))) return;
    }
}

// False when the library cannot take it now (the message is back at the head of the queue, it is the oldest).
bool PahoSession::send(MqttMessage message)
{
    const QByteArray topic = message.topic.toUtf8();
    MQTTAsync_message m = MQTTAsync_message_initializer;
    m.payload = const_cast<char*>(message.payload.constData()); // the library copies it
    m.payloadlen = int(message.payload.size());
    m.qos = kQos;
    m.retained = message.retain;
    MQTTAsync_responseOptions r = MQTTAsync_responseOptions_initializer;
    r.context = m_contexts.back().get();
    if (m_version == 5) {
        r.onSuccess5 = onSent5;
        r.onFailure5 = onRefused5;
    } else {
        r.onSuccess = onSent3;
        r.onFailure = onRefused3;
    }
    const int rc = MQTTAsync_sendMessage(m_handle, topic.constData(), &m, &r);
    if (rc == MQTTASYNC_SUCCESS) {
        m_held.emplace_back(r.token, std::move(message));
        return true;
    }
    {
        std::lock_guard lock(m_shared->mutex);
        --m_shared->inLibrary;
        if (rc == MQTTASYNC_DISCONNECTED || rc == MQTTASYNC_MAX_MESSAGES_INFLIGHT) {
            m_shared->queue.pushFront(std::move(message));
            return false;
        }
    }
    // Refused here (a topic no broker may take): counted and dropped, never back at the head of the queue.
    refuse(message.topic, text(MQTTAsync_strerror(rc)));
    report();
    return true;
}

void PahoSession::finished(int token, bool ok, int code, int reasonCode, const QString& message)
{
    const auto held = std::find_if(m_held.begin(), m_held.end(), [token](const auto& h) { return h.first == token; });
    if (held == m_held.end()) return;
    const QString topic = held->second.topic;
    m_held.erase(held);
    if (ok && reasonCode < MQTTREASONCODE_UNSPECIFIED_ERROR)
        ++m_report.sent;
    else
        refuse(topic,
            reasonCode >= MQTTREASONCODE_UNSPECIFIED_ERROR ? reasonText(reasonCode)
                : message.isEmpty()                        ? text(MQTTAsync_strerror(code))
                                                           : message);
    // Counted before the message leaves the count of those waiting, which flush() waits on.
    report();
    {
        std::lock_guard lock(m_shared->mutex);
        --m_shared->inLibrary;
    }
    m_shared->settled.notify_all();
    drain();
}

void PahoSession::received(const MqttMessage& message)
{
    std::lock_guard lock(m_shared->mutex);
    if (PahoClient* owner = m_shared->owner)
        QMetaObject::invokeMethod(
            owner, [owner, message] { owner->takeMessage(message); }, Qt::QueuedConnection);
}

void PahoSession::refuse(const QString& topic, const QString& reason)
{
    ++m_report.refused;
    m_report.lastRefusal = QStringLiteral("%1: %2").arg(topic, reason);
}

// Lets the handle go without a DISCONNECT packet (to the broker, the monitor has vanished and its last will is
// due); what the library still held goes back to the head of the queue, in the order it was sent.
void PahoSession::dropHandle()
{
    m_retry.stop();
    if (m_handle) {
        if (m_connected) leave();
        MQTTAsync handle = m_handle;
        MQTTAsync_destroy(&handle);
        m_handle = nullptr;
        ++m_handleNumber;
    }
    m_connected = false;
    {
        std::lock_guard lock(m_shared->mutex);
        for (auto it = m_held.rbegin(); it != m_held.rend(); ++it)
            m_shared->queue.pushFront(std::move(it->second));
        m_shared->inLibrary = 0;
        m_shared->connected = false;
    }
    m_held.clear();
    m_shared->settled.notify_all();
}

// The library's destroy says a polite goodbye, after which a broker keeps the last will to itself. MQTT 5 has a
// goodbye that asks for the will; under 3.1.1 the will's message is published before leaving.
void PahoSession::leave()
{
    m_leaving.push_back(std::make_unique<Leaving>());
    Leaving* leaving = m_leaving.back().get();
    MQTTAsync_disconnectOptions d = MQTTAsync_disconnectOptions_initializer5;
    if (m_version == 5) {
        d.reasonCode = MQTTREASONCODE_DISCONNECT_WITH_WILL_MESSAGE;
        d.onSuccess5 = onGone5;
        d.onFailure5 = onGoneFailed5;
        d.timeout = 0; // what is in flight goes back to the queue
    } else {
        const MQTTAsync_disconnectOptions v3 = MQTTAsync_disconnectOptions_initializer;
        d = v3;
        d.onSuccess = onGone3;
        d.onFailure = onGoneFailed3;
        d.timeout = 1000; // for the will's message
        MQTTAsync_message will = MQTTAsync_message_initializer;
        will.payload = const_cast<char*>(m_will.payload.constData());
        will.payloadlen = int(m_will.payload.size());
        will.qos = kQos;
        will.retained = m_will.retain;
        MQTTAsync_sendMessage(m_handle, m_will.topic.toUtf8().constData(), &will, nullptr);
    }
    d.context = leaving;
    if (MQTTAsync_disconnect(m_handle, &d) != MQTTASYNC_SUCCESS) return;
    std::unique_lock lock(leaving->mutex);
    leaving->done.wait_for(lock, std::chrono::seconds(2), [leaving] { return leaving->gone; });
}

void PahoSession::setState(MqttClient::State state, const QString& reason)
{
    m_report.state = state;
    m_report.reason = reason;
    report();
}

void PahoSession::report()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->report = m_report;
    PahoClient* owner = m_shared->owner;
    if (!owner || std::exchange(m_shared->reportPosted, true)) return;
    QMetaObject::invokeMethod(
        owner, [owner] { owner->takeReport(); }, Qt::QueuedConnection);
}

} // namespace orvik
