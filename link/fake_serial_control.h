// A scripted serial control for tests: records what the program sends and delivers what a test chooses.
#pragma once

#include "serial_control.h"

#include <QList>
#include <QStringList>
#include <optional>

namespace orvik {

// Behaves like the real control where the program can tell (throws on a write to a closed port, on malformed
// settings and on a refused open; a port another fake holds open is refused; an open empties the input and so does
// a close; bytes delivered to a closed port are lost) and reports everything synchronously, inside the test's own
// call. tests/serial/tst_serial_contract.cpp runs both controls through the same cases.
class FakeSerialControl final : public SerialControl {
public:
    using OpenPolicy = std::function<bool(int port, const QString& settings)>;

    FakeSerialControl() = default;
    ~FakeSerialControl() override;
    FakeSerialControl(const FakeSerialControl&) = delete;
    FakeSerialControl& operator=(const FakeSerialControl&) = delete;

    void setCommPort(int port) override { m_commPort = port; }
    int commPort() const override { return m_commPort; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }
    void setInputLen(int len) override { m_inputLen = len; }
    void setInBufferSize(int size) override { m_inBufferSize = size; }
    void setOutBufferSize(int size) override { m_outBufferSize = size; }
    void setRThreshold(int threshold) override { m_rThreshold = threshold; }
    void setInputMode(InputMode mode) override { m_inputMode = mode; }
    void setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    void setOutputData(const QByteArray& bytes) override;
    QByteArray inputData() override;
    int inBufferCount() const override { return static_cast<int>(m_input.size()); }
    bool bytesArriving() const override { return m_open && m_arriving; }
    // Pretends the driver holds bytes whose receive event has not come yet.
    void setBytesArriving(bool arriving) { m_arriving = arriving; }
    void setInBufferCount(int count) override;
    int commEvent() const override { return m_commEvent; }

    // What the program configured, for tests of its start-up.
    int inputLen() const { return m_inputLen; }
    int inBufferSize() const { return m_inBufferSize; }
    int outBufferSize() const { return m_outBufferSize; }
    int rThreshold() const { return m_rThreshold; }
    InputMode inputMode() const { return m_inputMode; }

    // Every frame written, in order, and a log of "settings <text>", "open COM<n>", "refused COM<n>", "close".
    QList<QByteArray> written() const { return m_written; }
    QStringList log() const { return m_log; }
    void clearLog() { m_log.clear(); }
    void clearWritten() { m_written.clear(); }

    // The rate of the current settings: a scripted device answers only when it matches its own.
    int currentBaud() const { return m_baud; }

    // Opening fails while refused; a policy, when set, decides instead.
    void setRefuseOpen(bool refuse) { m_refuseOpen = refuse; }
    void setOpenPolicy(OpenPolicy policy) { m_openPolicy = std::move(policy); }

    // Called after each write with the frame. Answer through a QTimer, not by calling deliver() at once, or the
    // receive event would run inside the program's send.
    std::function<void(const QByteArray& frame)> onWrite;

    // Appends the bytes and reports a receive event (code 2) at once, as the real control does once the threshold is
    // reached. A closed port receives nothing.
    void deliver(const QByteArray& chunk);
    // Reports an event with any code, e.g. kComEventBreak or kComEventPortLost.
    void deliverEvent(int code);
    // The next inputData() returns this instead of the waiting bytes (which it still removes).
    void setNextInputData(const QByteArray& bytes);
    // While set, inputData() throws SerialError.
    void setInputDataFails(bool fails) { m_inputDataFails = fails; }

private:
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_baud = 9600;
    int m_inputLen = 0;
    int m_inBufferSize = 1024;
    int m_outBufferSize = 512;
    int m_rThreshold = 1;
    InputMode m_inputMode = InputMode::Binary;
    bool m_open = false;
    int m_openPort = 0; // the port held while open; setCommPort only names the next one
    bool m_refuseOpen = false;
    OpenPolicy m_openPolicy;
    QByteArray m_input;
    std::optional<QByteArray> m_nextInput;
    bool m_inputDataFails = false;
    bool m_arriving = false;
    int m_commEvent = 0;
    QList<QByteArray> m_written;
    QStringList m_log;
};

} // namespace orvik
