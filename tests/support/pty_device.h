// A device on the far end of a pseudo-terminal: the test owns the master and keeps one slave descriptor open, so the
// master never reads EIO while the program under test has the slave closed.
#pragma once

#include <QByteArray>
#include <QString>

namespace orvik::test {

// The line as the program last configured it, read on the master.
struct LineState {
    unsigned baud = 0;
    bool twoStopBits = false;
};

class PtyDevice {
public:
    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    QString slavePath() const { return m_slavePath; }
    void send(const QByteArray& bytes); // towards the program
    QByteArray heard(); // everything the program wrote so far, without waiting
    LineState lineState() const;
    // The device vanishes: the program's descriptor reads EIO from now on.
    void unplug();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QByteArray m_heard;
};

LineState readLineState(int masterFd); // in its own file: the kernel's termios2 clashes with <termios.h>

} // namespace orvik::test
