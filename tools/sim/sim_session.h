// One run of the simulated line: reads requests from the pty master, frames them by silence, lets the devices
// answer, and paces the replies out at the line speed. Every frame is logged as it goes.
#pragma once

#include "line_noise.h"
#include "port_link.h"
#include "pty_line.h"
#include "sensor_line.h"
#include "silence_framer.h"
#include "sim_options.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <optional>

class QSocketNotifier;

namespace orvik::sim {

class SimSession : public QObject {
    Q_OBJECT
public:
    explicit SimSession(SimOptions options, QObject* parent = nullptr);
    ~SimSession() override;

    // Opens the line and registers it under its port name; the banner printed last means it is ready.
    bool start(QString* error);
    // Cuts the line: closes every descriptor and removes the port link. Emits finished() once.
    void stop(const QString& why);

signals:
    void finished();

private:
    struct Transmission {
        QByteArray bytes;
        QList<qint64> due; // microseconds after startUs
        qint64 startUs = 0;
        qsizetype sent = 0;
        qsizetype dropped = 0;
        int baud = 0;
        QString note;
        std::optional<int> switchRate;
    };

    void onReadable();
    void onRxTimer();
    void onTxTimer();
    void armRxTimer();
    void handleFrame(const RxFrame& frame);
    void send(QByteArray bytes, int baud, QString note, std::optional<int> switchRate, int delayMs);
    void finishTransmission();
    void log(const QString& line);
    qint64 nowUs() const { return m_clock.nsecsElapsed() / 1000; }
    QString banner() const;

    SimOptions m_options;
    SensorLine m_line;
    LineNoise m_noise;
    SilenceFramer m_framer;
    PtyLine m_pty;
    PortLink m_link;
    QElapsedTimer m_clock;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_rxTimer;
    QTimer m_txTimer;
    QTimer m_exitTimer;
    QFile m_logFile;
    std::optional<Transmission> m_tx;
    bool m_running = false;
};

} // namespace orvik::sim
