// One request on the line and the wait for its answer, paced by the line itself rather than by the window's 25 ms
// end-of-frame timer: what a program that reads a line as fast as it allows needs, with the same answer rules.
#pragma once

#include "frame_meaning.h"
#include "request_frame.h"
#include "serial_control.h"
#include "serial_settings.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace orvik {

// Times on the wire at one line setting, in nanoseconds.
struct LineTiming {
    qint64 charNs = 0; // one character: start bit, data bits, parity, stop bits

    static LineTiming of(const LineSettings& settings);
    qint64 wireNs(int bytes) const { return charNs * bytes; }
    // The silence that ends a frame and must pass before the next request: 3.5 characters, at least 1.75 ms (fast
    // lines keep the 19200 baud gap, as UARTs and converters cannot time shorter ones reliably).
    qint64 silenceNs() const;
};

enum class ExchangeEnd {
    Answered, // the awaited answer, intact
    Damaged, // the polled device answered, but the frame does not check
    Unanswered, // nothing from the device by the reply timeout (other talkers' frames do not count)
    EchoOnly, // only the adapter's copy of the request came back
    PortLost, // the port vanished or refused the request; `error` says why
};

struct ExchangeResult {
    ExchangeEnd end = ExchangeEnd::Unanswered;
    FrameMeaning meaning; // of the frame taken as the answer
    qint64 answerUs = -1; // from the request's last byte leaving to the answer's last byte arriving
    // On the monotonic clock, in microseconds: the request's last byte leaving, the answer's last byte arriving.
    qint64 requestOutUs = 0;
    qint64 frameEndUs = 0;
    int skippedFrames = 0; // echoes and frames from addresses that may not answer, passed over while waiting
    QString error;
};

// Sends one request at a time on a serial control it takes the receive event of, and ends the wait for its answer as
// soon as the line tells: the awaited number of bytes with a valid CRC (after an echo of the request, if the adapter
// gives one), or 3.5 characters of silence after a frame, or the reply timeout (the configured time plus the answer's
// own wire time, counted from the request's last byte); the start of the awaited answer itself is held open over a
// pause until that timeout, as adapters deliver in bursts. Each closed frame is judged by interpretFrame: an echo and a
// frame from an address that may not answer are passed over and the wait goes on, so a late answer from another
// device is never credited. The next request leaves only once the line has been silent for the inter-frame gap.
// Bytes that arrive between requests are dropped. Runs on the thread that creates it, from the event loop.
class RequestExchange {
public:
    using Done = std::function<void(const ExchangeResult&)>;

    RequestExchange(SerialControl& control, const LineSettings& settings, int replyTimeoutMs = 100);
    ~RequestExchange();
    RequestExchange(const RequestExchange&) = delete;
    RequestExchange& operator=(const RequestExchange&) = delete;

    // Sends `request` once the line's gap has passed and calls `done` once, from the event loop, with what came
    // back. answerBytes is the whole answer's length (9 for a distance). One request at a time: a second call while
    // one is running replaces it, without calling the first one's `done`.
    void exchange(const RequestFrame& request, int answerBytes, Done done);
    // Forgets the running request; its `done` is not called.
    void cancel();
    bool busy() const { return m_phase != Phase::Idle; }

    const LineTiming& timing() const { return m_timing; }

private:
    enum class Phase { Idle, Gap, Waiting };

    void onComm();
    void onTimer();
    void send();
    void takeBytes();
    bool answerComplete() const;
    bool awaitedPrefix() const;
    void closeFrame();
    void finish(ExchangeEnd end, const FrameMeaning& meaning = {}, const QString& error = {});
    void arm(qint64 atNs);

    SerialControl& m_control;
    LineTiming m_timing;
    qint64 m_replyTimeoutNs;
    int m_timerFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;

    Phase m_phase = Phase::Idle;
    RequestFrame m_request {};
    int m_answerBytes = 0;
    Done m_done;
    QByteArray m_rx; // the frame being received
    qint64 m_lastRxNs = 0; // the last byte seen on the line, answer or not
    qint64 m_requestOutNs = 0; // when the request's last byte leaves the adapter
    qint64 m_deadlineNs = 0;
    bool m_echoSeen = false;
    int m_skipped = 0;
    QString m_lastError; // a refused send, reported from the event loop
};

} // namespace orvik
