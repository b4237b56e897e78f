// The serial control over Qt SerialPort: lives on the thread that creates it and reports there.
#pragma once

#include "serial_control.h"
#include "serial_settings.h"

#include <QSerialPort>

namespace orvik {

// Opens COM<n> as the last port listing showed it (port_listing.h), by the device's resolved path, so that two
// names for one device lock each other. Bytes from before an open never reach the program. When the device vanishes the
// port is closed and one event with kComEventPortLost is reported, later and on its own, never inside a call.
class QtSerialControl final : public SerialControl {
public:
    QtSerialControl();
    ~QtSerialControl() override;
    QtSerialControl(const QtSerialControl&) = delete;
    QtSerialControl& operator=(const QtSerialControl&) = delete;

    void setCommPort(int port) override { m_commPort = port; }
    int commPort() const override { return m_commPort; }
    // When set, opens this path instead of COM<n>, its links resolved again at every open: a /dev/serial/by-id name
    // follows its adapter to whichever ttyUSB number it gets when plugged back in.
    void setPortPath(const QString& path) { m_portPath = path; }

    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settingsText; }

    // 0 takes every waiting byte; n takes at most n per read.
    void setInputLen(int len) override { m_inputLen = len; }
    // Qt's buffers grow as needed; capping the read buffer would only leave bytes in the driver, so sizes are kept
    // for the record and change nothing.
    void setInBufferSize(int size) override { m_inBufferSize = size; }
    void setOutBufferSize(int size) override { m_outBufferSize = size; }
    // A receive event is reported once at least this many bytes wait; 0 turns receive events off.
    void setRThreshold(int threshold) override { m_rThreshold = threshold; }
    void setInputMode(InputMode mode) override { m_inputMode = mode; }

    void setPortOpen(bool open) override;
    bool portOpen() const override { return m_port.isOpen(); }

    void setOutputData(const QByteArray& bytes) override;
    QByteArray inputData() override;
    int inBufferCount() const override;
    bool bytesArriving() const override;
    void setInBufferCount(int count) override;
    int commEvent() const override { return m_commEvent; }

    // The real device of the open port (empty when closed), for diagnostics.
    QString devicePath() const { return m_devicePath; }
    // Whether the driver accepted low-latency mode at the last open (pseudo-terminals refuse it).
    bool lowLatency() const { return m_lowLatency; }

private:
    void openPort();
    void closePort();
    void applySettings(const LineSettings& settings);
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void report(int code) noexcept;

    QSerialPort m_port;
    int m_commPort = 1;
    QString m_portPath;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    LineSettings m_settings;
    int m_inputLen = 0;
    int m_inBufferSize = 1024;
    int m_outBufferSize = 512;
    int m_rThreshold = 1;
    InputMode m_inputMode = InputMode::Binary;
    int m_commEvent = 0;
    QString m_devicePath;
    bool m_lowLatency = false;
    // Changes on every open and deliberate close: a loss report from an earlier session is stale.
    quint64 m_session = 0;
};

} // namespace orvik
