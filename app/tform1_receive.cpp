// The send step, receive assembly and the end-of-frame decoding and dispatch of replies.
#include "distance_text.h"
#include "reply_decoder.h"
#include "rx_assembly.h"
#include "tform1.h"

#include <QCoreApplication>
#include <QTextCursor>

using namespace orvik;

namespace {

constexpr int kEndOfFrameMs = 25; // silence that closes a frame, at every baud rate
constexpr int kMinReplyBytes = 6;
constexpr int kMaxFrameDeferrals = 8;

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

bool isSlaveAddress(quint8 address)
{
    return address >= 1 && address <= 16;
}

} // namespace

void TForm1::sendFrame(const RequestFrame& frame)
{
    ReplySeen = false;
    LastRegister = frame[3];
    MSComm1->setOutputData(toByteArray(frame));
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
    if (appendReceived(RxText, RxCount, count, received) > 0) m_frameDeferrals = 0;
    MSComm1->setInputLen(0);
    MSComm1->setInBufferCount(0);
    Timer2->setInterval(kEndOfFrameMs);
    Timer2->start();
}

void TForm1::Timer2Timer(QObject*)
{
    // Bytes already waiting when the silence timer fires belong to this frame: the program was slow to look (asleep
    // in a wait slice), the line was not quiet. Bytes still in the driver get their receive event first. A driver
    // that keeps reporting bytes nobody can take is not waited for more than a few rounds.
    if (MSComm1->portOpen() && (MSComm1->inBufferCount() > 0 || MSComm1->bytesArriving())
        && m_frameDeferrals < kMaxFrameDeferrals) {
        ++m_frameDeferrals;
        takeWaitingBytes();
        return;
    }
    m_frameDeferrals = 0;
    RxCleanup cleanup(Timer2, RxText, RxCount);
    logFrame(RxText);
    if (RxCount < kMinReplyBytes) return;
    ReplySeen = true;
    ScratchBuffer frame {};
    decodeHexText(RxText, RxCount, frame);
    if (!replyCrcValid(frame, RxCount)) return;
    dispatchReply(frame);
}

// Appends one memo line, stamped with the time it was received.
void TForm1::logFrame(const QString& text)
{
    Memo1->appendLine(text);
}

void TForm1::dispatchReply(const ScratchBuffer& frame)
{
    switch (classifyReply(frame, LastRegister)) {
    case ReplyAction::DeviceInfo:
        showDeviceInfo(frame);
        break;
    case ReplyAction::Distance:
        // A distance that arrives while no slave is being polled has no box to go to.
        if (isSlaveAddress(CurrentSlave)) {
            DistanceEdits[CurrentSlave]->setText(distanceText(distanceValue(frame, 3)));
            QEvent answered(static_cast<QEvent::Type>(WM_SLAVE_ANSWERED));
            QCoreApplication::sendEvent(this, &answered);
        }
        break;
    case ReplyAction::BaudConfirmed:
        confirmBaudChange();
        break;
    case ReplyAction::None:
        break;
    }
}

void TForm1::showDeviceInfo(const ScratchBuffer& frame)
{
    const DeviceInfo info = decodeDeviceInfo(frame);
    Panel11->setCaption(QString::number(info.physicalAddress));
    Edit1->setText(QString::number(info.logicalAddress));
    Panel13->setCaption(distanceText(info.distance));
    ComboBox3->setItemIndex(info.mode);
    Edit2->setText(QString::number(info.delay));
    DeviceFound = true;
}

// The device echoed the new rate: follow it. A refused step leaves the port closed and says nothing.
void TForm1::confirmBaudChange()
{
    try {
        MSComm1->setPortOpen(false);
        const int index = ComboBox2->itemIndex();
        const QString rate = index >= 0 ? ComboBox2->itemText(index) : QString();
        MSComm1->setSettings(rate + QStringLiteral(",N,8,1"));
        MSComm1->setPortOpen(true);
        StatusBar1->setPanelText(0, QStringLiteral("波特率更新成功！"));
    } catch (...) {
    }
}
