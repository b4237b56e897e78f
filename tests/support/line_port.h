// The program's end of a pseudo-terminal, opened by path as the monitor opens it: raw 8N1 at a chosen speed, written
// to and listened on with the time of each read.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QTest>
#include <algorithm>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace orvik::test {

inline speed_t speedOf(int baud)
{
    switch (baud) {
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

struct Heard {
    QByteArray bytes;
    QList<qint64> chunkMs; // when each read returned, from the last write
    qint64 firstMs() const { return chunkMs.isEmpty() ? -1 : chunkMs.front(); }
};

// The monitor's end of the line: the pty slave opened through the link, raw 8N1 at a chosen speed.
class LinePort {
public:
    ~LinePort()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool open(const QString& path, int baud)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return m_fd >= 0 && setBaud(baud);
    }
    bool setBaud(int baud)
    {
        const speed_t speed = speedOf(baud);
        termios tio {};
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        cfsetspeed(&tio, speed);
        const bool ok = tcsetattr(m_fd, TCSANOW, &tio) == 0;
        tcflush(m_fd, TCIFLUSH);
        return ok;
    }
    void write(const QByteArray& bytes)
    {
        m_clock.start();
        QCOMPARE(::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
    }
    // Collects what comes until `quietMs` pass without a byte (after the first), or `maxMs` pass in all.
    Heard listen(int quietMs, int maxMs = 3000)
    {
        Heard heard;
        QElapsedTimer total;
        total.start();
        while (total.elapsed() < maxMs) {
            pollfd p { m_fd, POLLIN, 0 };
            const int wait = heard.bytes.isEmpty() ? static_cast<int>(maxMs - total.elapsed()) : quietMs;
            if (::poll(&p, 1, std::max(wait, 0)) <= 0 || !(p.revents & POLLIN)) break;
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) break;
            heard.bytes.append(buffer, n);
            heard.chunkMs.append(m_clock.elapsed());
        }
        return heard;
    }
    // The far end has closed the line: the slave reports a hang-up.
    bool hungUp() const
    {
        pollfd p { m_fd, POLLIN, 0 };
        return ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
    }
    QByteArray ask(const QByteArray& request, int quietMs = 300)
    {
        write(request);
        return listen(quietMs).bytes;
    }

private:
    int m_fd = -1;
    QElapsedTimer m_clock;
};

} // namespace orvik::test
