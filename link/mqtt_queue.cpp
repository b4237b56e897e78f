#include "mqtt_queue.h"

#include <algorithm>

namespace orvik {

OutgoingQueue::OutgoingQueue(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(capacity, 1))
{
}

void OutgoingQueue::push(MqttMessage message)
{
    if (m_messages.size() >= m_capacity) {
        m_messages.pop_front();
        ++m_dropped;
    }
    m_messages.push_back(std::move(message));
}

void OutgoingQueue::pushFront(MqttMessage message)
{
    if (m_messages.size() >= m_capacity) {
        ++m_dropped;
        return;
    }
    m_messages.push_front(std::move(message));
}

MqttMessage OutgoingQueue::pop()
{
    MqttMessage front = std::move(m_messages.front());
    m_messages.pop_front();
    return front;
}

int ReconnectBackoff::nextDelayMs()
{
    const int delay = m_next;
    m_next = std::min(m_next * 2, kLongestMs);
    return delay;
}

} // namespace orvik
