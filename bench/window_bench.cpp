// bench_window: the real window timed on a pseudo-terminal and on the simulated line; writes CSV files.
//   bench_window reply    --out DIR [--rates 600,9600] [--replies 200] [--settle-ms 30] [--wait-replies 30]
//                         [--busy-replies 100]
//   bench_window connect  --out DIR --sim PATH [--rates ...]
//   bench_window pollcost --out DIR --sim PATH [--polls 100] [--interval-ms 50] [--mqtt-port N]
//                         (also prints each thread's CPU and wake-ups while idle and while polling)
#include "window_bench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <optional>

using namespace orvik;
using namespace orvik::bench;

namespace {

constexpr int kPtyPort = 5;

struct Options {
    QString mode;
    QDir out;
    QString sim;
    std::vector<int> rates;
    int replies = 200;
    int settleMs = 30;
    int waitReplies = 30;
    int busyReplies = 100;
    int polls = 100;
    int intervalMs = 50;
    int mqttPort = 0;
};

QString fixed(double value, int decimals = 3)
{
    return QString::number(value, 'f', decimals);
}

class CsvFile {
public:
    CsvFile(const QString& path, const QString& header)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(path));
        m_stream.setDevice(&m_file);
        m_stream << header << '\n';
    }
    void row(const QStringList& cells)
    {
        m_stream << cells.join(QLatin1Char(',')) << '\n';
        m_stream.flush();
    }

private:
    QFile m_file;
    QTextStream m_stream;
};

void say(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

const char* const kReplyColumns
    = "condition,baud,replies,whole,split,merged,lost,garbled,median_ms,p99_ms,min_ms,max_ms,shown_under_floor,"
      "floor_ms,median_over_floor,p99_over_floor,sender_gaps,not_whole_after_sender_gap,writer_max_gap_us,"
      "writer_max_late_us";

QStringList summaryCells(const ReplyRun& run, int replies)
{
    const Summary s = summarise(run.latenciesMs);
    const double floorMs = 25.0;
    const auto early
        = std::count_if(run.latenciesMs.begin(), run.latenciesMs.end(), [floorMs](double ms) { return ms < floorMs; });
    QStringList cells { conditionName(run.condition), QString::number(run.baud), QString::number(replies) };
    for (int v : run.verdicts)
        cells << QString::number(v);
    cells << fixed(s.median) << fixed(s.p99) << fixed(s.min) << fixed(s.max) << QString::number(early)
          << fixed(floorMs, 1) << fixed(s.median / floorMs) << fixed(s.p99 / floorMs) << QString::number(run.senderGaps)
          << QString::number(run.gapBroken) << QString::number(run.maxGapUs) << QString::number(run.maxLateUs);
    return cells;
}

void replyMode(const Options& o)
{
    QTemporaryDir ports;
    test::PtyDevice device;
    qputenv("ORVIK_PORTS_DIR", ports.path().toLocal8Bit());
    const QString link = ports.filePath(QStringLiteral("COM%1").arg(kPtyPort));
    if (!QFile::link(device.slavePath(), link)) qFatal("cannot link %s", qPrintable(link));

    CsvFile summary(o.out.filePath("reply_summary.csv"), kReplyColumns);
    CsvFile raw(o.out.filePath("reply_raw.csv"), "condition,baud,latency_ms");
    const std::pair<Condition, int> plan[] = { { Condition::PlatformFloor, o.replies }, { Condition::Plain, o.replies },
        { Condition::InWait, o.waitReplies }, { Condition::BusyCore, o.busyReplies } };
    // Rate by rate, every condition in turn: the load of a shared machine drifts, and a condition measured minutes
    // after its floor would be compared with a different machine.
    for (int baud : o.rates) {
        for (const auto& [condition, replies] : plan) {
            if (replies <= 0) continue;
            const ReplyRun run = condition == Condition::PlatformFloor
                ? runPlatformFloor(device, baud, replies)
                : runReplies(device, kPtyPort, baud, condition, replies, o.settleMs);
            summary.row(summaryCells(run, replies));
            for (double ms : run.latenciesMs)
                raw.row({ conditionName(condition), QString::number(baud), fixed(ms) });
            const Summary s = summarise(run.latenciesMs);
            say(QStringLiteral("%1 %2 baud: whole %3/%4, median %5 ms, p99 %6 ms")
                    .arg(conditionName(condition))
                    .arg(baud)
                    .arg(run.verdicts[0])
                    .arg(replies)
                    .arg(fixed(s.median, 2), fixed(s.p99, 2)));
        }
    }
}

void connectMode(const Options& o)
{
    QTemporaryDir ports;
    qputenv("ORVIK_PORTS_DIR", ports.path().toLocal8Bit());
    CsvFile csv(o.out.filePath("connect.csv"),
        "baud,found,found_ms,click_ms,shown_rate,line_floor_ms,schedule_floor_ms,over_line_floor,over_schedule");
    for (int baud : o.rates) {
        const ConnectRun run = runConnect(o.sim, baud);
        csv.row({ QString::number(baud), run.found ? "1" : "0", fixed(run.foundMs, 1), fixed(run.clickMs, 1),
            run.shownRate, fixed(run.floor.line, 1), fixed(run.floor.schedule, 1), fixed(run.foundMs / run.floor.line),
            fixed(run.foundMs / run.floor.schedule) });
        say(QStringLiteral("connect %1 baud: found %2 after %3 ms (schedule %4 ms)")
                .arg(baud)
                .arg(run.found)
                .arg(fixed(run.foundMs, 1), fixed(run.floor.schedule, 1)));
    }
}

void pollCostMode(const Options& o)
{
    QTemporaryDir ports;
    qputenv("ORVIK_PORTS_DIR", ports.path().toLocal8Bit());
    const PollCost c = runPollCost(o.sim, o.polls, o.intervalMs, o.mqttPort);
    CsvFile csv(o.out.filePath(o.mqttPort > 0 ? "pollcost-mqtt.csv" : "pollcost.csv"),
        "polls,answered,interval_ms,wall_s,cpu_ms,idle_cpu_ms_per_s,cpu_per_poll_ms,net_cpu_per_poll_ms,"
        "core_share_at_1_poll_per_s_pct");
    csv.row({ QString::number(c.polls), QString::number(c.answered), QString::number(o.intervalMs), fixed(c.wallS),
        fixed(c.cpuMs, 1), fixed(c.idleCpuMsPerS), fixed(c.perPollMs), fixed(c.netPerPollMs),
        fixed(c.netPerPollMs / 10.0, 4) });
    say(QStringLiteral("poll cost: %1 polls, %2 answered, %3 ms CPU per poll (net %4)")
            .arg(c.polls)
            .arg(c.answered)
            .arg(fixed(c.perPollMs), fixed(c.netPerPollMs)));
}

std::optional<Options> parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument("mode", "reply, connect or pollcost");
    const QCommandLineOption out("out", "Folder for the CSV files.", "DIR", ".");
    const QCommandLineOption sim("sim", "Path of orvik-sim.", "PATH");
    const QCommandLineOption rates("rates", "Comma-separated baud rates (default: all nine).", "LIST");
    const QCommandLineOption replies("replies", "Replies per rate, window idle.", "N", "200");
    const QCommandLineOption settle("settle-ms", "Idle time of the window between replies.", "MS", "30");
    const QCommandLineOption waitReplies("wait-replies", "Replies per rate inside the wait.", "N", "30");
    const QCommandLineOption busyReplies("busy-replies", "Replies per rate with a core busy.", "N", "100");
    const QCommandLineOption polls("polls", "Polls in the cost run.", "N", "100");
    const QCommandLineOption interval("interval-ms", "Polling interval of the cost run.", "MS", "50");
    const QCommandLineOption mqttPort("mqtt-port", "Publish to the MQTT broker on this local port.", "N", "0");
    parser.addOptions({ out, sim, rates, replies, settle, waitReplies, busyReplies, polls, interval, mqttPort });
    parser.addHelpOption();
    parser.process(arguments);
    if (parser.positionalArguments().size() != 1) return std::nullopt;
    Options o;
    o.mode = parser.positionalArguments().front();
    o.out = QDir(parser.value(out));
    o.sim = parser.value(sim);
    o.rates = lineRates();
    if (parser.isSet(rates)) {
        o.rates.clear();
        for (const QString& r : parser.value(rates).split(QLatin1Char(',')))
            o.rates.push_back(r.toInt());
    }
    o.replies = parser.value(replies).toInt();
    o.settleMs = parser.value(settle).toInt();
    o.waitReplies = parser.value(waitReplies).toInt();
    o.busyReplies = parser.value(busyReplies).toInt();
    o.polls = std::max(1, parser.value(polls).toInt());
    o.intervalMs = parser.value(interval).toInt();
    o.mqttPort = parser.value(mqttPort).toInt();
    return o;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const std::optional<Options> o = parse(QCoreApplication::arguments());
    if (!o || !o->out.mkpath(".")) {
        say("usage: bench_window reply|connect|pollcost --out DIR [--sim PATH] (see --help)");
        return 2;
    }
    if (o->mode == "reply")
        replyMode(*o);
    else if (o->mode == "connect" && !o->sim.isEmpty())
        connectMode(*o);
    else if (o->mode == "pollcost" && !o->sim.isEmpty())
        pollCostMode(*o);
    else
        return 2;
    return 0;
}
