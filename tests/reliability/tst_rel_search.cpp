// The baud-rate search on a misbehaving line. Bytes at a wrong rate come out as garbage, a long pause inside the
// reply splits it, and an adapter that echoes the request puts the program's own frame on the line. A device counts as
// found on a valid reply from address 255 to the device-information read, and on nothing else.
#include "reliability_harness.h"

#include <QtTest>

using namespace orvik;
using namespace orvik::reltest;

namespace {

const QString kNoDevice = QStringLiteral("通讯错误，请检查接线!");
const QString kRequestEcho = QStringLiteral("FF 03 00 11 00 06 80 13 ");

// Notes, every 10 ms while the search runs, the rate on show whenever the device counts as found.
class FoundWatch : public QObject {
public:
    explicit FoundWatch(TForm1Probe& probe)
    {
        connect(&m_timer, &QTimer::timeout, this, [this, &probe] {
            if (probe.DeviceFound()) ratesWhenFound.insert(probe.ui().ComboBox2->currentText());
        });
        m_timer.start(10);
    }
    QSet<QString> ratesWhenFound;

private:
    QTimer m_timer;
};

} // namespace

class TestRelSearch : public QObject {
    Q_OBJECT

private slots:
    void pauseInsideTheReply_data();
    void pauseInsideTheReply();
    void garbageAtWrongRatesIsNeverADevice();
    void echoedRequestsAreOnlyLogged();
};

void TestRelSearch::pauseInsideTheReply_data()
{
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("found");
    QTest::newRow("10 ms: found at 9600") << 10 << true;
    // The search waits in slices of 100 ms and looks at the line only between them: a shorter pause is not seen.
    QTest::newRow("60 ms: inside one wait slice, found") << 60 << true;
    QTest::newRow("300 ms: across wait slices, never found") << 300 << false;
}

void TestRelSearch::pauseInsideTheReply()
{
    QFETCH(int, gapMs);
    QFETCH(bool, found);
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM50"));
    QVERIFY(sim.start({ "--gap-ms", QString::number(gapMs), "--phys", "33", "--seed", "50" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    QCOMPARE(chooseAndConnect(probe, sim.port()), found);
    if (found) {
        QCOMPARE(probe.ui().ComboBox2->currentText(), QStringLiteral("9600"));
        QCOMPARE(probe.ui().Panel11->caption(), QStringLiteral("33"));
        QVERIFY(probe.messages.isEmpty());
        return;
    }
    // Every reply came in two halves, each logged on its own line, each failing its CRC.
    QCOMPARE(probe.messages, QStringList { kNoDevice });
    QCOMPARE(probe.ui().Button1->text(), QStringLiteral("联机"));
    QVERIFY(!probe.ui().ComboBox1->isEnabled());
    const QList<LineRecord> replies = sim.replies();
    QCOMPARE(replies.size(), 4); // two tries at 9600 first, and two more when the list comes to 9600
    QStringList halves;
    for (const LineRecord& reply : replies)
        halves << memoLine(reply.bytes.first(8)) << memoLine(reply.bytes.sliced(8));
    QCOMPARE(memoLines(probe), halves);
    QVERIFY(probe.failures.isEmpty());
}

void TestRelSearch::garbageAtWrongRatesIsNeverADevice()
{
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM51"));
    QVERIFY(sim.start({ "--baud", "115200", "--garbage-on-mismatch", "--phys", "42", "--seed", "51" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    FoundWatch watch(probe);
    QVERIFY(chooseAndConnect(probe, sim.port()));
    QCOMPARE(probe.ui().ComboBox2->currentText(), QStringLiteral("115200"));
    QCOMPARE(probe.ui().Panel11->caption(), QStringLiteral("42"));
    QCOMPARE(watch.ratesWhenFound, QSet<QString> { QStringLiteral("115200") });
    // Two garbage answers at each of the nine wrong tries, every one of them in the memo.
    const QList<LineRecord> replies = sim.replies();
    QStringList garbage;
    for (const LineRecord& reply : replies) {
        if (reply.note.startsWith(QLatin1String("garbage"))) garbage << memoLine(reply.bytes);
    }
    QCOMPARE(garbage.size(), 18);
    QStringList memo = memoLines(probe);
    QCOMPARE(memo.mid(0, 18), garbage);
    QVERIFY(probe.messages.isEmpty() && probe.failures.isEmpty());
}

// Behind an echoing adapter every request comes back byte for byte before its answer. The echo is logged and
// otherwise ignored: the search goes on to the device's own rate, the fields hold the device's values, and each poll
// shows the slave's own distance.
void TestRelSearch::echoedRequestsAreOnlyLogged()
{
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM52"));
    QVERIFY(sim.start({ "--echo", "--baud", "115200", "--phys", "33", "--distance", "fixed:1234.5", "--seed", "52" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    QVERIFY(chooseAndConnect(probe, sim.port()));
    QCOMPARE(memoLines(probe).first(), kRequestEcho); // the echo at 9600, logged as received
    QCOMPARE(probe.ui().ComboBox2->currentText(), QStringLiteral("115200"));
    QCOMPARE(probe.ui().Panel11->caption(), QStringLiteral("33"));

    for (int slave = 1; slave <= 9; ++slave) {
        const int lines = memoLineCount(probe);
        probe.Timer1Timer();
        QVERIFY(waitUntil([&] { return memoLineCount(probe) > lines; }, 5000));
    }
    QVERIFY(waitUntil([&] { return probe.DistanceEdits()[9]->text() == QStringLiteral("1.235"); }, 5000));
    QVERIFY(probe.LinkBoxes()[8]->isChecked());
}

QTEST_MAIN(TestRelSearch)
#include "tst_rel_search.moc"
