#include "request_exchange.h"

#include "reply_decoder.h"
#include "rx_assembly.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <stdexcept>
#include <sys/timerfd.h>
#include <unistd.h>
#include <utility>

namespace orvik {

namespace {

constexpr qint64 kNsPerMs = 1'000'000;
constexpr qint64 kNsPerS = 1'000'000'000;
constexpr qint64 kMinSilenceNs = 1'750'000;

qint64 nowNs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64 { ts.tv_sec } * kNsPerS + ts.tv_nsec;
}

int dataBits(const LineSettings& s)
{
    return 1 + s.dataBits + (s.parity == LineParity::None ? 0 : 1);
}

// Stop bits in half bits: 1, 1.5 or 2.
int stopHalfBits(LineStopBits stop)
{
    switch (stop) {
    case LineStopBits::OneAndHalf:
        return 3;
    case LineStopBits::Two:
        return 4;
    case LineStopBits::One:
        break;
    }
    return 2;
}

QString hexText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char byte : bytes)
        appendHexByte(text, static_cast<quint8>(byte));
    return text;
}

} // namespace

LineTiming LineTiming::of(const LineSettings& settings)
{
    const qint64 halfBits = 2 * dataBits(settings) + stopHalfBits(settings.stopBits);
    const qint64 baud = std::max<qint64>(settings.baud, 1);
    return LineTiming { (halfBits * kNsPerS + baud) / (2 * baud) };
}

qint64 LineTiming::silenceNs() const
{
    return std::max(charNs * 7 / 2, kMinSilenceNs);
}

RequestExchange::RequestExchange(SerialControl& control, const LineSettings& settings, int replyTimeoutMs)
    : m_control(control)
    , m_timing(LineTiming::of(settings))
    , m_replyTimeoutNs(qint64 { replyTimeoutMs } * kNsPerMs)
{
    // A timerfd, not a QTimer: the gaps are fractions of a millisecond at fast rates, and a QTimer counts whole ones.
    m_timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timerFd < 0) throw std::runtime_error("timerfd_create failed");
    m_notifier = std::make_unique<QSocketNotifier>(m_timerFd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { onTimer(); });
    m_control.setOnComm([this](SerialControl*) { onComm(); });
}

RequestExchange::~RequestExchange()
{
    m_control.setOnComm({});
    m_notifier.reset();
    ::close(m_timerFd);
}

void RequestExchange::exchange(const RequestFrame& request, int answerBytes, Done done)
{
    m_request = request;
    m_answerBytes = answerBytes;
    m_done = std::move(done);
    m_echoSeen = false;
    m_skipped = 0;
    m_phase = Phase::Gap;
    // The gap runs from the last byte anyone put on the line; a request right after a quiet spell goes at once.
    const qint64 sendAt = m_lastRxNs + m_timing.silenceNs();
    if (sendAt <= nowNs())
        send();
    else
        arm(sendAt);
}

void RequestExchange::cancel()
{
    m_phase = Phase::Idle;
    m_done = {};
    m_rx.clear();
    arm(0);
}

void RequestExchange::send()
{
    m_rx.clear();
    try {
        if (!m_control.portOpen()) throw SerialError("the port is not open");
        m_control.setOutputData(toByteArray(m_request));
    } catch (const SerialError& failure) {
        // Reported from the event loop like every other end, never inside the caller's own call.
        m_phase = Phase::Waiting;
        m_deadlineNs = 0;
        m_lastError = QString::fromUtf8(failure.what());
        arm(nowNs());
        return;
    }
    const qint64 now = nowNs();
    m_requestOutNs = now + m_timing.wireNs(static_cast<int>(m_request.size()));
    m_deadlineNs = m_requestOutNs + m_replyTimeoutNs + m_timing.wireNs(m_answerBytes);
    m_phase = Phase::Waiting;
    arm(m_deadlineNs);
}

void RequestExchange::onComm()
{
    if (m_control.commEvent() == kComEventPortLost) {
        m_rx.clear();
        if (m_phase != Phase::Idle) finish(ExchangeEnd::PortLost, {}, QStringLiteral("the port vanished"));
        return;
    }
    if (m_control.commEvent() != kComEvReceive) return;
    takeBytes();
}

void RequestExchange::takeBytes()
{
    const QByteArray bytes = m_control.inputData();
    if (bytes.isEmpty()) return;
    const qint64 now = nowNs();
    m_lastRxNs = now;
    if (m_phase != Phase::Waiting) return; // nobody asked: a stray or a very late frame
    m_rx += bytes;
    if (answerComplete()) {
        closeFrame();
        return;
    }
    arm(std::min(m_deadlineNs, now + m_timing.silenceNs()));
}

// The awaited length with a valid CRC, counted after the adapter's copy of the request when there is one.
bool RequestExchange::answerComplete() const
{
    const QByteArray sent = toByteArray(m_request);
    const qsizetype skip = m_rx.startsWith(sent) ? sent.size() : 0;
    if (m_rx.size() - skip != m_answerBytes) return false;
    ScratchBuffer frame {};
    std::copy_n(m_rx.constBegin() + skip, m_answerBytes, frame.begin());
    return replyCrcValid(frame, m_answerBytes);
}

// The start of the very answer awaited (the polled address, the function, a read's byte count), still short. USB
// adapters hand bytes over in bursts up to their latency timer apart (16 ms by default), and a busy host can be late
// to read, so a pause inside it is no proof of a broken frame: it may go on until the reply timeout. Anything else
// ends at the silence.
bool RequestExchange::awaitedPrefix() const
{
    const QByteArray sent = toByteArray(m_request);
    const QByteArray tail = m_rx.startsWith(sent) ? m_rx.mid(sent.size()) : m_rx;
    if (tail.isEmpty() || tail.size() >= m_answerBytes) return false;
    const QByteArray header = sent.left(2)
        + (m_request[1] == kFunctionReadHolding ? QByteArray(1, static_cast<char>(m_answerBytes - 5)) : QByteArray());
    return header.startsWith(tail.left(header.size()));
}

void RequestExchange::onTimer()
{
    quint64 expirations = 0;
    if (::read(m_timerFd, &expirations, sizeof expirations) < 0 && errno == EAGAIN) return;
    const qint64 now = nowNs();
    switch (m_phase) {
    case Phase::Idle:
        return;
    case Phase::Gap:
        send();
        return;
    case Phase::Waiting:
        break;
    }
    if (!m_lastError.isEmpty()) {
        const QString error = std::exchange(m_lastError, QString());
        finish(ExchangeEnd::PortLost, {}, error);
        return;
    }
    // Bytes the event loop has not handed over yet, or the driver still holds, belong to this wait: the line was
    // not silent, this program was slow to look.
    if (m_control.portOpen() && (m_control.inBufferCount() > 0 || m_control.bytesArriving())) {
        takeBytes();
        if (m_phase != Phase::Waiting) return;
    }
    const bool silent = now >= m_lastRxNs + m_timing.silenceNs();
    if (!m_rx.isEmpty() && ((silent && !awaitedPrefix()) || now >= m_deadlineNs)) closeFrame();
    if (m_phase != Phase::Waiting) return;
    if (now >= m_deadlineNs) {
        finish(m_echoSeen ? ExchangeEnd::EchoOnly : ExchangeEnd::Unanswered);
        return;
    }
    // Nothing held, or the start of the answer held over its pause: only the timeout (or more bytes) ends the wait.
    arm(m_rx.isEmpty() || silent ? m_deadlineNs : std::min(m_deadlineNs, m_lastRxNs + m_timing.silenceNs()));
}

void RequestExchange::closeFrame()
{
    const QByteArray frame = std::exchange(m_rx, QByteArray());
    const SentRequest sent { m_request[0], m_request[3], m_request };
    const FrameMeaning meaning = interpretFrame(hexText(frame), static_cast<qint32>(frame.size()), sent);
    if (meaning.kind == FrameKind::Echo) m_echoSeen = true;
    if (!meaning.answered) {
        // Not this device's answer: an echo, another address, a scrap. The wait goes on until the timeout.
        ++m_skipped;
        arm(m_deadlineNs);
        return;
    }
    finish(meaning.kind == FrameKind::Damaged ? ExchangeEnd::Damaged : ExchangeEnd::Answered, meaning);
}

void RequestExchange::finish(ExchangeEnd end, const FrameMeaning& meaning, const QString& error)
{
    ExchangeResult result;
    result.end = end;
    result.meaning = meaning;
    result.skippedFrames = m_skipped;
    result.error = error;
    result.requestOutUs = m_requestOutNs / 1000;
    if (end == ExchangeEnd::Answered || end == ExchangeEnd::Damaged) {
        result.frameEndUs = m_lastRxNs / 1000;
        result.answerUs = std::max<qint64>(m_lastRxNs - m_requestOutNs, 0) / 1000;
    }
    Done done = std::exchange(m_done, Done());
    m_phase = Phase::Idle;
    m_rx.clear();
    arm(0);
    if (done) done(result);
}

// Sets the one timer to fire at atNs on the monotonic clock; 0 disarms it.
void RequestExchange::arm(qint64 atNs)
{
    itimerspec wake {};
    if (atNs > 0) {
        const qint64 at = std::max<qint64>(atNs, 1);
        wake.it_value.tv_sec = static_cast<time_t>(at / kNsPerS);
        wake.it_value.tv_nsec = static_cast<long>(at % kNsPerS);
    }
    ::timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &wake, nullptr);
}

} // namespace orvik
