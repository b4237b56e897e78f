#include "sim_session.h"

#include "line_rate.h"
#include "port_map.h"
#include "wire.h"

#include <QSocketNotifier>

#include <cstdio>

namespace orvik::sim {

namespace {

// Timers count whole milliseconds; round up so that a byte never leaves before its time.
int msUntil(qint64 targetUs, qint64 nowUs)
{
    const qint64 us = targetUs - nowUs;
    return us <= 0 ? 0 : static_cast<int>((us + 999) / 1000);
}

} // namespace

SimSession::SimSession(SimOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_line(m_options.line)
    , m_noise(m_options.seed, m_options.noise)
{
    for (QTimer* timer : { &m_rxTimer, &m_txTimer, &m_exitTimer }) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_rxTimer, &QTimer::timeout, this, &SimSession::onRxTimer);
    connect(&m_txTimer, &QTimer::timeout, this, &SimSession::onTxTimer);
    connect(&m_exitTimer, &QTimer::timeout, this,
        [this] { stop(QStringLiteral("cut after %1 s").arg(*m_options.exitAfter)); });
}

SimSession::~SimSession()
{
    stop(QStringLiteral("exit"));
}

bool SimSession::start(QString* error)
{
    if (!m_options.logFile.isEmpty()) {
        m_logFile.setFileName(m_options.logFile);
        if (!m_logFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *error = QStringLiteral("cannot write the log %1: %2").arg(m_options.logFile, m_logFile.errorString());
            return false;
        }
    }
    if (!m_pty.open(error)) return false;
    m_clock.start();
    m_notifier = new QSocketNotifier(m_pty.masterFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimSession::onReadable);
    // The link comes last: once it exists, the line answers.
    if (!m_link.claim(orvik::portsDirectory(), m_options.port, m_pty.slavePath(), m_options.force, error)) {
        m_pty.close();
        return false;
    }
    m_running = true;
    if (m_options.exitAfter) m_exitTimer.start(static_cast<int>(*m_options.exitAfter * 1000.0));
    log(banner());
    return true;
}

QString SimSession::banner() const
{
    return QStringLiteral(
        "orvik-sim: %1 -> %2 at %3 baud, slaves %4; device 255 phys %5; distance %6; seed %7; link %8")
        .arg(m_options.port, m_pty.slavePath())
        .arg(m_line.rate())
        .arg(describeSlaves(m_options.line.slaves))
        .arg(m_options.line.physicalAddress)
        .arg(m_options.line.distance.describe())
        .arg(m_options.seed)
        .arg(m_link.path());
}

void SimSession::stop(const QString& why)
{
    if (!m_running) return;
    m_running = false;
    m_rxTimer.stop();
    m_txTimer.stop();
    m_exitTimer.stop();
    delete m_notifier;
    m_notifier = nullptr;
    m_pty.close();
    m_link.release();
    log(QStringLiteral("orvik-sim: line closed (%1)").arg(why));
    emit finished();
}

void SimSession::onReadable()
{
    const QByteArray bytes = m_pty.readAll();
    const qint64 now = nowUs();
    const int baud = m_pty.speed();
    if (m_options.echo && !bytes.isEmpty()) {
        // The adapter hears its own transmission as it goes out, whatever the rate: back before any answer.
        const qsizetype taken = m_pty.write(bytes);
        log(logLine(now, u"TX", baud, bytes.left(taken), u"adapter echo"));
    }
    for (const char c : bytes) {
        if (std::optional<RxFrame> frame = m_framer.feed(static_cast<quint8>(c), now, baud)) handleFrame(*frame);
    }
    armRxTimer();
}

void SimSession::onRxTimer()
{
    if (std::optional<RxFrame> frame = m_framer.poll(nowUs())) handleFrame(*frame);
    armRxTimer();
}

void SimSession::armRxTimer()
{
    if (!m_running) return;
    if (const std::optional<qint64> deadline = m_framer.deadlineUs())
        m_rxTimer.start(msUntil(*deadline, nowUs()));
    else
        m_rxTimer.stop();
}

void SimSession::handleFrame(const RxFrame& frame)
{
    // A half-duplex device does not listen while it talks.
    const bool busy = m_tx.has_value();
    Outcome out;
    if (busy)
        out.request = QStringLiteral("ignored: busy answering");
    else
        out = m_line.handle(frame, static_cast<double>(frame.endUs) / 1e6);
    log(logLine(frame.endUs, u"RX", frame.baud, frame.bytes, out.request));
    if (busy) return;
    const int address = frame.bytes.isEmpty() ? 0 : static_cast<quint8>(frame.bytes[0]);
    const int delayMs = m_options.turnaround.forAddress(address) + m_options.late.forAddress(address);
    if (out.wrongSpeed && m_options.garbageOnMismatch)
        send(m_noise.garbage(), frame.baud, QStringLiteral("garbage: devices at %1").arg(m_line.rate()), std::nullopt,
            m_options.turnaround.allMs + m_options.late.allMs);
    else if (!out.reply.isEmpty())
        send(out.reply, frame.baud, out.replyNote, out.switchRate, delayMs);
}

void SimSession::send(QByteArray bytes, int baud, QString note, std::optional<int> switchRate, int delayMs)
{
    if (const int hits = m_noise.corrupt(bytes)) note += QStringLiteral(" (noise: %1 byte(s) hit)").arg(hits);
    Transmission tx;
    tx.due = transmitSchedule(bytes.size(), baud, qint64 { m_options.gapMs } * 1000);
    tx.bytes = std::move(bytes);
    tx.startUs = nowUs() + qint64 { delayMs } * 1000;
    tx.baud = baud;
    tx.note = std::move(note);
    tx.switchRate = switchRate;
    m_tx = std::move(tx);
    m_txTimer.start(msUntil(m_tx->startUs + m_tx->due.front(), nowUs()));
}

void SimSession::onTxTimer()
{
    if (!m_tx) return;
    Transmission& tx = *m_tx;
    const qint64 now = nowUs();
    // Every byte whose time has come leaves now; at high speeds that is several per timer tick.
    qsizetype ready = tx.sent;
    while (ready < tx.bytes.size() && tx.startUs + tx.due[ready] <= now)
        ++ready;
    if (ready > tx.sent) {
        const QByteArrayView chunk = QByteArrayView(tx.bytes).sliced(tx.sent, ready - tx.sent);
        tx.dropped += chunk.size() - m_pty.write(chunk);
        tx.sent = ready;
    }
    if (tx.sent == tx.bytes.size())
        finishTransmission();
    else
        m_txTimer.start(msUntil(tx.startUs + tx.due[tx.sent], now));
}

void SimSession::finishTransmission()
{
    Transmission tx = std::move(*m_tx);
    m_tx.reset();
    QString note = tx.note;
    if (tx.dropped > 0) note += QStringLiteral(" (%1 byte(s) lost: nobody reading)").arg(tx.dropped);
    log(logLine(nowUs(), u"TX", tx.baud, tx.bytes, note));
    if (tx.switchRate) {
        const int from = m_line.rate();
        m_line.switchRate(*tx.switchRate);
        log(logLine(nowUs(), u"RATE", *tx.switchRate, {},
            QStringLiteral("devices now at %1 baud (were at %2)").arg(*tx.switchRate).arg(from)));
    }
}

void SimSession::log(const QString& line)
{
    const QByteArray text = line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    std::fflush(stdout);
    if (m_logFile.isOpen()) {
        m_logFile.write(text);
        m_logFile.flush();
    }
}

} // namespace orvik::sim
