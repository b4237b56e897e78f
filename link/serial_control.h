// The one serial control of the monitor: the contract the window relies on, with a real and a scripted implementation.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <stdexcept>

namespace orvik {

// Any failure of the serial control: a refused open, a write on a closed port, a malformed setting.
class SerialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Event codes reported through CommEvent, with the classic serial-control numbering.
enum CommEventCode : int {
    kComEvSend = 1,
    kComEvReceive = 2, // bytes are waiting
    kComEventBreak = 1001,
    kComEventFrame = 1004,
    kComEventOverrun = 1006,
    kComEventRxOver = 1008,
    kComEventRxParity = 1009,
    kComEventPortLost = 1100, // the device vanished; the control has closed the port
};

enum class InputMode { Text = 0, Binary = 1 };

class SerialControl {
public:
    using CommHandler = std::function<void(SerialControl* sender)>;

    virtual ~SerialControl() = default;

    // Which port the next open uses (COM<n>).
    virtual void setCommPort(int port) = 0;
    virtual int commPort() const = 0;

    // "9600,N,8,1": rate, parity, data bits, stop bits. Throws SerialError on a malformed text.
    virtual void setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;

    virtual void setInputLen(int len) = 0;
    virtual void setInBufferSize(int size) = 0;
    virtual void setOutBufferSize(int size) = 0;
    virtual void setRThreshold(int threshold) = 0;
    virtual void setInputMode(InputMode mode) = 0;

    // true opens (throws SerialError when the port is missing or in use), false closes (never throws when
    // already closed). Opening empties whatever the line delivered before the open.
    virtual void setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    // Queues the bytes for transmission and returns at once. Throws SerialError on a closed port.
    virtual void setOutputData(const QByteArray& bytes) = 0;

    // Removes and returns every byte the control holds.
    virtual QByteArray inputData() = 0;
    // Bytes the control holds; writing 0 discards them (never bytes still in the driver).
    virtual int inBufferCount() const = 0;
    virtual void setInBufferCount(int count) = 0;

    // Whether bytes have reached the driver that the control has not taken in yet: their receive event is still to
    // come. Lets the end-of-frame timer tell a quiet line from a program that was too busy to look.
    virtual bool bytesArriving() const { return false; }

    // Code of the event being reported, read inside the receive handler.
    virtual int commEvent() const = 0;

    // The receive event. Dropped while unset; assigning again replaces, so it runs once per event.
    void setOnComm(CommHandler handler) { m_onComm = std::move(handler); }
    bool hasOnComm() const { return static_cast<bool>(m_onComm); }

protected:
    void fireOnComm()
    {
        if (m_onComm) m_onComm(this);
    }

private:
    CommHandler m_onComm;
};

} // namespace orvik
