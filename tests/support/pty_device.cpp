#include "pty_device.h"

#include <QtGlobal>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace orvik::test {

PtyDevice::PtyDevice()
{
    char name[128] = {};
    termios raw {};
    ::cfmakeraw(&raw); // a device echoes nothing back and keeps no line buffer
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) qFatal("openpty failed");
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyDevice::~PtyDevice()
{
    unplug();
    ::close(m_slave);
}

void PtyDevice::send(const QByteArray& bytes)
{
    if (::write(m_master, bytes.constData(), size_t(bytes.size())) != bytes.size())
        qFatal("write to the pty master failed");
}

QByteArray PtyDevice::heard()
{
    char chunk[256];
    ssize_t n = 0;
    while (m_master >= 0 && (n = ::read(m_master, chunk, sizeof chunk)) > 0)
        m_heard.append(chunk, n);
    return m_heard;
}

LineState PtyDevice::lineState() const
{
    return readLineState(m_master);
}

void PtyDevice::unplug()
{
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

} // namespace orvik::test
