#include "pty_line.h"

#include "pty_speed.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace orvik::sim {

PtyLine::~PtyLine()
{
    close();
}

bool PtyLine::open(QString* error)
{
    char name[128] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // A fresh pty is cooked with echo on; a listener that restores the settings on close would then get its own
    // bytes back. Start raw at 9600, 8N1, like an unconfigured serial port.
    termios tio {};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    tio.c_cflag |= CLOCAL | CREAD;
    tcsetattr(m_slave, TCSANOW, &tio);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    return true;
}

void PtyLine::close()
{
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
    m_master = -1;
    m_slave = -1;
}

int PtyLine::speed() const
{
    return m_master >= 0 ? ptySpeed(m_master) : 0;
}

QByteArray PtyLine::readAll()
{
    QByteArray bytes;
    char buffer[512];
    while (m_master >= 0) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break; // EAGAIN: drained
    }
    return bytes;
}

qsizetype PtyLine::write(QByteArrayView bytes)
{
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    return done;
}

} // namespace orvik::sim
