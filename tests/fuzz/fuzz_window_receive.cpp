// Plays arbitrary scripts of line events into one window on the fake serial control: byte chunks, 25 ms silences,
// other event codes, short and long input arrays, polling ticks, baud-rate choices and changes of the request
// bookkeeping. After every step the receive state must hold exactly the bytes the line delivered since the last frame
// end; every frame end must log that frame as one memo line and act on it only as its length, the request it answers
// (an echo of it, an address that may not answer it), its CRC and the shape of the answer it awaits say. The frame
// layouts are worked out here, the CRC by the tests' own oracle.
#include "distance_text.h"
#include "form_probe.h"
#include "fuzz_input.h"

#include <QApplication>
#include <cstdlib>

using namespace orvik;
using orvik::fuzz::Input;
using orvik::fuzz::require;
using orvik::test::crcValid;
using orvik::test::withCrc;

namespace {

QApplication* g_app = nullptr;
// How often in a row the end of a frame may be put off for bytes that never come; "a few rounds" at most.
constexpr int kMaxDeferrals = 16;
TForm1Probe* g_probe = nullptr;

// A byte the frame lacks reads as 0, as the zeroed frame buffer gives it.
quint8 at(const QByteArray& frame, int i)
{
    return i < frame.size() ? static_cast<quint8>(frame[i]) : 0;
}

qint32 bigEndian32(const QByteArray& frame, int offset)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | at(frame, offset + i);
    return static_cast<qint32>(v);
}

QString hexLine(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QString() : wireHex(bytes) + QLatin1Char(' ');
}

bool isSlave(int address)
{
    return address >= 1 && address <= 16;
}

// What the controls that a frame may change show at one moment.
struct Shown {
    QStringList distances;
    QList<bool> checked;
    QList<bool> enabled;
    bool deviceFound;
    bool replySeen;
    bool portOpen;
    QString physical;

    static Shown of(TForm1Probe& p)
    {
        Shown s { {}, {}, {}, p.DeviceFound(), p.ReplySeen(), p.comm->portOpen(), p.ui().Panel11->caption() };
        for (int slave = 1; slave <= 16; ++slave) {
            s.distances << p.DistanceEdits()[slave]->text();
            s.checked << p.LinkBoxes()[slave - 1]->isChecked();
            s.enabled << p.LinkBoxes()[slave - 1]->isEnabled();
        }
        return s;
    }
};

// The script's interpreter, with the model of what the line has delivered.
class Session {
public:
    Session(TForm1Probe& probe, QStringList memo)
        : m_p(probe)
        , m_memo(std::move(memo))
    {
    }

    void run(Input& in)
    {
        while (!in.empty()) {
            step(in);
            require(m_p.RxText() == hexLine(m_pending) && m_p.RxCount() == m_pending.size());
            require(m_p.RxText().size() == 3 * static_cast<qsizetype>(m_p.RxCount()));
        }
        m_p.comm->setBytesArriving(false);
        if (m_p.ui().Timer2->isActive()) silence();
        require(m_p.ui().Memo1->toPlainText() == m_memo.join(QLatin1Char('\n')));
    }

private:
    void step(Input& in)
    {
        switch (in.byte() % 12) {
        case 0:
        case 1:
        case 2:
            deliver(in.take(in.byte() % 24));
            break;
        case 3:
            // 25 ms of silence pass: only a running end-of-frame timer fires.
            if (m_p.ui().Timer2->isActive()) silence();
            break;
        case 4:
            otherEvent(in.byte());
            break;
        case 5:
            mismatchedArray(in);
            break;
        case 6:
            asked(in);
            break;
        case 7:
            m_p.CurrentSlave() = pick(in.byte(), { 0, 1, 2, 3, 7, 15, 16, 17, 255 });
            break;
        case 8:
            validFrame(in);
            break;
        case 9:
            pollTick();
            break;
        case 10:
            m_p.ui().ComboBox2->setItemIndex(in.byte() % 11 - 1); // -1 to 9; 9 is beyond the list
            break;
        default:
            lineState(in.byte());
            break;
        }
    }

    static quint8 pick(quint8 b, std::initializer_list<int> common)
    {
        return b < 192 ? static_cast<quint8>(common.begin()[b % common.size()]) : b;
    }

    void deliver(const QByteArray& chunk)
    {
        const bool open = m_p.comm->portOpen();
        m_p.comm->deliver(chunk);
        // A closed port hears nothing; an open one reports a receive event once a byte waits.
        if (!open || chunk.isEmpty()) return;
        m_pending += chunk;
        m_deferrals = 0;
        require(m_p.ui().Timer2->isActive() && m_p.ui().Timer2->interval() == 25);
    }

    void otherEvent(quint8 b)
    {
        static const int kCodes[] = { kComEvSend, kComEventBreak, kComEventFrame, kComEventOverrun, kComEventRxOver,
            kComEventRxParity, kComEventPortLost, kComEvReceive };
        const int code = kCodes[b % 8];
        m_p.comm->deliverEvent(code);
        // Any other code stops the timer and keeps the text; a receive event with nothing waiting restarts it.
        require(m_p.ui().Timer2->isActive() == (code == kComEvReceive));
    }

    // The control's array holds fewer or more bytes than the count read before it: only the count, and only the
    // elements present, are taken.
    void mismatchedArray(Input& in)
    {
        const QByteArray array = in.take(in.byte() % 24);
        const QByteArray waiting = in.take(in.byte() % 24);
        if (!m_p.comm->portOpen() || waiting.isEmpty()) return;
        m_p.comm->setNextInputData(array);
        m_p.comm->deliver(waiting);
        m_pending += array.left(waiting.size());
        require(m_p.ui().Timer2->isActive());
    }

    // The link state as the send step leaves it for any request, of the kinds the monitor sends or not; nothing is
    // written to the line.
    void asked(Input& in)
    {
        QByteArray request;
        request += static_cast<char>(pick(in.byte(), { 255, 1, 3, 16, 0, 17 }));
        request += static_cast<char>(pick(in.byte(), { 3, 6 }));
        request += '\0';
        request += static_cast<char>(pick(in.byte(), { 17, 21, 24, 16, 19, 20, 88 }));
        request += in.take(2).leftJustified(2, '\0');
        m_request = withCrc(request);
        m_p.asked(wireHex(m_request));
    }

    // A reply with a correct CRC, which random bytes would almost never have, delivered in one or two chunks. Its
    // address is mostly one that may answer; a write confirmation may carry the request's register and value.
    void validFrame(Input& in)
    {
        const quint8 kind = in.byte();
        QByteArray body(1, static_cast<char>(pick(in.byte(), { m_p.CurrentSlave(), 255, 1, 3, 247, 248, 0 })));
        switch (kind % 4) {
        case 0:
            body += QByteArray::fromHex("0304") + in.take(4);
            break;
        case 1:
            body += QByteArray::fromHex("030C") + in.take(12);
            break;
        case 2:
            body += '\x06';
            body += (kind & 0x80) && m_request.size() == 8 ? m_request.mid(2, 4) : '\0' + in.take(3);
            break;
        default:
            body += static_cast<char>(in.byte() | 0x80) + in.take(1);
            break;
        }
        const QByteArray frame = withCrc(body);
        const qsizetype split = (kind >> 2) % (frame.size() + 1);
        deliver(frame.left(split));
        deliver(frame.mid(split));
    }

    void pollTick()
    {
        const Shown before = Shown::of(m_p);
        const quint8 slave = m_p.CurrentSlave();
        m_p.Timer1Timer();
        if (!before.deviceFound) {
            require(m_p.CurrentSlave() == slave);
            return;
        }
        require(isSlave(m_p.CurrentSlave()) && m_p.LastRegister() == 21 && !m_p.ReplySeen());
        require(m_p.CurrentSlave() == (isSlave(slave) && slave < 16 ? slave + 1 : 1));
        if (!before.replySeen && isSlave(slave)) {
            require(!m_p.LinkBoxes()[slave - 1]->isChecked() && !m_p.LinkBoxes()[slave - 1]->isEnabled());
        }
        m_request = withCrc(QByteArray::fromHex("0300150002").prepend(static_cast<char>(m_p.CurrentSlave())));
        if (before.portOpen) require(m_p.comm->written().last() == m_request);
    }

    void lineState(quint8 b)
    {
        switch (b % 4) {
        case 0:
        case 1:
            m_p.DeviceFound() = b % 4 == 1;
            break;
        case 2:
            if (!m_p.comm->portOpen()) m_p.comm->setPortOpen(true);
            break;
        default:
            m_p.comm->setBytesArriving((b & 4) != 0); // the driver holds bytes whose event has not come yet
            break;
        }
    }

    // 25 ms of silence on the timer. The frame ends; only while the driver still holds bytes on their way in may the
    // end be put off, a bounded number of times in a row and with nothing lost or logged.
    void silence()
    {
        const bool arriving = m_p.comm->bytesArriving();
        const QString memoText = m_p.ui().Memo1->toPlainText();
        const Shown before = Shown::of(m_p);
        const quint8 lastRegister = m_p.LastRegister();
        const quint8 slave = m_p.CurrentSlave();
        m_p.Timer2Timer();
        if (m_p.ui().Timer2->isActive()) {
            require(arriving && ++m_deferrals <= kMaxDeferrals);
            require(m_p.ui().Memo1->toPlainText() == memoText);
            return;
        }
        m_deferrals = 0;
        frameClosed(before, lastRegister, slave);
    }

    // The frame was logged once, as it came, and acted on as its length, CRC, function code and register say.
    void frameClosed(const Shown& before, quint8 lastRegister, quint8 slave)
    {
        const QByteArray frame = std::exchange(m_pending, {});
        m_memo << hexLine(frame);
        require(m_p.RxText().isEmpty() && m_p.RxCount() == 0 && !m_p.ui().Timer2->isActive());

        const Shown after = Shown::of(m_p);
        const QByteArray reply = answerIn(frame);
        if (reply.size() < 6 || !mayAnswer(slave, at(reply, 0))) {
            require(after.replySeen == before.replySeen);
            requireUntouched(before, after);
            return;
        }
        if (reply.size() > 256 || !crcValid(reply)) {
            // A damaged frame shows a polled slave alive, never the device asked at 255.
            require(after.replySeen == (before.replySeen || slave != 255));
            requireUntouched(before, after);
            return;
        }
        require(after.replySeen);
        // Nothing sent yet: the register alone, taken as read.
        const quint8 function = m_request.isEmpty() ? 3 : at(m_request, 1);
        if (function == 3 && lastRegister == 17 && hasShape(reply, 3, 17, 12))
            checkDeviceInfo(reply);
        else if (function == 3 && lastRegister == 21 && hasShape(reply, 3, 9, 4))
            checkDistance(reply, slave, before, after);
        else if (function == 6 && lastRegister == 24 && hasShape(reply, 6, 8, 0)
            && reply.mid(2, 4) == m_request.mid(2, 4))
            checkBaudChange();
        else
            requireUntouched(before, after);
    }

    // A slave answers under its own address; the device asked at 255 under 255 or any unicast address.
    static bool mayAnswer(quint8 asked, quint8 from)
    {
        return asked == 255 ? from == 255 || (from >= 1 && from <= 247) : from == asked;
    }

    // A read answer carries its byte count in byte 2; a write confirmation's byte 2 is the register high byte, 0.
    static bool hasShape(const QByteArray& reply, quint8 function, qsizetype size, quint8 byte2)
    {
        return reply.size() == size && at(reply, 1) == function && at(reply, 2) == byte2;
    }

    // What of the frame answers the request: an adapter's copy of a read request is nobody's answer, and a copy of
    // the request at the front of a longer frame is cut off. Frames beyond the buffer are taken whole.
    QByteArray answerIn(const QByteArray& frame) const
    {
        if (m_request.isEmpty() || frame.size() > 256) return frame;
        const bool read = at(m_request, 1) == 3;
        if (read && frame == m_request) return {};
        if (frame.size() <= m_request.size() || !frame.startsWith(m_request)) return frame;
        const QByteArray rest = frame.mid(m_request.size());
        return read && rest == m_request ? QByteArray() : rest;
    }

    static void requireUntouched(const Shown& before, const Shown& after)
    {
        require(after.distances == before.distances && after.checked == before.checked);
        require(after.enabled == before.enabled && after.deviceFound == before.deviceFound);
        require(after.portOpen == before.portOpen && after.physical == before.physical);
    }

    void checkDeviceInfo(const QByteArray& frame)
    {
        auto& ui = m_p.ui();
        require(ui.Panel11->caption() == QString::number(at(frame, 6)));
        require(ui.Edit1->text() == QString::number(at(frame, 10)));
        require(ui.Panel13->caption() == distanceText(bigEndian32(frame, 11)));
        require(ui.ComboBox3->itemIndex() == (at(frame, 4) < 4 ? at(frame, 4) : -1));
        require(ui.Edit2->text() == QString::number(at(frame, 8)));
        require(m_p.DeviceFound());
    }

    void checkDistance(const QByteArray& frame, quint8 slave, const Shown& before, const Shown& after)
    {
        // Without a polled slave there is no box to write; whatever else is shown, nothing may break.
        if (!isSlave(slave)) return;
        for (int s = 1; s <= 16; ++s) {
            const int i = s - 1;
            if (s == slave) {
                require(after.distances[i] == distanceText(bigEndian32(frame, 3)));
                require(after.checked[i] && after.enabled[i]);
            } else {
                require(after.distances[i] == before.distances[i] && after.checked[i] == before.checked[i]);
            }
        }
    }

    // The port follows the rate selected at this moment; with nothing selected the link is shown lost, and why.
    void checkBaudChange()
    {
        auto& ui = m_p.ui();
        const int index = ui.ComboBox2->itemIndex();
        require(m_p.comm->portOpen() == (index >= 0));
        if (index < 0) {
            require(!m_p.DeviceFound()
                && ui.StatusBar1->panelText(0) == QStringLiteral("未从列表中选择波特率，连接已断开"));
            return;
        }
        require(m_p.comm->settings() == ui.ComboBox2->itemText(index) + QStringLiteral(",N,8,1"));
        require(ui.StatusBar1->panelText(0) == QStringLiteral("波特率更新成功！"));
    }

    TForm1Probe& m_p;
    QStringList m_memo; // the lines the memo must hold
    QByteArray m_pending; // bytes delivered since the last frame end
    QByteArray m_request; // the last request the window sent, as the line carried it
    int m_deferrals = 0; // frame ends put off in a row since the last bytes came in
};

// Puts the one window back into a connected state with no frame in progress, so that an input replays alone.
void resetWindow(TForm1Probe& p)
{
    auto& ui = p.ui();
    ui.Timer2->stop();
    p.RxText().clear();
    p.RxCount() = 0;
    p.comm->setPortOpen(false);
    p.comm->setBytesArriving(false);
    p.comm->setNextInputData({});
    p.comm->inputData();
    p.comm->clearLog();
    p.comm->clearWritten();
    p.connectDirectly();
    p.LastRegister() = 0;
    p.ReplySeen() = false;
    p.LastRequest().reset();
    ui.ComboBox2->setItemIndex(4);
    ui.StatusBar1->setPanelText(0, QString());
    for (int slave = 1; slave <= 16; ++slave) {
        p.DistanceEdits()[slave]->clear();
        p.LinkBoxes()[slave - 1]->setChecked(false);
        p.LinkBoxes()[slave - 1]->setEnabled(false);
    }
    p.failures.clear();
    p.messages.clear();
    QCoreApplication::processEvents();
    // Only start-up empties the memo, and the window remembers whether it holds one empty line; emptying it here
    // behind the window's back would let that carry over from the previous input. Each input starts after a line.
    ui.Memo1->setPlainText(QStringLiteral("start"));
}

} // namespace

// Font lookups keep process-wide caches that the leak check would report after the first input that draws text.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libfreetype.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QPA_FONTDIR", "/usr/share/fonts");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", "/tmp");
    g_app = new QApplication(*argc, *argv);
    g_probe = new TForm1Probe;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    resetWindow(*g_probe);
    Input in(data, size);
    Session session(*g_probe, { QStringLiteral("start") });
    session.run(in);
    return 0;
}
