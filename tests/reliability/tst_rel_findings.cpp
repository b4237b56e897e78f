// Faults the fuzz targets and the line scenarios turned up, each pinned as the smallest case that shows it.
#include "form_probe.h"
#include "serial_settings.h"

#include <QtTest>

using namespace orvik;

class TestRelFindings : public QObject {
    Q_OBJECT

private slots:
    void parityIsOneOfFiveAsciiLetters_data();
    void parityIsOneOfFiveAsciiLetters();
    void emptyFrameKeepsItsMemoLine();
};

void TestRelFindings::parityIsOneOfFiveAsciiLetters_data()
{
    QTest::addColumn<QString>("text");
    // Letters whose upper case is an ASCII parity letter without being one.
    QTest::newRow("long s") << QStringLiteral("9600,\u017F,8,1");
    QTest::newRow("dotless i") << QStringLiteral("9600,\u0131,8,1");
    QTest::newRow("full-width N") << QStringLiteral("9600,\uFF2E,8,1");
}

void TestRelFindings::parityIsOneOfFiveAsciiLetters()
{
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(SerialError, parseSettings(text));
}

// Every frame is one memo line, the empty one included, also when the memo was empty before it.
void TestRelFindings::emptyFrameKeepsItsMemoLine()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.comm->deliverEvent(kComEvReceive); // a receive event with nothing waiting
    probe.Timer2Timer();
    probe.receiveFrame(hexBytes("01 02 03"));
    QCOMPARE(probe.ui().Memo1->lines().size(), 2);
    QCOMPARE(probe.ui().Memo1->toPlainText(), QStringLiteral("\n01 02 03 "));
}

QTEST_MAIN(TestRelFindings)
#include "tst_rel_findings.moc"
