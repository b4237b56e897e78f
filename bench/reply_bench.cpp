// Reply to screen and frame integrity: the device writes each distance reply byte by byte at the line speed, and the
// window's edit box is watched for the distance.
#include "distance_text.h"
#include "form_probe.h"
#include "paced_line.h"
#include "window_bench.h"

#include <QEventLoop>
#include <QTimer>
#include <optional>

namespace orvik::bench {

namespace {

constexpr auto kTurnaround = std::chrono::microseconds(3000);
constexpr int kSliceMs = 100;
constexpr int kGuardMs = 1000; // beyond the reply and its silence, before a reply counts as never shown

QStringList memoLines(QPlainTextEdit* memo)
{
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// Where in the wait's 100 ms slice the reply starts: spread over the slice, the same for every run.
std::chrono::microseconds sliceOffset(int reply)
{
    return std::chrono::milliseconds((reply * 37) % kSliceMs);
}

struct OneReply {
    FrameVerdict verdict = FrameVerdict::Lost;
    std::optional<double> latencyMs;
    PacedResult sent;
};

OneReply oneReply(TForm1Probe& probe, test::PtyDevice& device, int baud, Condition condition, int index)
{
    probe.ui().Memo1->clear();
    probe.Timer1Timer(); // the poll goes out to the next slave
    device.heard();
    const quint8 slave = probe.CurrentSlave();
    const qint32 value = 10000 + 7 * index; // a new text every time, so the edit box always changes
    const QByteArray reply = distanceReply(slave, value);
    QLineEdit* edit = probe.DistanceEdits()[slave];

    QEventLoop loop;
    Clock::time_point shownAt {};
    QObject::connect(edit, &QLineEdit::textChanged, &loop, [&] {
        if (shownAt == Clock::time_point {}) shownAt = Clock::now();
        loop.quit();
    });
    const bool inWait = condition == Condition::InWait;
    const auto delay = kTurnaround + (inWait ? sliceOffset(index) : std::chrono::microseconds(0));
    std::future<PacedResult> writer = sendPaced(device, reply, baud, delay);
    const double busyMs = static_cast<double>(delay.count()) / 1000.0 + wireTimeMs(9, baud) + 25.0;
    if (inWait) probe.WaitMs(static_cast<qint64>(std::ceil(busyMs / kSliceMs) * kSliceMs));
    if (shownAt == Clock::time_point {}) {
        QTimer::singleShot(static_cast<int>(busyMs) + kGuardMs, &loop, &QEventLoop::quit);
        loop.exec();
    }

    OneReply result;
    result.sent = writer.get();
    result.verdict = judgeFrame(memoLines(probe.ui().Memo1), reply);
    if (result.verdict == FrameVerdict::Whole && edit->text() != distanceText(value))
        result.verdict = FrameVerdict::Garbled;
    if (result.verdict == FrameVerdict::Whole && shownAt != Clock::time_point {})
        result.latencyMs = std::chrono::duration<double, std::milli>(shownAt - result.sent.lastByteAt).count();
    return result;
}

} // namespace

QString conditionName(Condition condition)
{
    switch (condition) {
    case Condition::Plain:
        return QStringLiteral("plain");
    case Condition::InWait:
        return QStringLiteral("in-wait");
    case Condition::PlatformFloor:
        return QStringLiteral("platform");
    case Condition::BusyCore:
        break;
    }
    return QStringLiteral("busy-core");
}

void tally(ReplyRun& run, FrameVerdict verdict, const PacedResult& sent)
{
    run.verdicts[static_cast<size_t>(verdict)] += 1;
    const bool gap = sent.maxGapUs >= 25000;
    run.senderGaps += gap ? 1 : 0;
    run.gapBroken += gap && verdict != FrameVerdict::Whole ? 1 : 0;
    run.maxGapUs = std::max(run.maxGapUs, sent.maxGapUs);
    run.maxLateUs = std::max(run.maxLateUs, sent.maxLateUs);
}

ReplyRun runReplies(test::PtyDevice& device, int port, int baud, Condition condition, int replies, int settleMs)
{
    ReplyRun run;
    run.condition = condition;
    run.baud = baud;
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.connectDirectly(baud, port);
    // The data page, as while polling; its timer stays off so that only this loop sends polls.
    probe.ui().PageControl1->setActivePageIndex(1);
    probe.window().show();
    probe.CurrentSlave() = 0;

    std::optional<BusyCore> busy;
    if (condition == Condition::BusyCore) busy.emplace();
    for (int i = 0; i < replies; ++i) {
        const OneReply one = oneReply(probe, device, baud, condition, i);
        tally(run, one.verdict, one.sent);
        if (one.latencyMs) run.latenciesMs.push_back(*one.latencyMs);
        QEventLoop settle;
        QTimer::singleShot(settleMs, &settle, &QEventLoop::quit);
        settle.exec();
    }
    return run;
}

} // namespace orvik::bench
