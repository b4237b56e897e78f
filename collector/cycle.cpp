#include "cycle.h"

namespace orvik::collector {

namespace {

constexpr int kDistanceAnswerBytes = 9;

} // namespace

Cycle::Cycle(SerialControl& control, const Config& config, Events events)
    : m_config(config)
    , m_events(std::move(events))
    , m_exchange(control, config.line, config.replyTimeoutMs)
{
    m_schedule.setSingleShot(true);
    m_schedule.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_schedule, &QTimer::timeout, &m_schedule, [this] { begin(); });
    m_clock.start();
}

void Cycle::start(bool repeat)
{
    m_repeat = repeat;
    m_running = true;
    m_nextMs = m_clock.elapsed();
    begin();
}

void Cycle::stop()
{
    m_running = false;
    m_schedule.stop();
    m_exchange.cancel();
}

void Cycle::begin()
{
    if (!m_running) return;
    m_startMs = m_clock.elapsed();
    m_nextMs += m_config.periodMs;
    m_index = 0;
    m_attempt = 0;
    pollNext();
}

void Cycle::pollNext()
{
    if (m_index >= m_config.slaves.size()) {
        end();
        return;
    }
    ++m_attempt;
    m_exchange.exchange(distancePoll(m_config.slaves[m_index]), kDistanceAnswerBytes,
        [this](const ExchangeResult& result) { answered(result); });
}

void Cycle::answered(const ExchangeResult& result)
{
    const quint8 slave = m_config.slaves[m_index];
    Reading reading { slave, result, sampleTimeNow(), m_attempt };
    m_statistics.requestSent(slave, result.requestOutUs);
    if (result.end == ExchangeEnd::PortLost) {
        m_running = false;
        if (m_events.portLost) m_events.portLost(result.error);
        return;
    }
    if (result.end == ExchangeEnd::Answered || result.end == ExchangeEnd::Damaged)
        m_statistics.answered(slave, result.end == ExchangeEnd::Answered, result.frameEndUs);
    if (result.end != ExchangeEnd::Answered && m_attempt <= m_config.retries) {
        pollNext();
        return;
    }
    ++m_index;
    m_attempt = 0;
    if (m_events.reading) m_events.reading(reading);
    if (m_running) pollNext();
}

void Cycle::end()
{
    const qint64 now = m_clock.elapsed();
    const qint64 cycleMs = now - m_startMs;
    if (m_events.ended) m_events.ended(cycleMs);
    if (!m_running || !m_repeat) {
        m_running = false;
        return;
    }
    if (now >= m_nextMs) {
        // Too slow for the period: the cycles run back to back, on a schedule that starts again from here.
        if (!m_overranSaid && m_events.overran) m_events.overran(cycleMs);
        m_overranSaid = true;
        m_nextMs = now;
    }
    m_schedule.start(static_cast<int>(m_nextMs - now));
}

} // namespace orvik::collector
