// The paced writer over a real pseudo-terminal: if it wrote faster than the line, every reply-to-screen figure would
// be measured from a last byte that came too early; and a busy loop the compiler removed would load no core.
#include "bench_support.h"
#include "paced_line.h"

#include <QtTest>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace orvik;
using namespace orvik::bench;

namespace {

struct Arrival {
    char byte;
    Clock::time_point at;
};

// Reads the program's side of the pty until `count` bytes came or the deadline passed.
std::vector<Arrival> readArrivals(int fd, int count, std::chrono::milliseconds within)
{
    std::vector<Arrival> arrivals;
    const auto deadline = Clock::now() + within;
    pollfd readable { fd, POLLIN, 0 };
    while (static_cast<int>(arrivals.size()) < count && Clock::now() < deadline) {
        if (::poll(&readable, 1, 20) <= 0) continue;
        char chunk[64];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        for (ssize_t i = 0; i < n; ++i)
            arrivals.push_back({ chunk[i], Clock::now() });
    }
    return arrivals;
}

double millis(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuMs()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3;
}

} // namespace

class TestPacedLine : public QObject {
    Q_OBJECT

private slots:
    void bytesArriveAtTheLineSpeed_data();
    void bytesArriveAtTheLineSpeed();
    void busyCoreLoadsACore();
};

void TestPacedLine::bytesArriveAtTheLineSpeed_data()
{
    QTest::addColumn<int>("baud");
    QTest::newRow("1200: 8.3 ms a byte") << 1200;
    QTest::newRow("4800: 2.1 ms a byte") << 4800;
}

void TestPacedLine::bytesArriveAtTheLineSpeed()
{
    QFETCH(int, baud);
    test::PtyDevice device;
    const int fd = ::open(device.slavePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    const QByteArray reply = distanceReply(3, 12345);
    const Clock::time_point posted = Clock::now();
    std::future<PacedResult> writer = sendPaced(device, reply, baud, std::chrono::milliseconds(20));
    const std::vector<Arrival> arrivals = readArrivals(fd, 9, std::chrono::seconds(5));
    const PacedResult sent = writer.get();
    ::close(fd);

    QCOMPARE(arrivals.size(), size_t(9));
    QByteArray received;
    for (const Arrival& a : arrivals)
        received.append(a.byte);
    QCOMPARE(received.toHex(' ').toUpper(), QByteArray("03 03 04 00 00 30 39 0D E1"));
    // Never early: the first byte after the start delay and one character, the last after nine characters.
    const double charMs = charTimeUs(baud) / 1000.0;
    QVERIFY2(millis(arrivals.front().at - posted) >= 20.0 + charMs - 0.5, "first byte before its time");
    QVERIFY2(millis(arrivals.back().at - arrivals.front().at) >= 8 * charMs - 0.5, "bytes faster than the line");
    // Late only by a busy machine's margin; and the last byte was timed when it was written.
    QVERIFY(millis(arrivals.back().at - posted) < 20.0 + 9 * charMs + 500.0);
    QVERIFY(std::abs(millis(arrivals.back().at - sent.lastByteAt)) < 200.0);
    QVERIFY(sent.maxGapUs >= static_cast<qint64>(charTimeUs(baud)) - 500);
}

void TestPacedLine::busyCoreLoadsACore()
{
    const double before = cpuMs();
    const Clock::time_point start = Clock::now();
    {
        BusyCore busy;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    const double wall = millis(Clock::now() - start);
    // Half a core over the span is far below what a spinning thread gets even on a crowded machine.
    QVERIFY2(cpuMs() - before > 0.5 * wall, "the busy loop did not spin");
}

QTEST_APPLESS_MAIN(TestPacedLine)
#include "tst_paced_line.moc"
