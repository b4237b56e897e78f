// Connect time and the cost of polling, with the window on the simulated sensor line.
#include "form_probe.h"
#include "mqtt_feed.h"
#include "window_bench.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <map>
#include <sys/resource.h>

namespace orvik::bench {

namespace {

const QString kSimPortName = QStringLiteral("COM%1").arg(kSimPort);

double millisSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Serves events for ms milliseconds.
void serveEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int answeredLines(QPlainTextEdit* memo)
{
    int lines = 0;
    for (const QString& line : memo->toPlainText().split(QLatin1Char('\n')))
        lines += line.size() == 27 ? 1 : 0; // nine bytes of "HH "
    return lines;
}

// Per thread of this process: its name, CPU time and voluntary context switches (each one a sleep, so the next run
// of the thread is a wake-up).
struct ThreadCount {
    QString name;
    double cpuMs = 0;
    long long wakeUps = 0;
};

std::map<QString, ThreadCount> threadCounts()
{
    std::map<QString, ThreadCount> counts;
    for (const QString& tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        ThreadCount c;
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        c.name = QString::fromUtf8(line.mid(open + 1, close - open - 1));
        QFile schedstat(QStringLiteral("/proc/self/task/%1/schedstat").arg(tid)); // nanoseconds on a CPU, first
        if (schedstat.open(QIODevice::ReadOnly)) c.cpuMs = schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(tid));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& l : status.readAll().split('\n'))
                if (l.startsWith("voluntary_ctxt_switches:")) c.wakeUps = l.mid(24).trimmed().toLongLong();
        counts[tid] = c;
    }
    return counts;
}

// One line per thread that ran between the two counts.
void sayThreads(const QString& phase, const std::map<QString, ThreadCount>& before, int divisor, const char* per)
{
    for (const auto& [tid, after] : threadCounts()) {
        const auto b = before.find(tid);
        const ThreadCount from = b == before.end() ? ThreadCount {} : b->second;
        const long long wakeUps = after.wakeUps - from.wakeUps;
        if (wakeUps == 0 && after.cpuMs == from.cpuMs) continue;
        std::fprintf(stderr, "%s\n",
            qPrintable(QStringLiteral("  %1 thread %2 (%3): %4 wake-ups, %5 ms CPU per %6")
                           .arg(phase, after.name, tid)
                           .arg(double(wakeUps) / divisor, 0, 'f', 2)
                           .arg((after.cpuMs - from.cpuMs) / divisor, 0, 'f', 3)
                           .arg(QLatin1String(per))));
    }
}

} // namespace

SimProcess::SimProcess(const QString& simPath, const QStringList& arguments)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(simPath, arguments);
}

SimProcess::~SimProcess()
{
    if (m_process.state() == QProcess::NotRunning) return;
    ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM); // lets the simulator remove its port link
    if (!m_process.waitForFinished(3000)) m_process.kill();
    m_process.waitForFinished(1000);
}

bool SimProcess::waitReady(int timeoutMs)
{
    QByteArray out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(100);
        out += m_process.readAllStandardOutput();
        if (out.contains("orvik-sim: ")) return true;
    }
    return false;
}

double processCpuMs()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

ConnectRun runConnect(const QString& simPath, int baud)
{
    ConnectRun run;
    run.baud = baud;
    run.floor = connectFloor(baud, kSimTurnaroundMs);
    SimProcess sim(simPath, { "--port", kSimPortName, "--baud", QString::number(baud), "--seed", "1" });
    if (!sim.waitReady(10000)) return run;

    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.window().show();
    probe.ComboBox1DropDown();
    probe.ui().ComboBox1->setItemIndex(static_cast<int>(probe.PortList().indexOf(kSimPortName)));
    // The device fields are filled in the same step that sets DeviceFound; an emptied field shows that moment.
    probe.ui().Edit1->clear();
    Clock::time_point foundAt {};
    QObject::connect(probe.ui().Edit1, &QLineEdit::textChanged, [&](const QString& text) {
        if (!text.isEmpty() && foundAt == Clock::time_point {}) foundAt = Clock::now();
    });
    const Clock::time_point clicked = Clock::now();
    probe.Button1Click();
    run.clickMs = millisSince(clicked, Clock::now());
    run.found = probe.DeviceFound() && foundAt != Clock::time_point {};
    if (run.found) run.foundMs = millisSince(clicked, foundAt);
    run.shownRate = probe.ui().ComboBox2->currentText();
    probe.Button1Click(); // disconnect
    return run;
}

PollCost runPollCost(const QString& simPath, int polls, int intervalMs, int mqttPort)
{
    PollCost cost;
    SimProcess sim(simPath, { "--port", kSimPortName, "--baud", "115200", "--seed", "1" });
    if (!sim.waitReady(10000)) return cost;
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.connectDirectly(115200, kSimPort);
    if (mqttPort > 0) {
        MqttSettings mqtt;
        mqtt.enabled = true;
        mqtt.host = QStringLiteral("127.0.0.1");
        mqtt.port = mqttPort;
        mqtt.prefix = QStringLiteral("bench");
        probe.window().useMqttSettings(mqtt);
        probe.ui().ComboBox1->addItems({ kSimPortName });
        probe.ui().ComboBox1->setItemIndex(0);
        probe.mqttLine(true);
    }
    probe.ui().PageControl1->setActivePageIndex(1);
    probe.window().show();
    serveEvents(500); // first paint and settling, not counted

    const int idleMs = 2000;
    const double idleStart = processCpuMs();
    const auto idleThreads = threadCounts();
    serveEvents(idleMs);
    cost.idleCpuMsPerS = (processCpuMs() - idleStart) / (idleMs / 1000.0);
    sayThreads(QStringLiteral("idle"), idleThreads, idleMs / 1000, "second");

    int ticks = 0;
    QEventLoop loop;
    QTimer* timer = probe.ui().Timer1;
    // Connected after the window's own handler, so the last poll has gone out when the timer is stopped.
    QObject::connect(timer, &QTimer::timeout, &loop, [&] {
        if (++ticks < polls) return;
        timer->stop();
        QTimer::singleShot(100, &loop, &QEventLoop::quit); // the last reply and its silence
    });
    const Clock::time_point start = Clock::now();
    const double cpuStart = processCpuMs();
    const auto pollThreads = threadCounts();
    probe.PageControl1Change();
    timer->setInterval(intervalMs);
    loop.exec();
    cost.cpuMs = processCpuMs() - cpuStart;
    cost.wallS = millisSince(start, Clock::now()) / 1000.0;
    cost.polls = ticks;
    sayThreads(QStringLiteral("polling"), pollThreads, ticks, "poll");
    cost.answered = answeredLines(probe.ui().Memo1);
    cost.perPollMs = cost.cpuMs / ticks;
    cost.netPerPollMs = (cost.cpuMs - cost.idleCpuMsPerS * cost.wallS) / ticks;
    return cost;
}

} // namespace orvik::bench
