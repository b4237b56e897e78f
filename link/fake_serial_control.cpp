#include "fake_serial_control.h"

#include "serial_settings.h"

#include <QSet>
#include <algorithm>
#include <utility>

namespace orvik {

namespace {

// The ports some fake holds open in this process: a second open of one fails, as the real port's lock makes it.
QSet<int>& portsInUse()
{
    static QSet<int> ports;
    return ports;
}

} // namespace

FakeSerialControl::~FakeSerialControl()
{
    if (m_open) portsInUse().remove(m_openPort);
}

void FakeSerialControl::setSettings(const QString& settings)
{
    m_baud = parseSettings(settings).baud;
    m_settings = settings;
    m_log.append(QStringLiteral("settings ") + settings);
}

void FakeSerialControl::setPortOpen(bool open)
{
    if (!open) {
        if (m_open) {
            m_open = false;
            m_input.clear(); // what waited goes with the session
            portsInUse().remove(m_openPort);
            m_log.append(QStringLiteral("close"));
        }
        return;
    }
    const QString name = QStringLiteral("COM%1").arg(m_commPort);
    if (m_open) throw SerialError((name + QStringLiteral(" is already open")).toStdString());
    const bool refused
        = portsInUse().contains(m_commPort) || (m_openPolicy ? !m_openPolicy(m_commPort, m_settings) : m_refuseOpen);
    if (refused) {
        m_log.append(QStringLiteral("refused ") + name);
        throw SerialError(("Cannot open " + name + ": the port is in use").toStdString());
    }
    m_open = true;
    m_input.clear();
    m_openPort = m_commPort;
    portsInUse().insert(m_openPort);
    m_log.append(QStringLiteral("open ") + name);
}

void FakeSerialControl::setOutputData(const QByteArray& bytes)
{
    if (!m_open) throw SerialError(QStringLiteral("COM%1: the port is not open").arg(m_commPort).toStdString());
    m_written.append(bytes);
    m_log.append(QStringLiteral("write ") + QString::fromLatin1(bytes.toHex(' ').toUpper()));
    if (onWrite) onWrite(bytes);
}

QByteArray FakeSerialControl::inputData()
{
    if (m_inputDataFails) throw SerialError("Reading the received bytes failed");
    if (m_nextInput) {
        QByteArray scripted = *std::exchange(m_nextInput, std::nullopt);
        m_input.clear();
        return scripted;
    }
    const qsizetype take = m_inputLen > 0 ? std::min<qsizetype>(m_inputLen, m_input.size()) : m_input.size();
    const QByteArray taken = m_input.left(take);
    m_input.remove(0, take);
    return taken;
}

void FakeSerialControl::setInBufferCount(int count)
{
    if (count == 0) m_input.clear();
}

void FakeSerialControl::deliver(const QByteArray& chunk)
{
    if (!m_open) return;
    m_input.append(chunk);
    if (m_rThreshold > 0 && m_input.size() >= m_rThreshold) deliverEvent(kComEvReceive);
}

void FakeSerialControl::deliverEvent(int code)
{
    m_commEvent = code;
    fireOnComm();
}

void FakeSerialControl::setNextInputData(const QByteArray& bytes)
{
    m_nextInput = bytes;
}

} // namespace orvik
