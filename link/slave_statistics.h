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

    // A poll went out to slave; its last byte left the adapter at lastByteOutUs (a monotonic clock, microseconds).
    void pollSent(quint8 slave, qint64 lastByteOutUs);
    // The polled slave answered, intact or damaged, with the frame's last byte at frameEndUs. Only the first answer
    // to a poll counts.
    void answered(quint8 slave, bool intact, qint64 frameEndUs);
    // The poll of slave got no answer by the next tick.
    void unanswered(quint8 slave);

    // "轮询 12 · 应答 11 · 校验错 0 · 无应答 1 · 响应 9.8 ms（中位 9.7 ms）"; "响应 —" before any answer.
    // Empty for an address outside 1 to 16.
    QString describe(quint8 slave) const;

private:
    struct Slave {
        quint32 polls = 0;
        quint32 answers = 0;
        quint32 damaged = 0;
        quint32 silent = 0;
        bool awaiting = false;
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
};

} // namespace orvik
