// Only the asked address's answer reaches the screen, a link the port cannot follow is shown lost, and the numeric
// fields let Tab and input methods through the window as any other field does.
#include "form_probe.h"
#include "scripted_device.h"

#include <QAccessible>
#include <QInputMethodEvent>
#include <QSignalSpy>
#include <QtTest>

using namespace orvik;

namespace {

const QString kInfoRead = QStringLiteral("FF 03 00 11 00 06 80 13");
const QString kInfoReply = QStringLiteral("01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8");
const QString kPoll4 = QStringLiteral("04 03 00 15 00 02 D5 9A");
const QString kDistance3 = QStringLiteral("03 03 04 00 00 30 39 0D E1");
const QString kDistance4 = QStringLiteral("04 03 04 00 00 30 39 7B 21");

} // namespace

class TestAnswersAndKeys : public QObject {
    Q_OBJECT

private slots:
    void onlyTheAskedAnswerCounts_data();
    void onlyTheAskedAnswerCounts();
    void baudConfirmationThePortCannotFollow_data();
    void baudConfirmationThePortCannotFollow();
    void failedEndOfFrameStepFiresOnce();
    void tabLeavesNumericFields_data();
    void tabLeavesNumericFields();
    void inputMethodTextIsFiltered();
    void focusStaysWhereTheUserPutItDuringSearch();
    void slaveStatistics_data();
    void slaveStatistics();
    void commandEndsTheWaitingPoll();
    void statisticsResetAtConnect();
};

// Each row sends one request, then delivers frames, each closed by silence.
void TestAnswersAndKeys::onlyTheAskedAnswerCounts_data()
{
    QTest::addColumn<bool>("poll"); // poll slave 4, else the device-information read
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<bool>("replySeen");
    QTest::addColumn<QString>("shown"); // slave 4's distance, or the physical address after a device read
    // clang-format off
    QTest::newRow("read echo alone") << false << QStringList { kInfoRead } << false << "";
    QTest::newRow("read echo, then the device") << false << QStringList { kInfoRead, kInfoReply } << true << "7";
    QTest::newRow("echo and device in one frame") << false << QStringList { kInfoRead + " " + kInfoReply } << true << "7";
    QTest::newRow("a slave's late answer") << false << QStringList { kDistance3 } << true << "";
    QTest::newRow("slave 4 answers") << true << QStringList { kDistance4 } << true << "1.235";
    QTest::newRow("poll echo, then slave 4") << true << QStringList { kPoll4, kDistance4 } << true << "1.235";
    QTest::newRow("slave 3 answers late") << true << QStringList { kDistance3 } << false << "";
    QTest::newRow("slave 4 damaged") << true << QStringList { "04 03 04 00 00 30 39 7B 20" } << true << "";
    // clang-format on
}

void TestAnswersAndKeys::onlyTheAskedAnswerCounts()
{
    QFETCH(bool, poll);
    QFETCH(QStringList, frames);
    QFETCH(bool, replySeen);
    QFETCH(QString, shown);
    TForm1Probe probe;
    probe.connectDirectly();
    if (poll) {
        probe.CurrentSlave() = 3;
        probe.Timer1Timer();
        QCOMPARE(wireHex(probe.comm->written().last()), kPoll4);
    } else {
        probe.DeviceFound() = false;
        probe.sendDeviceInfoRead();
        QCOMPARE(wireHex(probe.comm->written().last()), kInfoRead);
    }
    for (const QString& frame : frames)
        probe.receiveFrame(hexBytes(qPrintable(frame)));

    QCOMPARE(probe.ui().Memo1->toPlainText().count(QLatin1Char('\n')), int(frames.size()) - 1); // every frame logged
    QCOMPARE(probe.ReplySeen(), replySeen);
    if (poll) {
        QCOMPARE(probe.DistanceEdits()[4]->text(), shown);
        QCOMPARE(probe.LinkBoxes()[3]->isChecked(), !shown.isEmpty());
        QCOMPARE(probe.DistanceEdits()[3]->text(), QString());
    } else {
        QCOMPARE(probe.ui().Panel11->caption(), shown);
        QCOMPARE(probe.DeviceFound(), !shown.isEmpty());
    }
}

void TestAnswersAndKeys::baudConfirmationThePortCannotFollow_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("refuseOpen");
    QTest::addColumn<QString>("status");
    QTest::newRow("follows the selected rate") << 5 << false << "波特率更新成功！";
    QTest::newRow("nothing selected") << -1 << false << "未从列表中选择波特率，连接已断开";
    QTest::newRow("reopen refused") << 5 << true << "串口无法以新波特率重新打开，连接已断开";
}

void TestAnswersAndKeys::baudConfirmationThePortCannotFollow()
{
    QFETCH(int, selected);
    QFETCH(bool, refuseOpen);
    QFETCH(QString, status);
    TForm1Probe probe;
    probe.connectDirectly();
    probe.ui().ComboBox2->setItemIndex(selected);
    probe.comm->setRefuseOpen(refuseOpen);
    probe.asked(QStringLiteral("FF 06 00 18 4B 00 2A E3"));
    probe.receiveFrame(hexBytes("01 06 00 18 4B 00 3F 3D"));

    const bool followed = selected >= 0 && !refuseOpen;
    QCOMPARE(probe.ui().StatusBar1->panelText(0), status);
    QCOMPARE(probe.comm->portOpen(), followed);
    QCOMPARE(probe.DeviceFound(), followed);
    QCOMPARE(probe.ui().Button1->text(), followed ? QStringLiteral("断开") : QStringLiteral("联机"));
    if (!followed) QVERIFY(probe.ui().ComboBox1->isEnabled());
    QCOMPARE(probe.ui().BitBtn5->isEnabled(), followed);
    QVERIFY(probe.failures.isEmpty() && probe.messages.isEmpty());
}

// A step that fails before it empties the receive state must not leave the end-of-frame timer ticking.
void TestAnswersAndKeys::failedEndOfFrameStepFiresOnce()
{
    TForm1Probe probe;
    probe.connectDirectly();
    QSignalSpy fired(probe.ui().Timer2, &QTimer::timeout);
    probe.comm->deliver(hexBytes("03 03 04"));
    probe.comm->setBytesArriving(true);
    probe.comm->setInputDataFails(true);
    QTest::qWait(400);
    QCOMPARE(fired.count(), 1);
    QCOMPARE(probe.failures.size(), 1);
}

void TestAnswersAndKeys::tabLeavesNumericFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("next");
    QTest::newRow("Edit17 Tab") << "Edit17" << int(Qt::Key_Tab) << "ComboBox1";
    QTest::newRow("Edit1 Tab") << "Edit1" << int(Qt::Key_Tab) << "ComboBox3";
    QTest::newRow("Edit2 Tab") << "Edit2" << int(Qt::Key_Tab) << "BitBtn6";
    QTest::newRow("Edit1 Shift+Tab") << "Edit1" << int(Qt::Key_Backtab) << "";
    QTest::newRow("Edit2 Shift+Tab") << "Edit2" << int(Qt::Key_Backtab) << "";
}

void TestAnswersAndKeys::tabLeavesNumericFields()
{
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(QString, next);
    TForm1Probe probe;
    probe.window().show();
    QVERIFY(QTest::qWaitForWindowActive(&probe.window()));
    auto* edit = probe.window().findChild<QLineEdit*>(field);
    edit->setFocus();
    const QString before = edit->text();
    QTest::keyClick(edit, Qt::Key(key), key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
    QVERIFY(QApplication::focusWidget() && QApplication::focusWidget() != edit);
    if (!next.isEmpty()) QCOMPARE(QApplication::focusWidget()->objectName(), next);
    QCOMPARE(edit->text(), before);
}

// Text an input method commits (a Chinese input method, full-width digits) meets the same filter as typed keys.
void TestAnswersAndKeys::inputMethodTextIsFiltered()
{
    TForm1Probe probe;
    probe.window().show();
    QVERIFY(QTest::qWaitForWindowActive(&probe.window()));
    for (QLineEdit* edit : { probe.ui().Edit17, probe.ui().Edit1, probe.ui().Edit2 }) {
        edit->setFocus();
        edit->clear();
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("１2a.中3 -"));
        QApplication::sendEvent(edit, &commit);
        QCOMPARE(edit->text(), QStringLiteral("23"));
    }
}

// The search hands the focus back to 联机 only if it is still where disabling the button put it.
void TestAnswersAndKeys::focusStaysWhereTheUserPutItDuringSearch()
{
    TForm1Probe probe;
    ScriptedDevice device(probe.comm, 600);
    probe.window().show();
    QVERIFY(QTest::qWaitForWindowActive(&probe.window()));
    probe.ComboBox1DropDown();
    probe.ui().ComboBox1->setItemIndex(0);
    probe.ui().Button1->setFocus();
    QTimer::singleShot(1200, &probe.window(), [&] { probe.ui().Edit2->setFocus(); });
    probe.Button1Click();
    QVERIFY(probe.DeviceFound());
    QCOMPARE(QApplication::focusWidget(), probe.ui().Edit2);
}

namespace {

QString countsOf(QWidget* widget)
{
    return widget->toolTip().section(QStringLiteral(" · 响应"), 0, 0);
}

} // namespace

// Slave 2 is polled, the frames arrive, and the next tick takes the verdict.
void TestAnswersAndKeys::slaveStatistics_data()
{
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QString>("counts");
    const QString counts = QStringLiteral("轮询 1 · 应答 %1 · 校验错 %2 · 无应答 %3");
    QTest::newRow("good answer") << QStringList { "02 03 04 00 00 30 39 1D 21" } << counts.arg(1).arg(0).arg(0);
    QTest::newRow("damaged answer") << QStringList { "02 03 04 00 00 30 39 1D 20" } << counts.arg(0).arg(1).arg(0);
    QTest::newRow("silence") << QStringList {} << counts.arg(0).arg(0).arg(1);
    QTest::newRow("slave 1 answers late")
        << QStringList { "01 03 04 00 00 30 39 2E 21" } << counts.arg(0).arg(0).arg(1);
    QTest::newRow("echo of the poll") << QStringList { "02 03 00 15 00 02 D5 FC" } << counts.arg(0).arg(0).arg(1);
}

void TestAnswersAndKeys::slaveStatistics()
{
    QFETCH(QStringList, frames);
    QFETCH(QString, counts);
    TForm1Probe probe;
    probe.connectDirectly();
    probe.CurrentSlave() = 1;
    probe.Timer1Timer();
    for (const QString& frame : frames)
        probe.receiveFrame(hexBytes(qPrintable(frame)));
    probe.Timer1Timer();

    QWidget* box = probe.LinkBoxes()[1];
    QWidget* field = probe.DistanceEdits()[2];
    QCOMPARE(countsOf(box), counts);
    QCOMPARE(field->toolTip(), box->toolTip());
    QCOMPARE(probe.window().findChild<QLabel*>("Label3")->toolTip(), box->toolTip());
    for (QWidget* w : { box, field })
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description), box->toolTip());
    // Intact and damaged answers are timed; silence is not.
    QCOMPARE(box->toolTip().endsWith(QStringLiteral("响应 —")), counts.endsWith(QStringLiteral("无应答 1")));
    QCOMPARE(countsOf(probe.LinkBoxes()[0]), QStringLiteral("轮询 0 · 应答 0 · 校验错 0 · 无应答 0"));
}

// A device command ends the poll on the line: the slave is counted unanswered at once, not left waiting.
void TestAnswersAndKeys::commandEndsTheWaitingPoll()
{
    TForm1Probe probe;
    probe.connectDirectly();
    probe.CurrentSlave() = 1;
    probe.Timer1Timer();
    QCOMPARE(countsOf(probe.LinkBoxes()[1]), QStringLiteral("轮询 1 · 应答 0 · 校验错 0 · 无应答 0"));
    probe.BitBtn6Click();
    QCOMPARE(countsOf(probe.LinkBoxes()[1]), QStringLiteral("轮询 1 · 应答 0 · 校验错 0 · 无应答 1"));
}

void TestAnswersAndKeys::statisticsResetAtConnect()
{
    TForm1Probe probe;
    ScriptedDevice device(probe.comm, 9600);
    probe.connectDirectly();
    probe.Timer1Timer();
    probe.Timer1Timer();
    QCOMPARE(countsOf(probe.LinkBoxes()[0]), QStringLiteral("轮询 1 · 应答 0 · 校验错 0 · 无应答 1"));
    probe.ui().Button1->setText(QStringLiteral("联机"));
    probe.ComboBox1DropDown();
    probe.ui().ComboBox1->setItemIndex(0);
    probe.Button1Click();
    QVERIFY(probe.DeviceFound());
    QCOMPARE(probe.LinkBoxes()[0]->toolTip(), QStringLiteral("轮询 0 · 应答 0 · 校验错 0 · 无应答 0 · 响应 —"));
}

QTEST_MAIN(TestAnswersAndKeys)
#include "tst_answers_and_keys.moc"
