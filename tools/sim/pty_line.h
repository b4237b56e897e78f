// The pseudo-terminal that plays the serial line: the simulator owns the master, the monitor opens the slave.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace orvik::sim {

class PtyLine {
public:
    PtyLine() = default;
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;
    ~PtyLine();

    // Opens a pair and keeps a slave descriptor of its own: a master with no slave open reads EIO endlessly.
    bool open(QString* error);
    void close();
    bool isOpen() const { return m_master >= 0; }

    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    int speed() const;

    // Everything waiting on the master.
    QByteArray readAll();
    // Writes without blocking; returns how many bytes the line took (a listener that stopped reading loses the rest).
    qsizetype write(QByteArrayView bytes);

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace orvik::sim
