// Bad text in every field a handler reads, arriving as a paste would (the key filters never see it): the polling
// interval, the delay time, the baud-rate text and the port chooser. Each must end in a clear report or in what the
// handler states for that value, with exactly the frames on the line that the handler sends before it stops.
#include "reliability_harness.h"

#include <QtTest>

using namespace orvik;
using namespace orvik::reltest;

namespace {

constexpr int kLineMs = 2000; // generous: a request reaches the simulator's log well within this

QString notANumber(const QString& text)
{
    return QStringLiteral("'%1' is not a valid integer value.").arg(text);
}

// A write of register `reg` to the broadcast address, with its CRC.
QByteArray writeFrame(quint8 reg, quint16 value)
{
    QByteArray frame = QByteArray::fromHex("FF0600");
    frame.append(static_cast<char>(reg));
    frame.append(static_cast<char>(value >> 8));
    frame.append(static_cast<char>(value & 0xFF));
    return withCrc(frame);
}

void addBadTexts()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number"); // a whole number within 32 bits
    QTest::newRow("empty") << "" << false;
    QTest::newRow("0") << "0" << true;
    QTest::newRow("-5") << "-5" << true;
    QTest::newRow("99999999999") << "99999999999" << false;
    QTest::newRow("1e3") << "1e3" << false;
    QTest::newRow("blank 7") << " 7" << false;
    QTest::newRow("Chinese seven") << QStringLiteral("七") << false;
    QTest::newRow("full-width 7") << QStringLiteral("７") << false;
}

} // namespace

class TestRelInput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void pollingInterval_data() { addBadTexts(); }
    void pollingInterval();
    void delayTime_data() { addBadTexts(); }
    void delayTime();
    void baudRateText_data() { addBadTexts(); }
    void baudRateText();
    void portChooser_data() { addBadTexts(); }
    void portChooser();

private:
    QList<QByteArray> heardSinceStart();

    std::unique_ptr<PortsFolder> m_ports;
    std::unique_ptr<SimLine> m_sim;
    std::unique_ptr<TForm1Probe> m_probe;
    qsizetype m_heardBefore = 0;
};

void TestRelInput::initTestCase()
{
    m_ports = std::make_unique<PortsFolder>();
    m_sim = std::make_unique<SimLine>(m_ports->path(), QStringLiteral("COM55"));
    QVERIFY(m_sim->start({ "--phys", "55", "--seed", "55" }));
}

void TestRelInput::cleanupTestCase()
{
    m_probe.reset();
    m_sim.reset();
}

// A fresh window, connected at the device's rate, for every row.
void TestRelInput::init()
{
    m_probe.reset();
    m_probe = std::make_unique<TForm1Probe>(TForm1Probe::RealLine {});
    m_probe->connectDirectly(9600, 55);
    m_heardBefore = m_sim->records(QStringLiteral("RX")).size();
}

QList<QByteArray> TestRelInput::heardSinceStart()
{
    QList<QByteArray> frames;
    for (const LineRecord& record : m_sim->records(QStringLiteral("RX")).mid(m_heardBefore))
        frames << record.bytes;
    return frames;
}

void TestRelInput::pollingInterval()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    TForm1Probe& probe = *m_probe;
    probe.ui().Edit17->setText(text);
    probe.ui().PageControl1->setActivePageIndex(1);
    probe.PageControl1Change();
    // A number of seconds of 0 or less never ticks; anything else is no number at all and is reported.
    QCOMPARE(probe.failures, number ? QStringList() : QStringList { notANumber(text) });
    QVERIFY(!probe.ui().Timer1->isActive());
    QTest::qWait(300);
    QVERIFY(heardSinceStart().isEmpty());
}

// The working mode goes out before the delay text is read: a text that is no number stops the command after it.
// A number goes out as its low 16 bits, so -5 writes 65531 seconds.
void TestRelInput::delayTime()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    TForm1Probe& probe = *m_probe;
    probe.ui().ComboBox3->setItemIndex(3);
    probe.ui().Edit1->setText(QStringLiteral("9"));
    probe.ui().Edit2->setText(text);
    probe.Button2Click();
    QList<QByteArray> expected { writeFrame(17, 3) };
    if (number) expected << writeFrame(19, static_cast<quint16>(text.toInt())) << writeFrame(20, 9);
    QVERIFY(waitUntil([&] { return heardSinceStart().size() >= expected.size(); }, kLineMs));
    QCOMPARE(heardSinceStart(), expected);
    QCOMPARE(probe.failures, number ? QStringList() : QStringList { notANumber(text) });
}

// The rate text is read before anything is sent. A number that is no rate is written; the device refuses it with an
// exception reply, which is only logged, and the line stays at its rate.
void TestRelInput::baudRateText()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    TForm1Probe& probe = *m_probe;
    probe.ui().ComboBox2->setEditText(text);
    probe.BitBtn5Click();
    QCOMPARE(probe.failures, number ? QStringList() : QStringList { notANumber(text) });
    if (!number) {
        QTest::qWait(300);
        QVERIFY(heardSinceStart().isEmpty());
        return;
    }
    QCOMPARE(heardSinceStart(), QList<QByteArray> { writeFrame(24, static_cast<quint16>(text.toInt())) });
    QVERIFY(waitUntil([&] { return memoLineCount(probe) == 1; }, kLineMs));
    QCOMPARE(QByteArray::fromHex(memoLines(probe).front().toLatin1()).at(1), char(0x86)); // the write's exception reply
    QCOMPARE(probe.ui().StatusBar1->panelText(0), QString());
    // Still talking at 9600.
    probe.BitBtn6Click();
    QVERIFY(waitUntil([&] { return memoLineCount(probe) == 2; }, kLineMs));
    QCOMPARE(probe.ui().Panel11->caption(), QStringLiteral("55"));
}

// Text typed or pasted into the chooser selects no entry, whatever it says.
void TestRelInput::portChooser()
{
    QFETCH(QString, text);
    m_probe.reset();
    m_probe = std::make_unique<TForm1Probe>(TForm1Probe::RealLine {});
    TForm1Probe& probe = *m_probe;
    probe.ComboBox1DropDown();
    QVERIFY(probe.ui().ComboBox1->findText(m_sim->port()) >= 0);
    probe.ui().ComboBox1->setEditText(text);
    probe.Button1Click();
    QCOMPARE(probe.messages, QStringList { QStringLiteral("你没有选择串口！") });
    QVERIFY(probe.failures.isEmpty());
    QVERIFY(!probe.DeviceFound());
    QCOMPARE(probe.ui().Button1->text(), QStringLiteral("联机"));
    QVERIFY(probe.ui().ComboBox1->isEnabled());
    QTest::qWait(300);
    QVERIFY(heardSinceStart().isEmpty());
}

QTEST_MAIN(TestRelInput)
#include "tst_rel_input.moc"
