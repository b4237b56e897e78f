// Replies that come late or with a pause inside them. A frame ends after 25 ms of silence, whatever the rate, and a
// reply counts only from the address polled last: a reply later than the next tick is only logged, a pause of more
// than 25 ms splits a reply into two frames that are only logged, a shorter one does not.
#include "distance_text.h"
#include "reliability_harness.h"

#include <QtTest>

using namespace orvik;
using namespace orvik::reltest;

namespace {

constexpr int kFrameMs = 5000; // generous bound for one reply to reach the memo

// A distance shown in a box, with the frame that put it there.
struct Shown {
    int box;
    QString text;
    QByteArray frame;
};

QByteArray bytesOfMemoLine(const QString& line)
{
    return QByteArray::fromHex(line.toLatin1());
}

void checkAllBoxes(TForm1Probe& probe, bool on)
{
    for (QCheckBox* box : probe.LinkBoxes()) {
        box->setChecked(on);
        box->setEnabled(on);
    }
}

} // namespace

class TestRelTiming : public QObject {
    Q_OBJECT

private slots:
    void lateRepliesReachNoBox();
    void pauseInsideReplies_data();
    void pauseInsideReplies();
};

void TestRelTiming::lateRepliesReachNoBox()
{
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM43"));
    // Ticks 400 ms apart, replies 600 ms after their poll: each lands about half-way through the following tick.
    QVERIFY(sim.start({ "--baud", "115200", "--late-ms", "600", "--seed", "43" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.connectDirectly(115200, 43);
    QList<Shown> shown;
    for (int slave = 1; slave <= 16; ++slave) {
        connect(
            probe.DistanceEdits()[slave], &QLineEdit::textChanged, &probe.window(), [&, slave](const QString& text) {
                shown.append({ slave, text, bytesOfMemoLine(memoLines(probe).constLast()) });
            });
    }
    QTimer ticks;
    int tickCount = 0;
    connect(&ticks, &QTimer::timeout, &probe.window(), [&] {
        if (++tickCount > 20)
            ticks.stop();
        else
            probe.Timer1Timer();
    });
    ticks.start(400);
    QVERIFY(waitUntil([&] { return !ticks.isActive(); }, 60000));
    QTest::qWait(1000); // the last late reply

    // Each reply came in while the next slave was being polled: it is another slave's, and no box shows it.
    QVERIFY2(sim.replies().size() >= 5, qPrintable(QString::number(sim.replies().size())));
    QVERIFY2(shown.isEmpty(), qPrintable(shown.isEmpty() ? QString() : shown.front().text));
    for (QCheckBox* box : probe.LinkBoxes())
        QVERIFY(!box->isChecked());
    // Every reply the line carried is in the memo, one line each.
    QStringList sent;
    for (const LineRecord& reply : sim.replies())
        sent << memoLine(reply.bytes);
    QCOMPARE(memoLines(probe), sent);
}

void TestRelTiming::pauseInsideReplies_data()
{
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("split");
    // Well clear of 25 ms both ways: the simulator is a process of its own on a loaded machine, and its pause can
    // come out a few milliseconds long.
    QTest::newRow("5 ms: one frame") << 5 << false;
    QTest::newRow("60 ms: two frames") << 60 << true;
    QTest::newRow("200 ms: two frames") << 200 << true;
}

void TestRelTiming::pauseInsideReplies()
{
    QFETCH(int, gapMs);
    QFETCH(bool, split);
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM44"));
    QVERIFY(sim.start({ "--gap-ms", QString::number(gapMs), "--seed", "44" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.connectDirectly(9600, 44);
    checkAllBoxes(probe, true); // as if every slave had answered before

    // Seventeen polls, each once the previous reply is in: the seventeenth gives the verdict on slave 16.
    const int linesPerReply = split ? 2 : 1;
    for (int poll = 0; poll < 17; ++poll) {
        const int lines = memoLineCount(probe);
        probe.Timer1Timer();
        QVERIFY(waitUntil([&] { return memoLineCount(probe) == lines + linesPerReply; }, kFrameMs));
    }
    const QList<LineRecord> replies = sim.replies();
    QCOMPARE(replies.size(), 17);
    const QStringList memo = memoLines(probe);
    for (int i = 0; i < 17; ++i) {
        const QByteArray& reply = replies[i].bytes;
        const int slave = i % 16 + 1;
        if (split) {
            // The halves are logged as they came; neither is long enough to count as an answer.
            QCOMPARE(memo[2 * i], memoLine(reply.first(4)));
            QCOMPARE(memo[2 * i + 1], memoLine(reply.sliced(4)));
        } else {
            QCOMPARE(memo[i], memoLine(reply));
            if (i > 0) // slave 1 was polled again last
                QCOMPARE(probe.DistanceEdits()[slave]->text(), distanceText(bigEndian32(reply, 3)));
        }
    }
    for (int slave = 1; slave <= 16; ++slave) {
        QCheckBox* box = probe.LinkBoxes()[slave - 1];
        QCOMPARE(box->isChecked(), !split);
        QCOMPARE(box->isEnabled(), !split);
        if (split) QCOMPARE(probe.DistanceEdits()[slave]->text(), QString());
    }
}

QTEST_MAIN(TestRelTiming)
#include "tst_rel_timing.moc"
