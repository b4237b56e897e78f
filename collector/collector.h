// The collector program: the line opened by its path, the cycle, and where each reading goes (the broker, the daily
// CSV, the --once table), with the service's faults and signals around them.
//
// A reading travels: Cycle::answered (link/request_exchange.h decided what the frame is) -> Collector::reading, which
// stamps nothing itself: the reading's one SampleTime goes to the feed and to the CSV alike.
#pragma once

#include "config.h"
#include "cycle.h"
#include "daily_csv.h"
#include "qt_serial_control.h"
#include "service.h"
#include "site_feed.h"

#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

namespace orvik::collector {

class Collector {
public:
    // `arguments` are read again, the file with them, on SIGHUP.
    Collector(Config config, QStringList arguments);
    ~Collector();

    // Starts the work on the event loop; the program's exit status comes through QCoreApplication::exit.
    void start();

    // "  3  1.235 m  12.4 ms", "  4  no answer", "  5  CRC", "  6  echo only".
    static QString tableLine(const Reading& reading);

private:
    void build();
    void tearDown();
    bool openLine();
    void retry();
    void lineLost(const QString& why);
    void reading(const Reading& reading);
    void cycleEnded(qint64 cycleMs);
    void feedWatchdog();
    void signalled(int signal);
    void reload();
    QString settingsText() const;

    Config m_config;
    QStringList m_arguments;
    std::unique_ptr<QtSerialControl> m_port;
    std::unique_ptr<Cycle> m_cycle;
    std::unique_ptr<SiteFeed> m_feed;
    std::unique_ptr<DailyCsv> m_csv;
    std::unique_ptr<SignalPipe> m_signals;
    QTimer m_retry;
    QElapsedTimer m_sinceWatchdog;
    bool m_lostSaid = false;
    bool m_ready = false;
    bool m_allAnswered = true;
    std::array<std::optional<bool>, 17> m_online {};
};

} // namespace orvik::collector
