// The adapter is pulled while the window polls: the line vanishes under an open port. The program must not crash,
// must not spin on the dead descriptor, must show one failure box at a time however often the tick fails, and must
// find the device again by disconnect and connect once the line is back under the same name.
#include "reliability_harness.h"

#include <QMessageBox>
#include <QtTest>

using namespace orvik;
using namespace orvik::reltest;

namespace {

constexpr int kTickMs = 100; // ten times faster than the shortest interval a user can set
constexpr int kQuietMs = 10000;

// Watches the default failure report from the moment the line is gone: how many boxes are up at once, their texts,
// and the CPU time of the next ten seconds. It ends the run itself, since the first box blocks the test's own code.
class LossWatch : public QObject {
public:
    LossWatch(SimLine& sim, QTimer& ticks)
        : m_sim(sim)
        , m_ticks(ticks)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { sample(); });
        m_timer.start(100);
    }

    bool done = false;
    int maxBoxes = 0;
    QStringList texts;
    qint64 cpuUsedMs = -1;
    qint64 wallMs = -1;

private:
    void sample()
    {
        if (!m_clock.isValid()) {
            if (!m_sim.finished()) return;
            m_clock.start();
            m_cpuAtLoss = cpuMs();
        }
        int boxes = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible()) continue;
            ++boxes;
            if (!texts.contains(box->text())) texts << box->text();
        }
        maxBoxes = std::max(maxBoxes, boxes);
        if (m_clock.elapsed() < kQuietMs) return;
        cpuUsedMs = cpuMs() - m_cpuAtLoss;
        wallMs = m_clock.elapsed();
        m_ticks.stop();
        m_timer.stop();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) box->done(QMessageBox::Ok);
        }
        done = true;
    }

    SimLine& m_sim;
    QTimer& m_ticks;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_cpuAtLoss = 0;
};

} // namespace

class TestRelUnplug : public QObject {
    Q_OBJECT

private slots:
    void pulledAdapterWhilePolling();
};

void TestRelUnplug::pulledAdapterWhilePolling()
{
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM46"));
    QVERIFY(sim.start({ "--exit-after", "5", "--seed", "46" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    probe.window().show();
    QVERIFY(chooseAndConnect(probe, sim.port()));

    // From here on failures go to the real report with its boxes, as in the shipped program.
    setFailureSink({});
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, &probe.window(), [&] { probe.Timer1Timer(); });
    ticks.start(kTickMs);
    LossWatch watch(sim, ticks);
    QVERIFY(waitUntil([&] { return watch.done; }, 60000));
    setFailureSink([&](const QString& text) { probe.failures << text; });

    qInfo("after the loss: %lld ms of CPU in %lld ms, at most %d box(es) at once: %s", watch.cpuUsedMs, watch.wallMs,
        watch.maxBoxes, qPrintable(watch.texts.join(QLatin1String(" | "))));
    QVERIFY2(watch.cpuUsedMs * 100 < watch.wallMs * 2, "more than 2 % of a core on a dead line");
    QCOMPARE(watch.maxBoxes, 1);
    QCOMPARE(watch.texts.size(), 1);
    QVERIFY2(watch.texts.front().contains(sim.port()), qPrintable(watch.texts.front()));
    // The replies that came before the loss were shown.
    QVERIFY(!probe.DistanceEdits()[1]->text().isEmpty());

    // The line comes back under the same name, as a new device: disconnect, list the ports again and connect find
    // it. Until that listing the name stands for the line that has gone.
    QVERIFY(sim.start({ "--seed", "47" }));
    QCOMPARE(probe.ui().Button1->text(), QStringLiteral("断开"));
    probe.Button1Click();
    QCOMPARE(probe.ui().Button1->text(), QStringLiteral("联机"));
    QVERIFY(probe.ui().ComboBox1->isEnabled());
    probe.ComboBox1DropDown();
    probe.ui().ComboBox1->setItemIndex(probe.ui().ComboBox1->findText(sim.port()));
    probe.DistanceEdits()[1]->clear();
    probe.Button1Click();
    QVERIFY(probe.DeviceFound());
    QCOMPARE(probe.ui().StatusBar1->panelText(0), QStringLiteral("联机成功"));
    QVERIFY(probe.messages.isEmpty());
    const int lines = memoLineCount(probe);
    probe.Timer1Timer();
    QVERIFY(waitUntil([&] { return memoLineCount(probe) == lines + 1; }, 5000));
    QVERIFY(!probe.DistanceEdits()[1]->text().isEmpty());
    QVERIFY(probe.failures.isEmpty());
}

QTEST_MAIN(TestRelUnplug)
#include "tst_rel_unplug.moc"
