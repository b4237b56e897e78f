// The send step, receive assembly and the end-of-frame step that applies what the link core makes of a frame.
#include "distance_text.h"
#include "line_format.h"
#include "tform1.h"

#include <QCoreApplication>
#include <QDateTime>

using namespace orvik;

namespace {

const QString kBaudUpdated = QStringLiteral("波特率更新成功！");
// The device has moved to a new rate but the port cannot follow it: the link is shown as lost, and why.
const QString kNoRateChosen = QStringLiteral("未从列表中选择波特率，连接已断开");
const QString kReopenFailed = QStringLiteral("串口无法以新波特率重新打开，连接已断开");

// Empties the receive state when the end-of-frame step leaves, also when a control it writes throws.
class RxCleanup {
public:
    RxCleanup(QTimer* timer, QString& text, qint32& count)
        : m_timer(timer)
        , m_text(text)
        , m_count(count)
    {
    }
    ~RxCleanup()
    {
        m_timer->stop();
        m_count = 0;
        m_text.clear();
    }
    RxCleanup(const RxCleanup&) = delete;
    RxCleanup& operator=(const RxCleanup&) = delete;

private:
    QTimer* m_timer;
    QString& m_text;
    qint32& m_count;
};

} // namespace

void TForm1::sendFrame(const RequestFrame& frame)
{
    ReplySeen = false;
    LastRegister = frame[3];
    m_lastRequest = frame;
    MSComm1->setOutputData(toByteArray(frame));
    countRequest(frame);
}

void TForm1::MSComm1Comm(SerialControl*)
{
    Timer2->stop();
    if (MSComm1->commEvent() != kComEvReceive) return;
    takeWaitingBytes();
}

// Appends what the control holds to RxText and restarts the end-of-frame timer.
void TForm1::takeWaitingBytes()
{
    // The count is read as a full int: a 16-bit read would turn a large backlog negative and drop it unseen.
    const int count = MSComm1->inBufferCount();
    const QByteArray received = MSComm1->inputData();
    const int appended = appendReceived(RxText, RxCount, count, received);
    if (appended > 0) m_lastByteInUs = m_clock.nsecsElapsed() / 1000;
    m_frameCloser.bytesAppended(appended);
    MSComm1->setInputLen(0);
    MSComm1->setInBufferCount(0);
    Timer2->setInterval(kEndOfFrameMs);
    Timer2->start();
}

void TForm1::Timer2Timer(QObject*)
{
    const bool pending = MSComm1->portOpen() && (MSComm1->inBufferCount() > 0 || MSComm1->bytesArriving());
    if (m_frameCloser.holdOpen(pending)) {
        takeWaitingBytes();
        return;
    }
    RxCleanup cleanup(Timer2, RxText, RxCount);
    logFrame(RxText);
    applyFrame(interpretFrame(RxText, RxCount, SentRequest { CurrentSlave, LastRegister, m_lastRequest }));
}

// Appends one memo line, stamped with the time it was received.
void TForm1::logFrame(const QString& text)
{
    Memo1->appendLine(text);
}

// The window only applies what the link core made of the frame.
void TForm1::applyFrame(const FrameMeaning& meaning)
{
    if (meaning.answered) ReplySeen = true;
    countAnswer(meaning);
    switch (meaning.kind) {
    case FrameKind::DeviceInfo:
        showDeviceInfo(meaning.device);
        break;
    case FrameKind::Distance:
        // A distance that arrives while no slave is being polled has no box to go to.
        if (isSlaveAddress(CurrentSlave)) {
            DistanceEdits[CurrentSlave]->setText(distanceText(meaning.distance));
            // One time for the reading, whoever takes it: the record, the chart and the broker agree on it.
            const orvik::SampleTime at = orvik::sampleTimeNow();
            m_distances.add(at, CurrentSlave, meaning.distance);
            mqttDistance(CurrentSlave, meaning.distance, at);
            QEvent answered(static_cast<QEvent::Type>(WM_SLAVE_ANSWERED));
            QCoreApplication::sendEvent(this, &answered);
        }
        break;
    case FrameKind::BaudConfirmed:
        confirmBaudChange();
        break;
    default:
        break;
    }
}

void TForm1::showDeviceInfo(const DeviceInfo& info)
{
    Panel11->setCaption(QString::number(info.physicalAddress));
    Edit1->setText(QString::number(info.logicalAddress));
    Panel13->setCaption(distanceText(info.distance));
    ComboBox3->setItemIndex(info.mode);
    Edit2->setText(QString::number(info.delay));
    DeviceFound = true;
}

// The device confirmed the new rate and moves to the one selected in the list. When the port cannot follow it
// (nothing selected, or the reopen refused), the window must not go on claiming a link: it shows the link as lost
// the way disconnecting does, and says why in the status bar.
void TForm1::confirmBaudChange()
{
    const int index = ComboBox2->itemIndex();
    if (index < 0) {
        showLinkLost(kNoRateChosen);
        return;
    }
    try {
        MSComm1->setPortOpen(false);
        MSComm1->setSettings(lineSettings(ComboBox2->itemText(index)));
        MSComm1->setPortOpen(true);
    } catch (const std::exception&) {
        showLinkLost(kReopenFailed);
        return;
    }
    StatusBar1->setPanelText(0, kBaudUpdated);
}

void TForm1::showLinkLost(const QString& why)
{
    disconnectLink();
    StatusBar1->setPanelText(0, why);
}
