// A noisy line: the simulator flips one bit in a share of the reply bytes. Over 500 polls every reply must reach the
// memo as it was on the line, and every distance the window shows must be one the simulator sent for that slave in
// an undamaged reply, never a damaged one.
#include "distance_text.h"
#include "reliability_harness.h"

#include <QtTest>

using namespace orvik;
using namespace orvik::reltest;

namespace {

constexpr int kPolls = 500;
constexpr int kReplyMs = 5000; // generous: a loaded machine under the sanitizers

// "distance 7 = 12345 (1.2345 m)" -> 12345 for slave 7.
std::optional<qint32> sentDistance(const LineRecord& reply, int slave)
{
    static const QRegularExpression note(QStringLiteral("\\Adistance (\\d+) = (-?\\d+) "));
    const QRegularExpressionMatch m = note.match(reply.note);
    if (!m.hasMatch() || m.captured(1).toInt() != slave) return std::nullopt;
    return m.captured(2).toInt();
}

} // namespace

class TestRelNoise : public QObject {
    Q_OBJECT

private slots:
    void noisyRepliesNeverShowAWrongDistance_data();
    void noisyRepliesNeverShowAWrongDistance();
};

void TestRelNoise::noisyRepliesNeverShowAWrongDistance_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("seed");
    QTest::newRow("1 % of bytes") << "0.01"
                                  << "101";
    QTest::newRow("5 % of bytes") << "0.05"
                                  << "105";
}

void TestRelNoise::noisyRepliesNeverShowAWrongDistance()
{
    QFETCH(QString, rate);
    QFETCH(QString, seed);
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM42"));
    QVERIFY(sim.start({ "--baud", "115200", "--noise", rate, "--seed", seed, "--turnaround-ms", "1" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    // The search is not under test here (noise can make it take any number of passes): straight to connected.
    probe.connectDirectly(115200, 42);

    // One poll at a time, the next as soon as the reply's frame has ended: the tick cannot overtake a reply.
    QStringList shown; // after each poll, the text of the polled slave's box
    for (int poll = 0; poll < kPolls; ++poll) {
        const int lines = memoLineCount(probe);
        probe.Timer1Timer();
        QVERIFY2(waitUntil([&] { return memoLineCount(probe) == lines + 1; }, kReplyMs),
            qPrintable(QStringLiteral("poll %1: no memo line for the reply").arg(poll)));
        shown << probe.DistanceEdits()[probe.CurrentSlave()]->text();
    }
    QVERIFY(probe.failures.isEmpty());

    // The memo holds every reply exactly as the simulator put it on the line, damage included.
    const QList<LineRecord> replies = sim.replies();
    QCOMPARE(replies.size(), kPolls);
    const QStringList memo = memoLines(probe);
    int damaged = 0;
    std::array<QString, 17> latest; // the text of the last undamaged distance per slave
    for (int poll = 0; poll < kPolls; ++poll) {
        const int slave = poll % 16 + 1;
        const LineRecord& reply = replies[poll];
        QCOMPARE(memo[poll], memoLine(reply.bytes));
        const std::optional<qint32> sent = sentDistance(reply, slave);
        QVERIFY2(sent, qPrintable(reply.note));
        if (crcValid(reply.bytes)) {
            // An undamaged reply carries the value the simulator meant.
            QCOMPARE(bigEndian32(reply.bytes, 3), *sent);
            latest[slave] = distanceText(*sent);
        } else {
            ++damaged;
        }
        QCOMPARE(shown[poll], latest[slave]);
    }
    // The noise did reach the line: at 1 % about 45 of 500 nine-byte replies are hit, at 5 % about 185.
    QVERIFY2(damaged >= 10, qPrintable(QStringLiteral("only %1 damaged replies").arg(damaged)));
    qInfo("%d polls, %d damaged replies, none shown", kPolls, damaged);
}

QTEST_MAIN(TestRelNoise)
#include "tst_rel_noise.moc"
