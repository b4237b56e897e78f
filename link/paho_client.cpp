#include "paho_client.h"

#include "paho_session.h"

#include <chrono>

namespace orvik {

PahoClient::PahoClient(std::size_t capacity)
    : m_shared(std::make_shared<PahoShared>(capacity))
    , m_thread(new QThread)
    , m_session(new PahoSession(m_shared))
{
    m_shared->owner = this;
    m_thread->setObjectName(QStringLiteral("orvik-mqtt"));
    m_session->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_session, &QObject::deleteLater);
    m_thread->start();
}

// The session lets the handle go without a goodbye, so the broker publishes the last will. The library may be held
// for a few seconds by a name being resolved; past that the thread is left to end on its own as the program exits.
PahoClient::~PahoClient()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->owner = nullptr;
    }
    QMetaObject::invokeMethod(m_session, &PahoSession::close, Qt::QueuedConnection);
    if (m_thread->wait(3000)) delete m_thread;
}

void PahoClient::start(const MqttSettings& settings, const QString& clientId, const MqttMessage& will)
{
    QMetaObject::invokeMethod(
        m_session, [s = m_session, settings, clientId, will] { s->start(settings, clientId, will); },
        Qt::QueuedConnection);
}

void PahoClient::stop()
{
    QMetaObject::invokeMethod(m_session, &PahoSession::stop, Qt::QueuedConnection);
}

void PahoClient::publish(MqttMessage message)
{
    bool post = false;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->queue.push(std::move(message));
        post = !std::exchange(m_shared->drainPosted, true);
    }
    if (post) QMetaObject::invokeMethod(m_session, &PahoSession::drain, Qt::QueuedConnection);
    if (m_events.changed) m_events.changed();
}

void PahoClient::subscribe(const QString& topicFilter)
{
    QMetaObject::invokeMethod(
        m_session, [s = m_session, topicFilter] { s->subscribe(topicFilter); }, Qt::QueuedConnection);
}

// Runs as the program closes, when the owner's event loop no longer turns: the session and the library's threads
// do the work, this only waits for the count to reach nothing.
void PahoClient::flush(int ms)
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->settled.wait_for(lock, std::chrono::milliseconds(ms),
        [this] { return !m_shared->connected || (m_shared->queue.empty() && m_shared->inLibrary == 0); });
}

PahoReport PahoClient::report() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->report;
}

QString PahoClient::stateText() const
{
    const PahoReport r = report();
    switch (r.state) {
    case State::Off:
        return QStringLiteral("未连接");
    case State::Connecting:
        return QStringLiteral("正在连接");
    case State::Connected:
        return QStringLiteral("已连接");
    case State::Reconnecting:
        return r.reason.isEmpty() ? QStringLiteral("正在重连") : QStringLiteral("正在重连（%1）").arg(r.reason);
    case State::Refused:
        return QStringLiteral("连接被拒绝: %1").arg(r.reason);
    }
    return {};
}

quint64 PahoClient::dropped() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->queue.dropped();
}

std::size_t PahoClient::waiting() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->queue.size() + m_shared->inLibrary;
}

void PahoClient::takeReport()
{
    quint64 connects = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->reportPosted = false;
        connects = m_shared->connects;
    }
    const bool connectedNow = connects != m_connectsSeen;
    m_connectsSeen = connects;
    if (connectedNow && m_events.connected) m_events.connected();
    if (m_events.changed) m_events.changed();
}

void PahoClient::takeMessage(const MqttMessage& message)
{
    if (m_events.received) m_events.received(message);
}

} // namespace orvik
