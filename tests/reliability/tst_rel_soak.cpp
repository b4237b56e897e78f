// A long run: the shown window polls sixteen slaves 1800 times, half an hour at one poll a second, with each poll
// sent as soon as the previous reply's frame has ended. The memo keeps every line by design, so it is emptied every
// 100 polls; apart from it the process must not grow.
#include "distance_text.h"
#include "reliability_harness.h"

#include <QtTest>

using namespace orvik;
using namespace orvik::reltest;

// Under AddressSanitizer freed blocks wait in a quarantine of up to 256 MiB before reuse, which looks like steady
// growth to a resident-memory probe. Use-after-free is the other tests' business; here blocks are reused at once.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
}

namespace {

constexpr int kPolls = 1800;
constexpr int kSampleEvery = 100;
constexpr int kWarmUpSamples = 3; // fonts, caches and the line buffers settle during the first few hundred polls
constexpr qint64 kMarginKb = 1536; // catches a leak of about 1 KiB per poll; the run itself drifts by some 200 KiB

} // namespace

class TestRelSoak : public QObject {
    Q_OBJECT

private slots:
    void halfAnHourOfPolling();
};

void TestRelSoak::halfAnHourOfPolling()
{
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM56"));
    QVERIFY(sim.start({ "--baud", "115200", "--turnaround-ms", "0", "--seed", "56" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.window().show();
    probe.connectDirectly(115200, 56);
    probe.ui().PageControl1->setActivePageIndex(1); // the data page on screen; the test drives the ticks itself

    QList<qint64> rss;
    QElapsedTimer clock;
    clock.start();
    for (int poll = 1; poll <= kPolls; ++poll) {
        const int lines = memoLineCount(probe);
        probe.Timer1Timer();
        QVERIFY2(waitUntil([&] { return memoLineCount(probe) == lines + 1; }, 5000),
            qPrintable(QStringLiteral("poll %1: no reply").arg(poll)));
        if (poll % kSampleEvery == 0) {
            probe.ui().Memo1->clear();
            QCoreApplication::processEvents();
            rss << rssKb();
        }
    }
    const qint64 elapsed = clock.elapsed();
    QStringList samples;
    for (qint64 kb : rss)
        samples << QString::number(kb / 1024.0, 'f', 1);
    qInfo("%d polls in %lld ms; VmRSS every %d polls (MiB): %s", kPolls, elapsed, kSampleEvery,
        qPrintable(samples.join(QLatin1Char(' '))));

    // Every slave answered on every round and shows its latest distance.
    const QList<LineRecord> replies = sim.replies();
    QCOMPARE(replies.size(), kPolls);
    for (int slave = 1; slave <= 16; ++slave) {
        // Poll i (from 0) asked slave i % 16 + 1.
        const LineRecord& last = replies[kPolls - 1 - (kPolls - slave) % 16];
        QCOMPARE(probe.DistanceEdits()[slave]->text(), distanceText(bigEndian32(last.bytes, 3)));
        QVERIFY(probe.LinkBoxes()[slave - 1]->isChecked());
    }
    QVERIFY(probe.failures.isEmpty());

    const qint64 settled = rss[kWarmUpSamples - 1];
    const qint64 highest = *std::max_element(rss.begin() + kWarmUpSamples, rss.end());
    QVERIFY2(highest - settled <= kMarginKb,
        qPrintable(QStringLiteral("grew by %1 KiB after warm-up").arg(highest - settled)));
}

QTEST_MAIN(TestRelSoak)
#include "tst_rel_soak.moc"
