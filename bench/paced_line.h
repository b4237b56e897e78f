// The far end of a pseudo-terminal that answers like a real line: bytes written one at a time from their own thread,
// each at the moment it would have fully arrived at the line speed. A busy loop to take a core away.
#pragma once

#include "pty_device.h"

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace orvik::bench {

using Clock = std::chrono::steady_clock;

struct PacedResult {
    Clock::time_point lastByteAt; // right after the write of the last byte returned
    qint64 maxGapUs = 0; // longest pause between two written bytes, as the writer saw it
    qint64 maxLateUs = 0; // worst lateness of a write against its due time
};

// Starts writing bytes after startDelay; byte k goes out when k + 1 characters of baud have passed. The device must
// outlive the returned future.
std::future<PacedResult> sendPaced(
    test::PtyDevice& device, QByteArray bytes, int baud, std::chrono::microseconds startDelay);

// Spins on one core from construction to destruction.
class BusyCore {
public:
    BusyCore();
    ~BusyCore();
    BusyCore(const BusyCore&) = delete;
    BusyCore& operator=(const BusyCore&) = delete;

private:
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

} // namespace orvik::bench
