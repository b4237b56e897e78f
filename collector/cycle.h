// The polling cycle: every configured slave once, one after the other as fast as the line allows, cycles started on
// a fixed schedule.
#pragma once

#include "config.h"
#include "request_exchange.h"
#include "sample_time.h"
#include "slave_statistics.h"

#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace orvik::collector {

struct Reading {
    quint8 slave = 0;
    ExchangeResult result; // of the last attempt
    SampleTime at; // read once, when the answer was taken; every consumer gets this one
    int attempts = 0;
};

class Cycle {
public:
    struct Events {
        std::function<void(const Reading&)> reading; // each slave, once a cycle, in order
        std::function<void(qint64 cycleMs)> ended;
        std::function<void(const QString& why)> portLost; // the cycle has stopped
        std::function<void(qint64 cycleMs)> overran; // the first cycle that outlasted the period
    };

    Cycle(SerialControl& control, const Config& config, Events events);

    // Cycles now and then every period; one cycle only with repeat false.
    void start(bool repeat);
    void stop();
    const SlaveStatistics& statistics() const { return m_statistics; }

private:
    void begin();
    void pollNext();
    void answered(const ExchangeResult& result);
    void end();

    Config m_config;
    Events m_events;
    RequestExchange m_exchange;
    SlaveStatistics m_statistics;
    QTimer m_schedule;
    QElapsedTimer m_clock;
    qint64 m_startMs = 0;
    qint64 m_nextMs = 0;
    qsizetype m_index = 0;
    int m_attempt = 0;
    bool m_repeat = false;
    bool m_running = false;
    bool m_overranSaid = false;
};

} // namespace orvik::collector
