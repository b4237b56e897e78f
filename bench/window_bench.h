// The window benchmarks: one real window (the test probe on the real serial control) on a pseudo-terminal or on the
// simulated sensor line, timed against what the line itself allows.
#pragma once

#include "bench_support.h"
#include "paced_line.h"
#include "pty_device.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <vector>

namespace orvik::bench {

enum class Condition {
    Plain, // the window idles in its event loop while the reply arrives
    InWait, // a handler sleeps in the message-pumping wait while the reply arrives
    BusyCore, // another thread spins on a core meanwhile
    PlatformFloor, // no window: a bare event loop with a socket notifier and a precise 25 ms timer
};
QString conditionName(Condition condition);

struct ReplyRun {
    Condition condition = Condition::Plain;
    int baud = 0;
    std::vector<double> latenciesMs; // last reply byte written -> distance text set, for whole frames
    std::array<int, 5> verdicts {}; // indexed by FrameVerdict
    int senderGaps = 0; // replies in which the writer itself paused 25 ms or more between two bytes
    int gapBroken = 0; // replies not whole that had such a pause: the line really was silent for 25 ms
    qint64 maxGapUs = 0;
    qint64 maxLateUs = 0;
};
// Polls slaves 1..16 in turn; the device answers each poll with a distance reply paced at baud.
// Between replies the window is left settleMs to paint and idle, as it would between polls seconds apart.
ReplyRun runReplies(test::PtyDevice& device, int port, int baud, Condition condition, int replies, int settleMs);
// The same replies read by a bare event loop: the platform's floor for reply to screen.
ReplyRun runPlatformFloor(test::PtyDevice& device, int baud, int replies);
// Counts one reply into run.
void tally(ReplyRun& run, FrameVerdict verdict, const PacedResult& sent);

struct ConnectRun {
    int baud = 0;
    bool found = false;
    double foundMs = 0; // click -> device fields filled
    double clickMs = 0; // click -> the handler returned
    QString shownRate; // the rate the baud-rate list shows afterwards
    ConnectFloor floor;
};
ConnectRun runConnect(const QString& simPath, int baud);

struct PollCost {
    int polls = 0;
    int answered = 0;
    double wallS = 0;
    double cpuMs = 0;
    double idleCpuMsPerS = 0; // the same window connected, not polling
    double perPollMs = 0; // gross
    double netPerPollMs = 0; // idle share taken off
};
// With mqttPort, every distance and status is also published to the broker on that local port.
PollCost runPollCost(const QString& simPath, int polls, int intervalMs, int mqttPort = 0);

// orvik-sim on a port of $ORVIK_PORTS_DIR; stopped with SIGTERM when it goes.
class SimProcess {
public:
    SimProcess(const QString& simPath, const QStringList& arguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    // True once the simulator printed its banner, which it does after its port link exists.
    bool waitReady(int timeoutMs);

private:
    QProcess m_process;
};

inline constexpr int kSimPort = 9;
inline constexpr double kSimTurnaroundMs = 3.0; // the simulator's default quiet time before a reply

// Process CPU time (user + system, all threads) in milliseconds.
double processCpuMs();

} // namespace orvik::bench
