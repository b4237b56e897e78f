// The baud-rate search on a misbehaving line. Bytes at a wrong rate come out as garbage, a long pause inside the
// reply splits it, and an adapter that echoes the request puts the program's own frame on the line. A device counts as
// found on a reply with a valid CRC to the device-information read, and on nothing else.
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
    void echoOfTheRequestIsNotAReply();
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

// Behind an adapter that echoes, the program's own request comes back first: it is logged and taken for nothing, so
// the search goes on to the rate the device answers at, and a poll shows only what its slave sends.
void TestRelSearch::echoOfTheRequestIsNotAReply()
{
    PortsFolder ports;
    SimLine sim(ports.path(), QStringLiteral("COM52"));
    QVERIFY(sim.start({ "--echo", "--baud", "115200", "--phys", "33", "--slaves", "1,2", "--distance", "fixed:1234",
        "--seed", "52" }));
    TForm1Probe probe { TForm1Probe::RealLine {} };
    QVERIFY(chooseAndConnect(probe, sim.port()));
    QCOMPARE(probe.ui().ComboBox2->currentText(), QStringLiteral("115200"));
    QCOMPARE(probe.ui().Panel11->caption(), QStringLiteral("33"));
    QVERIFY(memoLines(probe).count(kRequestEcho) >= 2);

    for (int slave = 1; slave <= 3; ++slave) {
        const int lines = memoLineCount(probe);
        probe.Timer1Timer();
        QVERIFY(waitUntil([&] { return memoLineCount(probe) > lines; }, 5000));
        QTest::qWait(100);
    }
    QCOMPARE(probe.DistanceEdits()[2]->text(), QStringLiteral("1.234"));
    QVERIFY(probe.LinkBoxes()[1]->isChecked());
    QCOMPARE(probe.DistanceEdits()[3]->text(), QString()); // slave 3 is absent: its echo shows nothing
    probe.Timer1Timer();
    QVERIFY(!probe.LinkBoxes()[2]->isChecked());
}

QTEST_MAIN(TestRelSearch)
#include "tst_rel_search.moc"
