// Start-up state, the message-pumping wait and the default failure report.
#include "form_probe.h"

#include <QtTest>

using namespace orvik;

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void startUpState();
    void serialControlConfiguredAndClosed();
    void waitSlices_data();
    void waitSlices();
    void replyDecodedWhileWaiting();
    void failureReportAddsFullStop_data();
    void failureReportAddsFullStop();
    void escapingFailureKeepsProgramRunning();
};

void TestStartup::startUpState()
{
    TForm1Probe probe;
    auto& ui = probe.ui();
    QVERIFY(!ui.Timer1->isActive());
    QVERIFY(!ui.Timer2->isActive());
    QCOMPARE(ui.ComboBox2->currentText(), QStringLiteral("600"));
    QCOMPARE(ui.ComboBox2->itemIndex(), 0);
    QVERIFY(!ui.ComboBox2->isEnabled());
    QCOMPARE(ui.Button1->text(), QStringLiteral("联机"));
    QCOMPARE(ui.Button1->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
    for (QWidget* hidden :
        { static_cast<QWidget*>(ui.BitBtn1), static_cast<QWidget*>(ui.BitBtn2), static_cast<QWidget*>(ui.BitBtn4) })
        QVERIFY(hidden->isHidden());
    QCOMPARE(ui.PageControl1->activePageIndex(), 0);
    QCOMPARE(ui.Memo1->toPlainText(), QString());
    QCOMPARE(ui.ComboBox1->count(), 0);
    QVERIFY(!probe.DeviceFound());
    QCOMPARE(probe.CurrentSlave(), quint8(0));
    QCOMPARE(probe.RxText(), QString());
    QVERIFY(probe.PortList().isEmpty());
    QCOMPARE(probe.DistanceEdits()[0], nullptr);
    for (int n = 1; n <= 16; ++n) {
        QCOMPARE(probe.LinkBoxes()[n - 1]->parentWidget(), ui.Panel2);
        QVERIFY(!probe.LinkBoxes()[n - 1]->isEnabled());
        QVERIFY(!probe.LinkBoxes()[n - 1]->isChecked());
        QCOMPARE(probe.DistanceEdits()[n]->parentWidget(), ui.Panel2);
        QCOMPARE(probe.DistanceEdits()[n]->text(), QString());
    }
}

void TestStartup::serialControlConfiguredAndClosed()
{
    TForm1Probe probe;
    QCOMPARE(probe.comm->commPort(), 1);
    QCOMPARE(probe.comm->settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(!probe.comm->portOpen());
    QVERIFY(!probe.comm->hasOnComm());
}

void TestStartup::waitSlices_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("slices");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("negative") << -300 << 0;
    QTest::newRow("500") << 500 << 5;
    QTest::newRow("550") << 550 << 6;
}

void TestStartup::waitSlices()
{
    QFETCH(int, ms);
    QFETCH(int, slices);
    TForm1Probe probe;
    // A zero-interval timer fires once per pass of event processing: once per slice.
    int passes = 0;
    QTimer pass;
    pass.setInterval(0);
    connect(&pass, &QTimer::timeout, [&] { ++passes; });
    pass.start();
    QElapsedTimer clock;
    clock.start();
    probe.WaitMs(ms);
    QCOMPARE(passes, slices);
    QVERIFY(clock.elapsed() >= 100 * slices);
}

void TestStartup::replyDecodedWhileWaiting()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.DeviceFound() = false;
    probe.sendDeviceInfoRead();
    QTimer::singleShot(20, &probe.window(),
        [&] { probe.comm->deliver(hexBytes("01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8")); });
    probe.WaitMs(300);
    QVERIFY(probe.DeviceFound());
    QCOMPARE(probe.ui().Panel11->caption(), QStringLiteral("7"));
}

void TestStartup::failureReportAddsFullStop_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no full stop") << "the port is not open"
                                  << "the port is not open.";
    QTest::newRow("full stop kept") << "Done."
                                    << "Done.";
}

void TestStartup::failureReportAddsFullStop()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QStringList seen;
    setFailureSink([&](const QString& t) { seen << t; });
    guarded([&] { throw std::runtime_error(text.toStdString()); });
    setFailureSink({});
    QCOMPARE(seen, QStringList({ shown }));
}

void TestStartup::escapingFailureKeepsProgramRunning()
{
    TForm1Probe probe;
    probe.ui().Edit17->setText(QStringLiteral("abc"));
    probe.ui().PageControl1->setActivePageIndex(1);
    probe.PageControl1Change();
    QCOMPARE(probe.failures, QStringList({ QStringLiteral("'abc' is not a valid integer value.") }));
    // The send on a closed port is reported the same way.
    probe.DeviceFound() = true;
    probe.BitBtn6Click();
    QCOMPARE(probe.failures.size(), 2);
    QVERIFY(probe.failures.last().endsWith(QLatin1Char('.')));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
