// Device commands on the hardware-settings page and the polling cycle of the data page.
#include "int_conversion.h"
#include "serial_settings.h"
#include "tform1.h"

#include <limits>

using namespace orvik;

namespace {

constexpr int kDataPage = 1;
constexpr int kCommandGapMs = 500;

quint8 highByte(qint32 value)
{
    return static_cast<quint8>((value >> 8) & 0xFF);
}
quint8 lowByte(qint32 value)
{
    return static_cast<quint8>(value & 0xFF);
}

} // namespace

void TForm1::WriteRegister(quint8 reg, quint8 high, quint8 low)
{
    if (!DeviceFound) return;
    CurrentSlave = kConfigAddress;
    sendFrame(writeRegister(reg, high, low));
}

void TForm1::BitBtn6Click(QObject*)
{
    if (!DeviceFound) return;
    CurrentSlave = kConfigAddress;
    sendFrame(deviceInfoRead());
}

void TForm1::Button3Click(QObject*)
{
    if (!DeviceFound) return;
    CurrentSlave = kConfigAddress;
    sendFrame(writeRegister(kRegisterMeasure, 0, 1));
}

// Writes working mode, delay time and logical address, half a second apart so each echo is logged before the next.
void TForm1::Button2Click(QObject*)
{
    if (!DeviceFound) return;
    // An index of -1 (a typed text that is no item) goes out as its low byte, 255.
    WriteRegister(kRegisterMode, 0, lowByte(ComboBox3->itemIndex()));
    WaitMs(kCommandGapMs);
    const qint32 delay = StrToInt(Edit2->text());
    WriteRegister(kRegisterDelay, highByte(delay), lowByte(delay));
    WaitMs(kCommandGapMs);
    WriteRegister(kRegisterLogicalAddress, 0, lowByte(UpDown2->position()));
    WaitMs(kCommandGapMs);
}

// Asks the device for a new rate; its echo (handled by the end-of-frame step) moves the port to that rate.
void TForm1::BitBtn5Click(QObject*)
{
    if (!DeviceFound) return;
    const qint32 rate = StrToInt(ComboBox2->currentText());
    WriteRegister(kRegisterBaudRate, highByte(rate), lowByte(rate));
    WaitMs(kCommandGapMs);
    WaitMs(kCommandGapMs);
}

void TForm1::BitBtn1Click(QObject*)
{
    WriteRegister(kRegisterCommand, 0, kCommandCalibrate);
}
void TForm1::BitBtn2Click(QObject*)
{
    WriteRegister(kRegisterCommand, 0, kCommandPower);
}
void TForm1::BitBtn4Click(QObject*)
{
    WriteRegister(kRegisterCommand, 0, kCommandSave);
}

void TForm1::PageControl1Change(QObject*)
{
    if (PageControl1->activePageIndex() != kDataPage) {
        Timer1->stop();
        return;
    }
    const qint64 intervalMs = qint64(StrToInt(Edit17->text())) * 1000;
    // An interval of 0 or less never ticks (a zero-interval QTimer would fire continuously); one beyond the timer's
    // range is held at its longest instead of wrapping round to a short one.
    if (intervalMs <= 0) {
        Timer1->stop();
        return;
    }
    Timer1->start(static_cast<int>(std::min<qint64>(intervalMs, std::numeric_limits<int>::max())));
}

// One poll per tick; the verdict on a slave is taken at the tick that polls the next one.
void TForm1::Timer1Timer(QObject*)
{
    if (!DeviceFound) return;
    if (!ReplySeen && isSlaveAddress(CurrentSlave)) {
        QCheckBox* box = LinkBoxes[CurrentSlave - 1];
        box->setChecked(false);
        box->setEnabled(false);
        m_distances.markGap(orvik::sampleTimeNow(), CurrentSlave);
        mqttSlaveStatus(CurrentSlave, false);
    }
    CurrentSlave = (isSlaveAddress(CurrentSlave) && CurrentSlave < kLastSlave) ? CurrentSlave + 1 : kFirstSlave;
    sendFrame(distancePoll(CurrentSlave));
}

void TForm1::WMSlaveAnswered()
{
    if (!isSlaveAddress(CurrentSlave)) return;
    QCheckBox* box = LinkBoxes[CurrentSlave - 1];
    box->setChecked(true);
    box->setEnabled(true);
    mqttSlaveStatus(CurrentSlave, true);
}

// A frame from the polled slave while its poll is outstanding is its answer, intact or damaged.
void TForm1::countAnswer(const FrameMeaning& meaning)
{
    if (!meaning.answered || LastRegister != kRegisterDistance || !isSlaveAddress(CurrentSlave)) return;
    m_stats.answered(CurrentSlave, meaning.kind != FrameKind::Damaged, m_lastByteInUs);
    showSlaveStatistics(CurrentSlave);
}

// Every request ends the poll before it: a slave that has not answered by now is counted unanswered.
void TForm1::countRequest(const RequestFrame& frame)
{
    const quint8 unanswered = m_stats.requestSent(frame[0], lastByteOutUs(static_cast<int>(frame.size())));
    showSlaveStatistics(unanswered);
    showSlaveStatistics(frame[0]);
}

// The row's statistics as the tooltip of its label, link box and distance field, and as the description a screen
// reader gives the box and the field.
void TForm1::showSlaveStatistics(quint8 slave)
{
    const QString text = m_stats.describe(slave);
    if (text.isEmpty()) return;
    const std::size_t row = slave - kFirstSlave;
    m_rowLabels[row]->setToolTip(text);
    for (QWidget* widget : { static_cast<QWidget*>(LinkBoxes[row]), static_cast<QWidget*>(DistanceEdits[slave]) }) {
        widget->setToolTip(text);
        widget->setAccessibleDescription(text);
    }
}

void TForm1::showAllSlaveStatistics()
{
    for (quint8 slave = kFirstSlave; slave <= kLastSlave; ++slave)
        showSlaveStatistics(slave);
}

// When the last of `bytes` just written leaves the adapter: ten bit times a byte at the line's rate.
qint64 TForm1::lastByteOutUs(int bytes) const
{
    qint64 baud = 9600;
    try {
        baud = std::max(1, parseSettings(MSComm1->settings()).baud);
    } catch (const SerialError&) {
    }
    return m_clock.nsecsElapsed() / 1000 + qint64(bytes) * 10 * 1'000'000 / baud;
}

// Digits and Backspace reach the field, Enter moves the focus on, every other character is swallowed.
void TForm1::filterDigitKey(unsigned char& Key)
{
    if (Key == '.') {
        Key = 0;
    } else if (Key == '\r') {
        focusNextChild();
    } else if (Key == '\b') {
    } else if (Key < '0' || Key > '9') {
        Key = 0;
    }
}

void TForm1::Edit17KeyPress(QObject*, unsigned char& Key)
{
    filterDigitKey(Key);
}
void TForm1::Edit1KeyPress(QObject*, unsigned char& Key)
{
    filterDigitKey(Key);
}
void TForm1::Edit2KeyPress(QObject*, unsigned char& Key)
{
    filterDigitKey(Key);
}
