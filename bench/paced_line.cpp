#include "paced_line.h"

#include "bench_support.h"

namespace orvik::bench {

namespace {

qint64 microsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(to - from).count();
}

PacedResult writePaced(test::PtyDevice& device, const QByteArray& bytes, int baud, Clock::time_point start)
{
    PacedResult result;
    const std::vector<qint64> offsets = pacedOffsetsUs(static_cast<int>(bytes.size()), baud);
    Clock::time_point previous {};
    for (qsizetype k = 0; k < bytes.size(); ++k) {
        // Due times count from the start, so one late wake-up does not push every later byte back.
        const Clock::time_point due = start + std::chrono::microseconds(offsets[static_cast<size_t>(k)]);
        std::this_thread::sleep_until(due);
        device.send(bytes.mid(k, 1));
        const Clock::time_point written = Clock::now();
        result.maxLateUs = std::max(result.maxLateUs, microsBetween(due, written));
        if (k > 0) result.maxGapUs = std::max(result.maxGapUs, microsBetween(previous, written));
        previous = written;
    }
    result.lastByteAt = previous;
    return result;
}

} // namespace

std::future<PacedResult> sendPaced(
    test::PtyDevice& device, QByteArray bytes, int baud, std::chrono::microseconds startDelay)
{
    const Clock::time_point start = Clock::now() + startDelay;
    return std::async(std::launch::async,
        [&device, bytes = std::move(bytes), baud, start] { return writePaced(device, bytes, baud, start); });
}

BusyCore::BusyCore()
    : m_thread([this] {
        volatile quint64 spins = 0;
        while (!m_stop.load(std::memory_order_relaxed))
            spins = spins + 1;
    })
{
}

BusyCore::~BusyCore()
{
    m_stop = true;
    m_thread.join();
}

} // namespace orvik::bench
