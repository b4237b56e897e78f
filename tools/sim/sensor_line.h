// The devices on the simulated line: the one being configured (asked at address 255) and the distance sensors 1..16.
#pragma once

#include "distance_source.h"
#include "silence_framer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace orvik::sim {

struct LineConfig {
    int baud = 9600; // the rate every device on the line runs at
    quint8 physicalAddress = 1;
    // The device being configured is asked at 255 and answers under its logical address, as real devices do; set,
    // it answers under 255 instead, as some firmware does.
    bool answerUnder255 = false;
    QList<int> slaves { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 }; // sorted, distinct, 1..16
    DistanceSource distance = DistanceSource::wave();
};

// What the line made of one frame.
struct Outcome {
    QString request; // the frame as the device understood it, or why it was ignored
    QByteArray reply; // empty: the line stays silent
    QString replyNote; // what the reply carries
    std::optional<int> switchRate; // the devices move to this rate once the reply has left
    bool wrongSpeed = false; // heard at a speed other than the devices' own
};

// Modbus exception codes the devices answer with.
enum class ModbusError : quint8 { IllegalFunction = 1, IllegalAddress = 2, IllegalValue = 3 };

class SensorLine {
public:
    static constexpr quint8 kConfigAddress = 255;

    explicit SensorLine(LineConfig config);

    // Handles one frame, `seconds` after the line came up.
    Outcome handle(const RxFrame& frame, double seconds);

    int rate() const { return m_config.baud; }
    void switchRate(int rate) { m_config.baud = rate; }

private:
    Outcome handleConfig(const QByteArray& frame, double seconds);
    Outcome handleSensor(const QByteArray& frame, double seconds);
    std::optional<quint16> configRegister(int reg) const;
    // Stores a write; an error when the register cannot take the value.
    std::optional<ModbusError> writeConfig(int reg, quint16 value, double seconds);

    LineConfig m_config;
    quint16 m_mode = 0;
    quint16 m_delay = 0;
    quint16 m_logical = 1;
    quint16 m_service = 0;
    qint32 m_distance = 0;
};

// "1-16", "1,2,5", "none": the served sensors, sorted. None when the text is malformed or out of 1..16.
std::optional<QList<int>> parseSlaves(const QString& text);
// The reverse, with runs folded: "1-3,5".
QString describeSlaves(const QList<int>& slaves);

} // namespace orvik::sim
