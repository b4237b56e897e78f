// A device on the fake serial line: answers at its own baud rate only, a few milliseconds after each request.
#pragma once

#include "fake_serial_control.h"
#include "wire_kit.h"

#include <QSet>
#include <QTimer>

class ScriptedDevice : public QObject {
public:
    ScriptedDevice(orvik::FakeSerialControl* line, int baud)
        : m_line(line)
        , m_baud(baud)
    {
        line->onWrite = [this](const QByteArray& frame) { answer(frame); };
    }

    QSet<int> silentSlaves; // polled addresses that never answer
    QSet<int> answeringSlaves { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 };
    int replyDelayMs = 5;
    bool echoWrites = true;
    quint8 deviceAddress = 1; // the configured device is asked at 255 and answers under its own address
    qint32 distanceOf(int slave) const { return 10000 * slave + 1234; }

    void setBaud(int baud) { m_baud = baud; }

private:
    void answer(const QByteArray& request)
    {
        if (m_line->currentBaud() != m_baud || request.size() != 8) return;
        const auto address = quint8(request[0]);
        const auto function = quint8(request[1]);
        const auto reg = quint8(request[3]);
        QByteArray reply;
        if (address == 255 && function == 3 && reg == 17) {
            reply = QByteArray(1, char(deviceAddress)) + QByteArray::fromHex("030C000300070005000100000D05");
        } else if (address >= 1 && address <= 16 && function == 3 && reg == 21 && answeringSlaves.contains(address)
            && !silentSlaves.contains(address)) {
            const qint32 d = distanceOf(address);
            reply = QByteArray(1, char(address)) + QByteArray::fromHex("0304");
            for (int shift : { 24, 16, 8, 0 })
                reply.append(char((d >> shift) & 0xFF));
        } else if (address == 255 && function == 6 && echoWrites) {
            reply = QByteArray(1, char(deviceAddress)) + request.mid(1, 5);
            if (reg == 24) // the device moves to the new rate once its echo is out
                QTimer::singleShot(replyDelayMs + 1, this, [this, request] { m_baud = rateOf(request); });
        } else {
            return;
        }
        reply = orvik::test::withCrc(reply);
        QTimer::singleShot(replyDelayMs, this, [this, reply] {
            if (m_line->portOpen()) m_line->deliver(reply);
        });
    }

    static int rateOf(const QByteArray& request)
    {
        const int value = (quint8(request[4]) << 8) | quint8(request[5]);
        for (int rate : { 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 })
            if ((rate & 0xFFFF) == value) return rate;
        return 0;
    }

    orvik::FakeSerialControl* m_line;
    int m_baud;
};
