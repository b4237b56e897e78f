#include "collector.h"

#include "distance_text.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

namespace orvik::collector {

namespace {

constexpr int kRetryMs = 2000; // a pulled adapter is looked for this often
constexpr int kBrokerGraceMs = 2000; // what the broker gets at the end to take what is waiting
constexpr qint64 kWatchdogWithinCycleMs = 5000; // well inside the unit's WatchdogSec

QString reason(ExchangeEnd end)
{
    switch (end) {
    case ExchangeEnd::Damaged:
        return QStringLiteral("CRC");
    case ExchangeEnd::EchoOnly:
        return QStringLiteral("echo only");
    case ExchangeEnd::PortLost:
        return QStringLiteral("port lost");
    case ExchangeEnd::Answered:
    case ExchangeEnd::Unanswered:
        break;
    }
    return QStringLiteral("no answer");
}

} // namespace

Collector::Collector(Config config, QStringList arguments)
    : m_config(std::move(config))
    , m_arguments(std::move(arguments))
{
    m_retry.setInterval(kRetryMs);
    QObject::connect(&m_retry, &QTimer::timeout, &m_retry, [this] { retry(); });
}

Collector::~Collector()
{
    tearDown();
}

QString Collector::tableLine(const Reading& r)
{
    const QString head = QStringLiteral("%1  ").arg(r.slave, 3);
    if (r.result.end != ExchangeEnd::Answered) return head + reason(r.result.end);
    return head
        + QStringLiteral("%1 m  %2 ms")
              .arg(distanceText(r.result.meaning.distance))
              .arg(static_cast<double>(r.result.answerUs) / 1000.0, 0, 'f', 1);
}

QString Collector::settingsText() const
{
    const char parity = m_config.line.parity == LineParity::Even ? 'E'
        : m_config.line.parity == LineParity::Odd                ? 'O'
                                                                 : 'N';
    return QStringLiteral("%1,%2,8,1").arg(m_config.line.baud).arg(QLatin1Char(parity));
}

void Collector::start()
{
    if (!m_config.once) m_signals = std::make_unique<SignalPipe>([this](int signal) { signalled(signal); });
    build();
    if (openLine()) return;
    if (m_config.once) QCoreApplication::exit(1);
}

// The port, the cycle and the outputs for the present configuration; the port stays closed.
void Collector::build()
{
    m_port = std::make_unique<QtSerialControl>();
    m_port->setPortPath(m_config.port);
    m_port->setSettings(settingsText());
    Cycle::Events events;
    events.reading = [this](const Reading& r) { reading(r); };
    events.ended = [this](qint64 ms) { cycleEnded(ms); };
    events.portLost = [this](const QString& why) { lineLost(why); };
    events.overran = [this](qint64 ms) {
        log(Priority::Warning,
            QStringLiteral("a cycle takes %1 ms, longer than the period of %2 ms: cycles now run back to back")
                .arg(ms)
                .arg(m_config.periodMs));
    };
    m_cycle = std::make_unique<Cycle>(*m_port, m_config, std::move(events));
    if (m_config.once) return;
    if (m_config.mqtt) m_feed = std::make_unique<SiteFeed>(*m_config.mqtt, m_config.lineName);
    if (!m_config.csvDir.isEmpty()) m_csv = std::make_unique<DailyCsv>(m_config.csvDir, m_config.lineName);
}

void Collector::tearDown()
{
    m_retry.stop();
    if (m_cycle) m_cycle->stop();
    if (m_feed) m_feed->lineDown();
    if (m_csv) m_csv->flush();
    if (m_feed) m_feed->flush(kBrokerGraceMs);
    m_cycle.reset();
    m_port.reset();
    m_feed.reset();
    m_csv.reset();
    m_online.fill(std::nullopt);
}

// Opens the port by its path, the links resolved anew: a returning adapter is found under whatever name it got.
bool Collector::openLine()
{
    try {
        m_port->setPortOpen(true);
    } catch (const SerialError& failure) {
        if (!m_lostSaid || m_config.once)
            log(Priority::Error,
                QStringLiteral("%1; trying again every %2 s").arg(failure.what()).arg(kRetryMs / 1000));
        m_lostSaid = true;
        notify(QStringLiteral("STATUS=waiting for %1").arg(m_config.port));
        if (!m_config.once) m_retry.start();
        return false;
    }
    log(Priority::Info, QStringLiteral("%1 open (%2) at %3").arg(m_config.port, m_port->devicePath(), settingsText()));
    m_lostSaid = false;
    m_retry.stop();
    if (m_feed) m_feed->lineUp();
    m_cycle->start(!m_config.once);
    return true;
}

void Collector::retry()
{
    feedWatchdog(); // waiting for the adapter is not a hang
    openLine();
}

void Collector::lineLost(const QString& why)
{
    if (m_config.once) {
        log(Priority::Error, QStringLiteral("%1: %2").arg(m_config.port, why));
        QCoreApplication::exit(1);
        return;
    }
    log(Priority::Error,
        QStringLiteral("%1 lost: %2; trying again every %3 s").arg(m_config.port, why).arg(kRetryMs / 1000));
    m_lostSaid = true;
    m_port->setPortOpen(false);
    if (m_feed) m_feed->lineDown();
    if (m_csv) m_csv->flush();
    m_online.fill(std::nullopt);
    notify(QStringLiteral("STATUS=waiting for %1").arg(m_config.port));
    m_retry.start();
}

void Collector::reading(const Reading& r)
{
    // A cycle of many silent slaves with long timeouts and retries may outlast the unit's watchdog: it is fed within
    // the cycle too, at most every few seconds.
    if (m_sinceWatchdog.isValid() && m_sinceWatchdog.elapsed() > kWatchdogWithinCycleMs) feedWatchdog();
    const bool answered = r.result.end == ExchangeEnd::Answered;
    if (m_config.once) {
        std::printf("%s\n", tableLine(r).toUtf8().constData());
        m_allAnswered = m_allAnswered && answered;
        return;
    }
    const std::optional<qint32> value = answered ? std::optional(r.result.meaning.distance) : std::nullopt;
    if (m_csv) m_csv->add(r.at.wallMs, r.slave, value);
    if (m_feed) {
        if (answered) m_feed->distance(r.slave, *value, r.at.wallMs);
        m_feed->slaveStatus(r.slave, r.result.meaning.answered);
    }
    // Said when a slave's state changes, not at every cycle.
    std::optional<bool>& known = m_online[r.slave];
    if (known != answered) {
        if (!answered)
            log(Priority::Warning, QStringLiteral("slave %1: %2").arg(r.slave).arg(reason(r.result.end)));
        else if (known.has_value())
            log(Priority::Info, QStringLiteral("slave %1 answers again").arg(r.slave));
        known = answered;
    }
}

void Collector::cycleEnded(qint64 cycleMs)
{
    if (m_config.once) {
        std::fflush(stdout);
        QCoreApplication::exit(m_allAnswered ? 0 : 1);
        return;
    }
    if (m_csv) m_csv->flush();
    if (!m_ready) {
        m_ready = true;
        notify(QStringLiteral("READY=1\nSTATUS=reading %1, a cycle in %2 ms").arg(m_config.port).arg(cycleMs));
    }
    feedWatchdog();
}

void Collector::feedWatchdog()
{
    notify(QStringLiteral("WATCHDOG=1"));
    m_sinceWatchdog.start();
}

void Collector::signalled(int signal)
{
    if (signal == SIGHUP) {
        reload();
        return;
    }
    log(Priority::Info, QStringLiteral("stopping"));
    notify(QStringLiteral("STOPPING=1"));
    // What each slave did over the run, for whoever reads the journal after a stop.
    if (m_cycle) {
        for (const quint8 slave : m_config.slaves)
            log(Priority::Info, QStringLiteral("slave %1: %2").arg(slave).arg(m_cycle->statistics().describe(slave)));
    }
    tearDown();
    QCoreApplication::exit(0);
}

// The file is read again; a bad one leaves the running configuration as it is.
void Collector::reload()
{
    if (m_config.configFile.isEmpty()) {
        log(Priority::Warning, QStringLiteral("SIGHUP: no configuration file to read again"));
        return;
    }
    notify(QStringLiteral("RELOADING=1"));
    ConfigResult next = parseConfig(m_arguments, qEnvironmentVariable("ORVIK_MQTT_PASSWORD"));
    if (!next.config) {
        log(Priority::Error,
            QStringLiteral("%1: %2; keeping the running configuration").arg(m_config.configFile, next.error));
        notify(QStringLiteral("READY=1"));
        return;
    }
    log(Priority::Info, QStringLiteral("read %1 again").arg(m_config.configFile));
    tearDown();
    m_config = *next.config;
    build();
    openLine();
    notify(QStringLiteral("READY=1"));
}

} // namespace orvik::collector
