#include "qt_serial_control.h"

#include "port_listing.h"

#include <QFileInfo>
#include <QMetaObject>
#include <algorithm>
#include <limits>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace orvik {

namespace {

QSerialPort::Parity toQt(LineParity parity)
{
    switch (parity) {
    case LineParity::Even:
        return QSerialPort::EvenParity;
    case LineParity::Odd:
        return QSerialPort::OddParity;
    case LineParity::Mark:
        return QSerialPort::MarkParity;
    case LineParity::Space:
        return QSerialPort::SpaceParity;
    case LineParity::None:
        break;
    }
    return QSerialPort::NoParity;
}

// Linux has one stop-bit flag. A UART with 5-bit words sends 1.5 stop bits for it, and with longer words the
// second stop bit is harmless: a receiver checks only the first.
QSerialPort::StopBits toQt(LineStopBits stopBits)
{
    return stopBits == LineStopBits::One ? QSerialPort::OneStop : QSerialPort::TwoStop;
}

// Lets the driver hand each byte over at once instead of batching; ptys and many USB drivers refuse it.
bool enableLowLatency(int fd)
{
    serial_struct serial {};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
    serial.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

[[noreturn]] void fail(const QString& message)
{
    throw SerialError(message.toStdString());
}

} // namespace

QtSerialControl::QtSerialControl()
{
    QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] { onReadyRead(); });
    QObject::connect(
        &m_port, &QSerialPort::errorOccurred, &m_port, [this](QSerialPort::SerialPortError error) { onError(error); });
}

QtSerialControl::~QtSerialControl()
{
    // Nothing may call back into this half-destroyed object while the port closes.
    QObject::disconnect(&m_port, nullptr, nullptr, nullptr);
    closePort();
}

void QtSerialControl::setSettings(const QString& settings)
{
    const LineSettings parsed = parseSettings(settings);
    if (m_port.isOpen()) {
        try {
            applySettings(parsed);
        } catch (const SerialError&) {
            applySettings(m_settings); // a half-applied line (new rate, old parity) helps nobody
            throw;
        }
    }
    m_settings = parsed;
    m_settingsText = settings;
}

void QtSerialControl::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

void QtSerialControl::openPort()
{
    if (m_port.isOpen()) fail(QStringLiteral("COM%1 is already open").arg(m_commPort));
    QString why;
    std::optional<PortEntry> entry;
    if (!m_portPath.isEmpty()) {
        // Qt's lock file follows the name opened, so the resolved device is opened, as for COM<n>.
        const QString device = QFileInfo(m_portPath).canonicalFilePath();
        if (device.isEmpty()) fail(QStringLiteral("Cannot open %1: no such device").arg(m_portPath));
        entry = PortEntry {};
        entry->name = m_portPath;
        entry->devicePath = device;
    } else {
        entry = listedPort(m_commPort, &why);
    }
    if (!entry) fail(why);

    m_port.setPortName(entry->devicePath);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QString reason = m_port.errorString();
        m_port.clearError();
        fail(QStringLiteral("Cannot open %1 (%2): %3").arg(entry->name, entry->devicePath, reason));
    }
    try {
        applySettings(m_settings);
    } catch (...) {
        m_port.close();
        throw;
    }
    // The driver keeps what the line delivered before the open; none of it belongs to this session.
    m_port.clear(QSerialPort::Input);
    m_lowLatency = enableLowLatency(m_port.handle());
    m_devicePath = entry->devicePath;
    ++m_session;
}

void QtSerialControl::closePort()
{
    if (!m_port.isOpen()) return;
    // Hand queued output to the driver, which sends it before the device is released.
    m_port.flush();
    m_port.close();
    m_port.clearError();
    m_devicePath.clear();
    ++m_session;
}

void QtSerialControl::applySettings(const LineSettings& settings)
{
    const bool ok = m_port.setBaudRate(settings.baud) && m_port.setParity(toQt(settings.parity))
        && m_port.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits))
        && m_port.setStopBits(toQt(settings.stopBits)) && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        const QString reason = m_port.errorString();
        m_port.clearError();
        fail(QStringLiteral("COM%1 refuses the line settings: %2").arg(m_commPort).arg(reason));
    }
}

void QtSerialControl::setOutputData(const QByteArray& bytes)
{
    if (!m_port.isOpen()) fail(QStringLiteral("COM%1: the port is not open").arg(m_commPort));
    if (m_port.write(bytes) != bytes.size()) {
        const QString reason = m_port.errorString();
        m_port.clearError();
        fail(QStringLiteral("COM%1: write failed: %2").arg(m_commPort).arg(reason));
    }
    // Into the driver now, as a hardware control would, rather than at the next turn of the event loop.
    m_port.flush();
}

QByteArray QtSerialControl::inputData()
{
    return m_inputLen > 0 ? m_port.read(m_inputLen) : m_port.readAll();
}

bool QtSerialControl::bytesArriving() const
{
    int pending = 0;
    return m_port.isOpen() && ::ioctl(m_port.handle(), FIONREAD, &pending) == 0 && pending > 0;
}

int QtSerialControl::inBufferCount() const
{
    return static_cast<int>(std::min<qint64>(m_port.bytesAvailable(), std::numeric_limits<int>::max()));
}

void QtSerialControl::setInBufferCount(int count)
{
    // Only what Qt already holds: QSerialPort::clear() would also flush bytes still in the driver and lose them.
    if (count == 0) m_port.skip(m_port.bytesAvailable());
}

void QtSerialControl::onReadyRead()
{
    if (m_rThreshold > 0 && m_port.bytesAvailable() >= m_rThreshold) report(kComEvReceive);
}

void QtSerialControl::onError(QSerialPort::SerialPortError error)
{
    if (!m_port.isOpen() || (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)) return;
    // A vanished device keeps the descriptor readable with EIO, and Qt reports that error in a busy loop until the
    // port is closed. The report waits for the event loop so that it never interrupts a caller mid-send.
    m_port.close();
    m_port.clearError();
    m_devicePath.clear();
    QMetaObject::invokeMethod(
        &m_port,
        [this, lostSession = m_session] {
            if (lostSession == m_session) report(kComEventPortLost);
        },
        Qt::QueuedConnection);
}

void QtSerialControl::report(int code) noexcept
{
    m_commEvent = code;
    // A throw must not unwind through QSerialPort's notifier code: its state would be left half-updated.
    try {
        fireOnComm();
    } catch (const std::exception& failure) {
        qCritical("Serial event handler failed: %s", failure.what());
    } catch (...) {
        qCritical("Serial event handler failed");
    }
}

} // namespace orvik
