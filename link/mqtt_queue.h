// The messages waiting for the broker, and the delay before the next attempt to reach it.
#pragma once

#include "mqtt_feed.h"

#include <cstddef>
#include <deque>

namespace orvik {

// A bounded first-in first-out queue: when it is full, the oldest message makes room for the new one and is counted
// as dropped, so what does go out still goes out in the order it was shown.
class OutgoingQueue {
public:
    static constexpr std::size_t kDefaultCapacity = 10'000;
    explicit OutgoingQueue(std::size_t capacity = kDefaultCapacity);

    void push(MqttMessage message);
    // Puts back a message taken out but not delivered, ahead of the rest (it is older than all of them).
    void pushFront(MqttMessage message);
    MqttMessage pop(); // the oldest; the queue must not be empty
    bool empty() const { return m_messages.empty(); }
    std::size_t size() const { return m_messages.size(); }
    quint64 dropped() const { return m_dropped; }

private:
    std::size_t m_capacity;
    std::deque<MqttMessage> m_messages;
    quint64 m_dropped = 0;
};

// 1 s after the first failure, then twice as long after each further one, never more than 60 s; a connection
// that succeeds starts the series again.
class ReconnectBackoff {
public:
    static constexpr int kFirstMs = 1000;
    static constexpr int kLongestMs = 60'000;
    int nextDelayMs();
    void reset() { m_next = kFirstMs; }

private:
    int m_next = kFirstMs;
};

} // namespace orvik
