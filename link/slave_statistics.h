// How each slave on the line has answered its polls since the last connect: what a commissioning engineer needs to
// find the flaky sensor.
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <map>

namespace orvik {

class SlaveStatistics {
public:
    // Forgets everything: a new connect starts new counts.
    void reset();

    // A request went out to address; its last byte left the adapter at lastByteOutUs (a monotonic clock,
    // microseconds). One request is on the line at a time: a poll still waiting for its answer when the next
    // request goes (the next tick's poll, or a device command that cut it short) is counted unanswered. A request to
    // a slave is counted as its poll. Returns the slave whose poll was just counted unanswered, 0 for none.
    quint8 requestSent(quint8 address, qint64 lastByteOutUs);
    // The polled slave answered, intact or damaged, with the frame's last byte at frameEndUs. Only the first answer
    // to the waiting poll counts.
    void answered(quint8 slave, bool intact, qint64 frameEndUs);

    // "轮询 12 · 应答 11 · 校验错 0 · 无应答 1 · 响应 9.8 ms（中位 9.7 ms）"; "响应 —" before any answer.
    // 轮询 is always 应答 + 校验错 + 无应答, plus one while the slave's poll still waits. Empty for an address
    // outside 1 to 16.
    QString describe(quint8 slave) const;

private:
    struct Slave {
        quint32 polls = 0;
        quint32 answers = 0;
        quint32 damaged = 0;
        quint32 silent = 0;
        qint64 lastByteOutUs = 0;
        qint32 lastTenthsMs = -1;
        // Response times in tenths of a millisecond with how often each occurred: the exact median at the shown
        // resolution, in memory that grows with the spread of the times, not with the length of the run.
        std::map<qint32, quint32> times;
        quint32 timed = 0;
    };

    Slave* slot(quint8 slave);
    const Slave* slot(quint8 slave) const;
    static qint32 medianTenthsMs(const Slave& s);

    std::array<Slave, 16> m_slaves {};
    quint8 m_waiting = 0; // the slave whose poll is on the line, 0 for none
};

} // namespace orvik
