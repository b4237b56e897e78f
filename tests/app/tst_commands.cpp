// Device commands, the polling cycle and the numeric entry filters, on a fake line.
#include "form_probe.h"
#include "scripted_device.h"

#include <QClipboard>
#include <QtTest>

using namespace orvik;

namespace {

QStringList writtenHex(FakeSerialControl* line)
{
    QStringList frames;
    for (const QByteArray& frame : line->written())
        frames << wireHex(frame);
    return frames;
}

QString pollOf(int slave)
{
    return wireHex(
        test::withCrc(QByteArray::fromHex(QByteArray::number(slave, 16).rightJustified(2, '0') + "0300150002")));
}

// Types text as key presses; characters without a key of their own arrive as an input method would deliver them.
void typeText(QWidget* target, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(target, char(c.unicode()));
        } else {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(target, &press);
            QApplication::sendEvent(target, &release);
        }
    }
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void commandFrames_data();
    void commandFrames();
    void nothingSentWhileNotConnected();
    void writeParametersSpacedHalfASecond();
    void writeParametersStopsAtBadDelay();
    void baudChangeMovesThePort();
    void pollingTwoCyclesWithSilentSlaves();
    void firstTickAfterConnectAndWrapAround();
    void commandRestartsPollingAtSlaveOne();
    void pollingIntervalFromEdit17_data();
    void pollingIntervalFromEdit17();
    void filtersKeepDigitsAndBackspace_data();
    void filtersKeepDigitsAndBackspace();
    void enterMovesFocus_data();
    void enterMovesFocus();
    void closingDuringWaitEndsHandler();
};

void TestCommands::commandFrames_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("frame");
    QTest::newRow("read device information") << "BitBtn6"
                                             << "FF 03 00 11 00 06 80 13";
    QTest::newRow("single measurement") << "Button3"
                                        << "FF 06 00 10 00 01 5C 11";
    QTest::newRow("calibration") << "BitBtn1"
                                 << "FF 06 00 58 00 0B 5C 00";
    QTest::newRow("power") << "BitBtn2"
                           << wireHex(test::withCrc(QByteArray::fromHex("FF060058"
                                                                        "0016")));
    QTest::newRow("save") << "BitBtn4"
                          << wireHex(test::withCrc(QByteArray::fromHex("FF060058"
                                                                       "0021")));
}

void TestCommands::commandFrames()
{
    QFETCH(QString, command);
    QFETCH(QString, frame);
    TForm1Probe probe;
    probe.connectDirectly();
    probe.CurrentSlave() = 7;
    if (command == "BitBtn6")
        probe.BitBtn6Click();
    else if (command == "Button3")
        probe.Button3Click();
    else if (command == "BitBtn1")
        probe.BitBtn1Click();
    else if (command == "BitBtn2")
        probe.BitBtn2Click();
    else
        probe.BitBtn4Click();
    QCOMPARE(writtenHex(probe.comm), QStringList({ frame }));
    QCOMPARE(probe.CurrentSlave(), quint8(255));
    QVERIFY(!probe.ReplySeen());
    QCOMPARE(int(probe.LastRegister()), QByteArray::fromHex(frame.toLatin1().replace(' ', "")).at(3) & 0xFF);
}

void TestCommands::nothingSentWhileNotConnected()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.DeviceFound() = false;
    probe.BitBtn6Click();
    probe.Button3Click();
    probe.Button2Click();
    probe.BitBtn5Click();
    probe.BitBtn1Click();
    probe.BitBtn2Click();
    probe.BitBtn4Click();
    probe.Timer1Timer();
    QVERIFY(probe.comm->written().isEmpty());
    QVERIFY(probe.failures.isEmpty());
}

void TestCommands::writeParametersSpacedHalfASecond()
{
    TForm1Probe probe;
    probe.connectDirectly();
    QList<qint64> at;
    QElapsedTimer clock;
    clock.start();
    probe.comm->onWrite = [&](const QByteArray&) { at << clock.elapsed(); };
    probe.Button2Click(); // "延时测量", delay 5, address 1 from the start-up state
    QCOMPARE(writtenHex(probe.comm),
        QStringList({ wireHex(test::withCrc(QByteArray::fromHex("FF0600110003"))),
            wireHex(test::withCrc(QByteArray::fromHex("FF0600130005"))),
            wireHex(test::withCrc(QByteArray::fromHex("FF0600140001"))) }));
    QCOMPARE(at.size(), 3);
    QVERIFY(at[1] - at[0] >= 500);
    QVERIFY(at[2] - at[1] >= 500);
    QVERIFY(clock.elapsed() >= 1500);
}

void TestCommands::writeParametersStopsAtBadDelay()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.ui().Edit2->setText(QString());
    probe.Button2Click();
    QCOMPARE(probe.comm->written().size(), 1); // the working mode was already on its way
    QCOMPARE(probe.failures, QStringList({ QStringLiteral("'' is not a valid integer value.") }));
}

void TestCommands::baudChangeMovesThePort()
{
    TForm1Probe probe;
    ScriptedDevice device(probe.comm, 9600);
    probe.connectDirectly(9600);
    probe.ui().ComboBox2->setItemIndex(8); // "115200"
    probe.BitBtn5Click();
    QCOMPARE(wireHex(probe.comm->written().first()), wireHex(test::withCrc(QByteArray::fromHex("FF060018C200"))));
    QCOMPARE(probe.comm->currentBaud(), 115200);
    QVERIFY(probe.comm->portOpen());
    QCOMPARE(probe.ui().StatusBar1->panelText(0), QStringLiteral("波特率更新成功！"));
    // Polling goes on at the new rate.
    probe.Timer1Timer();
    QTRY_COMPARE_WITH_TIMEOUT(probe.DistanceEdits()[1]->text(), QStringLiteral("1.123"), 5000);
}

void TestCommands::pollingTwoCyclesWithSilentSlaves()
{
    TForm1Probe probe;
    ScriptedDevice device(probe.comm, 9600);
    device.silentSlaves = { 3, 5 };
    probe.connectDirectly();
    QStringList polls;
    for (int tick = 0; tick < 33; ++tick) {
        probe.Timer1Timer();
        polls << wireHex(probe.comm->written().last());
        QTRY_VERIFY_WITH_TIMEOUT(probe.ReplySeen() || device.silentSlaves.contains(probe.CurrentSlave()), 5000);
        QTest::qWait(40); // past the end-of-frame silence
    }
    for (int tick = 0; tick < 33; ++tick)
        QCOMPARE(polls[tick], pollOf(tick % 16 + 1));
    for (int n = 1; n <= 16; ++n) {
        const bool answers = n != 3 && n != 5;
        QCOMPARE(probe.LinkBoxes()[n - 1]->isChecked(), answers);
        QCOMPARE(probe.LinkBoxes()[n - 1]->isEnabled(), answers);
        QCOMPARE(probe.DistanceEdits()[n]->text(),
            answers ? QString::number(device.distanceOf(n) / 10000.0, 'f', 3) : QString());
    }
}

void TestCommands::firstTickAfterConnectAndWrapAround()
{
    TForm1Probe probe;
    probe.connectDirectly();
    QCOMPARE(probe.CurrentSlave(), quint8(255));
    probe.Timer1Timer();
    QCOMPARE(wireHex(probe.comm->written().last()), QStringLiteral("01 03 00 15 00 02 D5 CF"));
    for (int box = 0; box < 16; ++box)
        QVERIFY(!probe.LinkBoxes()[box]->isChecked());
    // Slave 16 answered: the next tick polls slave 1 and clears nothing.
    probe.CurrentSlave() = 16;
    probe.ReplySeen() = true;
    probe.LinkBoxes()[15]->setEnabled(true);
    probe.LinkBoxes()[15]->setChecked(true);
    probe.Timer1Timer();
    QCOMPARE(wireHex(probe.comm->written().last()), QStringLiteral("01 03 00 15 00 02 D5 CF"));
    QVERIFY(probe.LinkBoxes()[15]->isChecked());
    // Slave 1 stays silent: the tick that polls slave 2 clears box 1.
    probe.LinkBoxes()[0]->setEnabled(true);
    probe.LinkBoxes()[0]->setChecked(true);
    probe.Timer1Timer();
    QVERIFY(!probe.LinkBoxes()[0]->isChecked());
    QVERIFY(!probe.LinkBoxes()[0]->isEnabled());
}

void TestCommands::commandRestartsPollingAtSlaveOne()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.ui().Edit17->setText(QStringLiteral("3"));
    probe.ui().PageControl1->setActivePageIndex(1);
    probe.PageControl1Change();
    probe.Timer1Timer();
    probe.Timer1Timer();
    QCOMPARE(probe.CurrentSlave(), quint8(2));
    probe.ui().PageControl1->setActivePageIndex(0);
    probe.PageControl1Change();
    QVERIFY(!probe.ui().Timer1->isActive());
    probe.ui().PageControl1->setActivePageIndex(1);
    probe.PageControl1Change();
    probe.Timer1Timer();
    QCOMPARE(probe.CurrentSlave(), quint8(3)); // continues where it stood
    probe.Button3Click();
    probe.Timer1Timer();
    QCOMPARE(wireHex(probe.comm->written().last()), QStringLiteral("01 03 00 15 00 02 D5 CF"));
}

void TestCommands::pollingIntervalFromEdit17_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ticking");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("failures");
    QTest::newRow("5 s") << "5" << true << 5000 << 0;
    QTest::newRow("99 s, outside the arrows' range") << "99" << true << 99000 << 0;
    QTest::newRow("0 never ticks") << "0" << false << 0 << 0;
    QTest::newRow("negative never ticks") << "-5" << false << 0 << 0;
    QTest::newRow("too large is held at the longest") << "2147483647" << true << std::numeric_limits<int>::max() << 0;
    QTest::newRow("empty fails") << "" << true << 4000 << 1;
    QTest::newRow("not a number fails") << "1e3" << true << 4000 << 1;
}

void TestCommands::pollingIntervalFromEdit17()
{
    QFETCH(QString, text);
    QFETCH(bool, ticking);
    QFETCH(int, interval);
    QFETCH(int, failures);
    TForm1Probe probe;
    auto& ui = probe.ui();
    ui.Timer1->start(4000); // a failed conversion keeps the timer as it was
    ui.Edit17->setText(text);
    ui.PageControl1->setActivePageIndex(1);
    probe.PageControl1Change();
    QCOMPARE(probe.failures.size(), failures);
    QCOMPARE(ui.Timer1->isActive(), ticking);
    if (ticking) QCOMPARE(ui.Timer1->interval(), interval);
}

void TestCommands::filtersKeepDigitsAndBackspace_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("full stop swallowed") << "Edit2"
                                         << "1.5"
                                         << "15";
    QTest::newRow("minus swallowed") << "Edit17"
                                     << "-3"
                                     << "3";
    QTest::newRow("letters, blank, plus, comma") << "Edit1"
                                                 << "a1 +2,b"
                                                 << "12";
    QTest::newRow("chinese swallowed") << "Edit2" << QStringLiteral("4秒2") << "42";
    QTest::newRow("escape swallowed") << "Edit17"
                                      << "7\x1b"
                                      << "7";
}

void TestCommands::filtersKeepDigitsAndBackspace()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    TForm1Probe probe;
    probe.window().show();
    auto* edit = probe.window().findChild<QLineEdit*>(field);
    QVERIFY(edit);
    edit->clear();
    edit->setFocus();
    typeText(edit, typed);
    QCOMPARE(edit->text(), result);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), result.left(result.size() - 1));
    // Ctrl+V types character 22, which is swallowed: nothing is pasted.
    QGuiApplication::clipboard()->setText(QStringLiteral("abc"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), result.left(result.size() - 1));
    // The arrow keys still step the up-down.
    edit->setText(QStringLiteral("7"));
    QTest::keyClick(edit, Qt::Key_Up);
    QCOMPARE(edit->text(), QStringLiteral("8"));
}

void TestCommands::enterMovesFocus_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("connecting");
    QTest::addColumn<QString>("next");
    QTest::newRow("Edit17 at start") << "Edit17" << false << "ComboBox1";
    QTest::newRow("Edit1 at start") << "Edit1" << false << "ComboBox3";
    QTest::newRow("Edit2 passes the hidden buttons") << "Edit2" << false << "BitBtn6";
    QTest::newRow("Edit17 while the search runs") << "Edit17" << true << "Edit1";
}

void TestCommands::enterMovesFocus()
{
    QFETCH(QString, field);
    QFETCH(bool, connecting);
    QFETCH(QString, next);
    TForm1Probe probe;
    probe.window().show();
    QVERIFY(QTest::qWaitForWindowActive(&probe.window()));
    if (connecting) {
        probe.ui().ComboBox1->setEnabled(false);
        probe.ui().Button1->setEnabled(false);
    }
    auto* edit = probe.window().findChild<QLineEdit*>(field);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), next);
}

void TestCommands::closingDuringWaitEndsHandler()
{
    TForm1Probe probe;
    probe.window().show();
    probe.connectDirectly();
    QTimer::singleShot(150, &probe.window(), [&] { probe.window().close(); });
    QElapsedTimer clock;
    clock.start();
    probe.Button2Click();
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(probe.comm->written().size(), 1);
    QVERIFY(!probe.comm->portOpen());
    QVERIFY(probe.failures.isEmpty());
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
