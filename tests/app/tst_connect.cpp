// Port discovery and the connect procedure with its baud-rate search, on a fake line with a scripted device.
#include "form_probe.h"
#include "scripted_device.h"

#include <QtTest>

using namespace orvik;

namespace {

const QString kConnect = QStringLiteral("联机");
const QString kDisconnect = QStringLiteral("断开");
const QString kOpenFailed = QStringLiteral("串口打开失败: 当前串口号被占用，获其它错误！");
const QString kNoDevice = QStringLiteral("通讯错误，请检查接线!");

QColor buttonColour(QWidget* button)
{
    return button->palette().color(QPalette::ButtonText);
}

// The rates at which the device-information read went out, in order.
QStringList ratesOfDeviceReads(FakeSerialControl* line)
{
    QStringList rates;
    QString rate;
    for (const QString& entry : line->log()) {
        if (entry.startsWith(QLatin1String("settings ")))
            rate = entry.mid(9).section(QLatin1Char(','), 0, 0);
        else if (entry == QLatin1String("write FF 03 00 11 00 06 80 13"))
            rates << rate;
    }
    return rates;
}

void choosePort(TForm1Probe& probe, int index = 0)
{
    probe.ComboBox1DropDown();
    probe.ui().ComboBox1->setItemIndex(index);
}

} // namespace

class TestConnect : public QObject {
    Q_OBJECT

private slots:
    void portListIsSortedAndRebuiltOnDropDown();
    void failedEnumerationKeepsLastList();
    void deviceFoundAtRate_data();
    void deviceFoundAtRate();
    void nothingConnected();
    void noPortChosen();
    void portThatRefusesToOpen();
    void portNameWithoutNumber();
    void disconnectWhileDataPageShown();
    void receiveHandlerRunsOnceAfterSeveralAttempts();
    void focusReturnsToButtonAfterSearch();
};

void TestConnect::portListIsSortedAndRebuiltOnDropDown()
{
    TForm1Probe probe({ "COM3", "COM1", "COM10", "COM2", "COM2" });
    QCOMPARE(probe.ui().ComboBox1->count(), 0);
    probe.ComboBox1DropDown();
    QStringList items;
    for (int i = 0; i < probe.ui().ComboBox1->count(); ++i)
        items << probe.ui().ComboBox1->itemText(i);
    QCOMPARE(items, QStringList({ "COM1", "COM10", "COM2", "COM2", "COM3" }));
    probe.ui().ComboBox1->setItemIndex(2);
    probe.setPorts({});
    probe.ComboBox1DropDown();
    QCOMPARE(probe.ui().ComboBox1->count(), 0);
    QCOMPARE(probe.ui().ComboBox1->itemIndex(), -1);
    QCOMPARE(probe.ui().ComboBox1->currentText(), QString());
}

void TestConnect::failedEnumerationKeepsLastList()
{
    TForm1Probe probe({ "COM5", "COM4" });
    probe.ComboBox1DropDown();
    probe.ui().ComboBox1->setItemIndex(1);
    probe.setEnumerationFails(true);
    probe.ComboBox1DropDown();
    QCOMPARE(probe.PortList(), QStringList({ "COM4", "COM5" }));
    QCOMPARE(probe.ui().ComboBox1->count(), 2);
    QCOMPARE(probe.ui().ComboBox1->itemIndex(), -1);
}

void TestConnect::deviceFoundAtRate_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QStringList>("reads");
    QTest::newRow("9600: the first two requests") << 9600 << QStringList({ "9600", "9600" });
    QTest::newRow("600: first pass") << 600 << QStringList({ "9600", "9600", "600", "600" });
    QTest::newRow("115200: last pass") << 115200
                                       << QStringList({ "9600", "9600", "600", "600", "1200", "1200", "2400", "2400",
                                              "4800", "4800", "9600", "9600", "19200", "19200", "38400", "38400",
                                              "57600", "57600", "115200", "115200" });
}

void TestConnect::deviceFoundAtRate()
{
    QFETCH(int, baud);
    QFETCH(QStringList, reads);
    TForm1Probe probe;
    ScriptedDevice device(probe.comm, baud);
    choosePort(probe);
    probe.Button1Click();

    QVERIFY(probe.DeviceFound());
    QCOMPARE(ratesOfDeviceReads(probe.comm), reads);
    QCOMPARE(probe.comm->commPort(), 3);
    auto& ui = probe.ui();
    QCOMPARE(ui.ComboBox2->currentText(), QString::number(baud));
    QVERIFY(ui.ComboBox2->isEnabled());
    QVERIFY(ui.BitBtn5->isEnabled());
    QVERIFY(!ui.ComboBox1->isEnabled());
    QCOMPARE(ui.Button1->text(), kDisconnect);
    QVERIFY(ui.Button1->isEnabled());
    QCOMPARE(buttonColour(ui.Button1), QColor(0, 128, 0));
    QCOMPARE(ui.StatusBar1->panelText(0), QStringLiteral("联机成功"));
    QCOMPARE(ui.Panel11->caption(), QStringLiteral("7"));
    QVERIFY(probe.comm->portOpen());
    QVERIFY(probe.messages.isEmpty());
    QVERIFY(probe.failures.isEmpty());
}

void TestConnect::nothingConnected()
{
    TForm1Probe probe;
    choosePort(probe);
    QElapsedTimer clock;
    clock.start();
    probe.Button1Click();
    // 2 s at 9600, then nine passes of 1.2 s.
    QVERIFY2(clock.elapsed() >= 12800, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(ratesOfDeviceReads(probe.comm).size(), 2 + 2 * 9);
    QCOMPARE(probe.messages, QStringList({ kNoDevice }));
    auto& ui = probe.ui();
    QCOMPARE(ui.Button1->text(), kConnect);
    QVERIFY(ui.Button1->isEnabled());
    QCOMPARE(buttonColour(ui.Button1), QColor(255, 0, 0));
    QVERIFY(!ui.ComboBox1->isEnabled());
    QVERIFY(!ui.ComboBox2->isEnabled());
    QCOMPARE(ui.ComboBox2->currentText(), QStringLiteral("115200"));
    QVERIFY(!ui.BitBtn5->isEnabled());
    QCOMPARE(ui.StatusBar1->panelText(0), QString());
    QVERIFY(!probe.comm->portOpen());
    QVERIFY(!probe.DeviceFound());
}

void TestConnect::noPortChosen()
{
    TForm1Probe probe;
    probe.ComboBox1DropDown();
    probe.Button1Click();
    QCOMPARE(probe.messages, QStringList({ QStringLiteral("你没有选择串口！") }));
    QVERIFY(probe.comm->written().isEmpty());
    QVERIFY(probe.ui().ComboBox1->isEnabled());
    QCOMPARE(probe.ui().Button1->text(), kConnect);
}

void TestConnect::portThatRefusesToOpen()
{
    TForm1Probe probe;
    probe.comm->setRefuseOpen(true);
    choosePort(probe);
    probe.Button1Click();
    // The open fails, then the first send on the closed port ends the handler through the default report.
    QCOMPARE(probe.messages, QStringList({ kOpenFailed }));
    QCOMPARE(probe.failures.size(), 1);
    QVERIFY(probe.failures.first().endsWith(QLatin1Char('.')));
    QVERIFY(probe.comm->written().isEmpty());
    QCOMPARE(probe.ui().Button1->text(), kConnect);
    QVERIFY(probe.ui().Button1->isEnabled());
    QVERIFY(!probe.ui().ComboBox1->isEnabled());
}

void TestConnect::portNameWithoutNumber()
{
    TForm1Probe probe({ "COM", "COMx1" });
    for (int index : { 0, 1 }) {
        probe.failures.clear();
        choosePort(probe, index);
        const QString tail = probe.ui().ComboBox1->itemText(index).mid(3);
        probe.Button1Click();
        QCOMPARE(probe.failures, QStringList({ QStringLiteral("'%1' is not a valid integer value.").arg(tail) }));
        QVERIFY(!probe.ui().ComboBox2->isEnabled());
        QVERIFY(probe.ui().ComboBox1->isEnabled());
        QVERIFY(probe.comm->written().isEmpty());
    }
}

void TestConnect::disconnectWhileDataPageShown()
{
    TForm1Probe probe;
    ScriptedDevice device(probe.comm, 9600);
    choosePort(probe);
    probe.Button1Click();
    QVERIFY(probe.DeviceFound());
    probe.ui().PageControl1->setActivePageIndex(1);
    probe.PageControl1Change();
    QVERIFY(probe.ui().Timer1->isActive());
    probe.Button1Click();
    auto& ui = probe.ui();
    QCOMPARE(ui.Button1->text(), kConnect);
    QCOMPARE(buttonColour(ui.Button1), QColor(0, 128, 0));
    QVERIFY(ui.ComboBox1->isEnabled());
    QVERIFY(!ui.ComboBox2->isEnabled());
    QVERIFY(!ui.BitBtn5->isEnabled());
    QVERIFY(!probe.DeviceFound());
    QVERIFY(!probe.comm->portOpen());
    QVERIFY(ui.Timer1->isActive());
    const auto sent = probe.comm->written().size();
    probe.Timer1Timer();
    QCOMPARE(probe.comm->written().size(), sent);
    QVERIFY(probe.failures.isEmpty());
}

void TestConnect::receiveHandlerRunsOnceAfterSeveralAttempts()
{
    TForm1Probe probe;
    ScriptedDevice device(probe.comm, 9600);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) probe.Button1Click(); // disconnect
        choosePort(probe);
        probe.Button1Click();
        QVERIFY(probe.DeviceFound());
    }
    probe.comm->deliver(hexBytes("01 02 03"));
    QCOMPARE(probe.RxCount(), 3);
}

void TestConnect::focusReturnsToButtonAfterSearch()
{
    TForm1Probe probe;
    ScriptedDevice device(probe.comm, 9600);
    probe.window().show();
    QVERIFY(QTest::qWaitForWindowActive(&probe.window()));
    choosePort(probe);
    probe.ui().Button1->setFocus();
    probe.Button1Click();
    QVERIFY(probe.DeviceFound());
    QCOMPARE(QApplication::focusWidget(), probe.ui().Button1);
    QCOMPARE(probe.ui().Timer2->timerType(), Qt::PreciseTimer);
}

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
