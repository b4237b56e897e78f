// Port discovery, connecting with the baud-rate search, and disconnecting.
#include "handler_guard.h"
#include "line_format.h"
#include "port_names.h"
#include "tform1.h"

#include <QPointer>

using namespace orvik;

namespace {

const QString kConnect = QStringLiteral("联机");
const QString kDisconnect = QStringLiteral("断开");
const QString kNoPortChosen = QStringLiteral("你没有选择串口！");
const QString kOpenFailed = QStringLiteral("串口打开失败: 当前串口号被占用，获其它错误！");
const QString kNoDevice = QStringLiteral("通讯错误，请检查接线!");
const QString kConnecting = QStringLiteral("联机中...");
const QString kConnected = QStringLiteral("联机成功");
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

} // namespace

// Replaces list with the sorted port names; a failed enumeration leaves it as it was.
void TForm1::EnumSerialPorts(QStringList& list)
{
    const std::optional<QStringList> names = m_portEnumerator();
    if (names) list = sortPortNames(*names);
}

void TForm1::JudgeComm()
{
    ComboBox1->clear();
    ComboBox1->clearEditText();
    EnumSerialPorts(PortList);
    ComboBox1->addItems(PortList);
    ComboBox1->setItemIndex(-1);
}

void TForm1::ComboBox1DropDown(QObject*)
{
    JudgeComm();
}

void TForm1::RequestDeviceInfo()
{
    CurrentSlave = kConfigAddress;
    sendFrame(deviceInfoRead());
}

void TForm1::Button1Click(QObject*)
{
    if (Button1->text() == kConnect)
        connectAttempt();
    else if (Button1->text() == kDisconnect)
        disconnectLink();
}

// Opens the chosen port and looks for the device at 9600 baud, then at every rate of the list in turn.
void TForm1::connectAttempt()
{
    const int index = ComboBox1->itemIndex();
    ComboBox2->setEnabled(false);
    if (index == -1) {
        showMessage(kNoPortChosen);
        DeviceFound = false;
        return;
    }
    MSComm1->setCommPort(portNumberOf(ComboBox1->itemText(index)));
    m_stats.reset();
    m_distances.clear();
    showAllSlaveStatistics();
    MSComm1->setOnComm([this](SerialControl* sender) { guarded([&] { MSComm1Comm(sender); }); });
    ComboBox1->setEnabled(false);
    setTextColour(Button1, kRed);
    StatusBar1->setPanelText(0, kConnecting);

    ComboBox2->setItemIndex(kFirstTryRateIndex);
    // Disabling the focused button hands the focus on (to an edit field, whose caret would then blink for ever);
    // it goes back to the button when the search is over, unless the user has moved it elsewhere meanwhile.
    const bool buttonHadFocus = Button1->hasFocus();
    Button1->setEnabled(false);
    const QPointer<QWidget> focusHeir = buttonHadFocus ? focusWidget() : nullptr;
    const auto giveFocusBack = [&] {
        if (buttonHadFocus && focusWidget() == focusHeir) Button1->setFocus();
    };
    MSComm1->setSettings(lineSettings(ComboBox2->itemText(kFirstTryRateIndex)));
    try {
        MSComm1->setPortOpen(true);
    } catch (const std::exception&) {
        showMessage(kOpenFailed);
        Button1->setText(kConnect);
        Button1->setEnabled(true);
    }
    RequestDeviceInfo();
    WaitMs(1000);
    RequestDeviceInfo();
    WaitMs(1000);

    for (int i = 0; !DeviceFound;) {
        if (!openAtRate(i)) {
            showMessage(kOpenFailed);
            Button1->setText(kConnect);
            Button1->setEnabled(true);
            StatusBar1->setPanelText(0, QString());
        }
        RequestDeviceInfo();
        WaitMs(600);
        RequestDeviceInfo();
        WaitMs(600);
        if (!DeviceFound) {
            if (i >= kLastRateIndex) break;
            ++i;
        }
    }

    if (!DeviceFound) {
        Button1->setText(kConnect);
        MSComm1->setPortOpen(false);
        Button1->setEnabled(true);
        giveFocusBack();
        StatusBar1->setPanelText(0, QString());
        showMessage(kNoDevice);
        return;
    }
    setTextColour(Button1, kGreen);
    ComboBox2->setEnabled(true);
    BitBtn5->setEnabled(true);
    Button1->setText(kDisconnect);
    Button1->setEnabled(true);
    giveFocusBack();
    StatusBar1->setPanelText(0, kConnected);
    mqttLine(true);
}

// Reopens the port at the rate of ComboBox2's item index; false when any step was refused.
bool TForm1::openAtRate(int index)
{
    try {
        MSComm1->setPortOpen(false);
        ComboBox2->setItemIndex(index);
        MSComm1->setSettings(lineSettings(ComboBox2->itemText(index)));
        MSComm1->setPortOpen(true);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TForm1::disconnectLink()
{
    Button1->setText(kConnect);
    try {
        MSComm1->setPortOpen(false);
    } catch (const std::exception&) {
    }
    ComboBox1->setEnabled(true);
    ComboBox2->setEnabled(false);
    BitBtn5->setEnabled(false);
    DeviceFound = false;
    mqttLine(false);
}
