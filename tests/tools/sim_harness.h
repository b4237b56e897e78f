// Starting orvik-sim and talking to its line from a test, the way the monitor does: the sim gets a private ports
// folder through ORVIK_PORTS_DIR and is ready once its banner line is out (the port link is made just before it).
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace orvik::simtest {

inline constexpr int kStartMs = 20000; // generous: the machine is shared and the binary may run under sanitizers

// The test binary names the program it was built with; elsewhere orvik-sim is taken from PATH.
inline QString simProgram()
{
#ifdef ORVIK_SIM_PATH
    return QStringLiteral(ORVIK_SIM_PATH);
#else
    return QStringLiteral("orvik-sim");
#endif
}

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

inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
inline QString wire(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// One orvik-sim process with its own ports folder. Ready once its banner is out: the link is made before it.
class SimRun {
public:
    explicit SimRun(const QString& portsDir, const QString& program = simProgram())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVIK_PORTS_DIR"), portsDir);
        m_process.setProcessEnvironment(env);
        m_process.setProgram(program);
    }
    ~SimRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start(const QStringList& args)
    {
        m_process.setArguments(args);
        m_process.start();
        const bool ready
            = QTest::qWaitFor([this] { return output().contains(u"orvik-sim: ") || finished(); }, kStartMs);
        return ready && !finished();
    }
    QString output()
    {
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_out;
    }
    bool waitForOutput(const QString& text, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return output().contains(text); }, ms);
    }
    bool finished() const { return m_process.state() == QProcess::NotRunning; }
    bool waitForExit(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return finished(); }, ms);
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_out;
};

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

} // namespace orvik::simtest
