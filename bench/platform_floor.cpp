// The platform's own share of reply to screen: a bare event loop (no window, no serial port class) that reads the pty
// when it becomes readable and takes the time when a precise 25 ms timer, restarted on every read, fires. What the
// window adds is its figure minus this one.
#include "window_bench.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>

namespace orvik::bench {

ReplyRun runPlatformFloor(test::PtyDevice& device, int baud, int replies)
{
    ReplyRun run;
    run.condition = Condition::PlatformFloor;
    run.baud = baud;
    const int fd = ::open(device.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return run;
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QTimer silence;
    silence.setSingleShot(true);
    silence.setTimerType(Qt::PreciseTimer);
    silence.setInterval(25);
    QByteArray frame;
    QObject::connect(&readable, &QSocketNotifier::activated, &silence, [&] {
        char chunk[64];
        ssize_t n = 0;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0)
            frame.append(chunk, n);
        silence.start();
    });
    for (int i = 0; i < replies; ++i) {
        const QByteArray reply = distanceReply(static_cast<quint8>(i % 16 + 1), 10000 + 7 * i);
        frame.clear();
        QEventLoop loop;
        Clock::time_point firedAt {};
        const auto c = QObject::connect(&silence, &QTimer::timeout, &loop, [&] {
            firedAt = Clock::now();
            loop.quit();
        });
        std::future<PacedResult> writer = sendPaced(device, reply, baud, std::chrono::milliseconds(3));
        QTimer::singleShot(static_cast<int>(wireTimeMs(9, baud)) + 1000, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(c);
        const PacedResult sent = writer.get();
        const FrameVerdict verdict = frame == reply ? FrameVerdict::Whole : FrameVerdict::Garbled;
        tally(run, verdict, sent);
        if (verdict == FrameVerdict::Whole && firedAt != Clock::time_point {})
            run.latenciesMs.push_back(std::chrono::duration<double, std::milli>(firedAt - sent.lastByteAt).count());
    }
    ::close(fd);
    return run;
}

} // namespace orvik::bench
