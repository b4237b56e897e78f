#include "sensor_line.h"

#include "line_rate.h"
#include "wire.h"

#include <QStringList>

#include <algorithm>

namespace orvik::sim {

namespace {

constexpr int kMaxReadCount = 125; // the most registers one Modbus read may ask for
constexpr int kDistanceHigh = 21; // distance: signed 32 bits of 0.1 mm, high word first
constexpr int kDistanceLow = 22;
constexpr quint16 kModeContinuous = 2;

struct Request {
    quint8 address;
    quint8 function;
    int reg;
    quint16 value; // count for reads
};

Request requestOf(const QByteArray& frame)
{
    const auto at = [&](int i) { return static_cast<quint8>(frame[i]); };
    return { at(0), at(1), at(2) * 256 + at(3), static_cast<quint16>(at(4) * 256 + at(5)) };
}

QString errorText(ModbusError error)
{
    switch (error) {
    case ModbusError::IllegalFunction:
        return QStringLiteral("exception 01 illegal function");
    case ModbusError::IllegalAddress:
        return QStringLiteral("exception 02 illegal data address");
    case ModbusError::IllegalValue:
        return QStringLiteral("exception 03 illegal data value");
    }
    return {};
}

Outcome exceptionReply(Outcome out, const Request& req, ModbusError error)
{
    const char bytes[]
        = { static_cast<char>(req.address), static_cast<char>(req.function | 0x80U), static_cast<char>(error) };
    out.reply = withCrc(QByteArray(bytes, sizeof bytes));
    out.replyNote = errorText(error);
    return out;
}

QByteArray readReply(quint8 address, const QList<quint16>& values)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(address));
    bytes.append(char { 3 });
    bytes.append(static_cast<char>(values.size() * 2));
    for (const quint16 v : values) {
        bytes.append(static_cast<char>(v >> 8));
        bytes.append(static_cast<char>(v & 0xFFU));
    }
    return withCrc(bytes);
}

quint16 distanceWord(qint32 distance, int reg)
{
    const auto raw = static_cast<quint32>(distance);
    return static_cast<quint16>(reg == kDistanceHigh ? raw >> 16 : raw & 0xFFFFU);
}

QString readText(const Request& req)
{
    return QStringLiteral("read %1 reg %2 x%3").arg(req.address).arg(req.reg).arg(req.value);
}

// Reads and writes are always 8 bytes; anything else is a frame this line does not understand.
bool wellFormed(const QByteArray& frame, const Request& req, Outcome& out)
{
    if ((req.function == 3 || req.function == 6) && frame.size() != 8) {
        out.request = QStringLiteral("ignored: function %1 frame of %2 bytes").arg(req.function).arg(frame.size());
        return false;
    }
    return true;
}

} // namespace

SensorLine::SensorLine(LineConfig config)
    : m_config(std::move(config))
    , m_distance(m_config.distance.at(0, 0.0))
{
}

Outcome SensorLine::handle(const RxFrame& frame, double seconds)
{
    Outcome out;
    if (frame.baud != m_config.baud) {
        out.wrongSpeed = true;
        out.request = QStringLiteral("ignored: speed %1 != %2").arg(frame.baud).arg(m_config.baud);
    } else if (frame.overflow) {
        out.request = QStringLiteral("ignored: longer than %1 bytes").arg(SilenceFramer::kMaxFrame);
    } else if (frame.bytes.size() < 4) {
        out.request = QStringLiteral("ignored: too short");
    } else if (!crcValid(frame.bytes)) {
        out.request = QStringLiteral("ignored: bad crc");
    } else {
        const auto address = static_cast<quint8>(frame.bytes[0]);
        if (address == kConfigAddress) return handleConfig(frame.bytes, seconds);
        if (m_config.slaves.contains(address)) return handleSensor(frame.bytes, seconds);
        out.request = QStringLiteral("ignored: address %1 not served").arg(address);
    }
    return out;
}

Outcome SensorLine::handleConfig(const QByteArray& frame, double seconds)
{
    Outcome out;
    const Request req = requestOf(frame);
    if (!wellFormed(frame, req, out)) return out;
    // The answer goes out under the address the device had when it was asked (a write of 20 changes it after).
    Request answer = req;
    answer.address = m_config.answerUnder255 ? kConfigAddress : static_cast<quint8>(m_logical);
    if (req.function == 3) {
        out.request = readText(req);
        // In continuous mode the distance registers follow the target; otherwise they hold the last measurement.
        if (m_mode == kModeContinuous) m_distance = m_config.distance.at(0, seconds);
        if (req.value < 1 || req.value > kMaxReadCount)
            return exceptionReply(std::move(out), answer, ModbusError::IllegalValue);
        QList<quint16> values;
        for (int reg = req.reg; reg < req.reg + req.value; ++reg) {
            const std::optional<quint16> v = configRegister(reg);
            if (!v) return exceptionReply(std::move(out), answer, ModbusError::IllegalAddress);
            values.append(*v);
        }
        out.reply = readReply(answer.address, values);
        if (req.reg == 17 && req.value == 6)
            out.replyNote = QStringLiteral("device info");
        else if (req.value == 1)
            out.replyNote = QStringLiteral("register %1").arg(req.reg);
        else
            out.replyNote = QStringLiteral("registers %1-%2").arg(req.reg).arg(req.reg + req.value - 1);
    } else if (req.function == 6) {
        out.request = QStringLiteral("write %1 reg %2 = %3").arg(req.address).arg(req.reg).arg(req.value);
        const std::optional<int> rate = rateFromRegister(req.value);
        if (req.reg == 24)
            out.request += rate ? QStringLiteral(" (%1 baud)").arg(*rate) : QStringLiteral(" (no such rate)");
        if (const std::optional<ModbusError> error = writeConfig(req.reg, req.value, seconds))
            return exceptionReply(std::move(out), answer, *error);
        out.reply = withCrc(QByteArray(1, static_cast<char>(answer.address)) + frame.mid(1, 5));
        out.replyNote = QStringLiteral("echo write reg %1").arg(req.reg);
        if (req.reg == 24) out.switchRate = rate;
    } else {
        out.request = QStringLiteral("function %1 to %2").arg(req.function).arg(req.address);
        return exceptionReply(std::move(out), answer, ModbusError::IllegalFunction);
    }
    return out;
}

Outcome SensorLine::handleSensor(const QByteArray& frame, double seconds)
{
    Outcome out;
    const Request req = requestOf(frame);
    if (!wellFormed(frame, req, out)) return out;
    if (req.function == 6) {
        out.request = QStringLiteral("write %1 reg %2 = %3").arg(req.address).arg(req.reg).arg(req.value);
        return exceptionReply(std::move(out), req, ModbusError::IllegalAddress);
    }
    if (req.function != 3) {
        out.request = QStringLiteral("function %1 to %2").arg(req.function).arg(req.address);
        return exceptionReply(std::move(out), req, ModbusError::IllegalFunction);
    }
    out.request = readText(req);
    if (req.value < 1 || req.value > kMaxReadCount)
        return exceptionReply(std::move(out), req, ModbusError::IllegalValue);
    // A sensor keeps only its distance.
    if (req.reg < kDistanceHigh || req.reg + req.value - 1 > kDistanceLow)
        return exceptionReply(std::move(out), req, ModbusError::IllegalAddress);
    const qint32 distance = m_config.distance.at(req.address, seconds);
    QList<quint16> values;
    for (int reg = req.reg; reg < req.reg + req.value; ++reg)
        values.append(distanceWord(distance, reg));
    out.reply = readReply(req.address, values);
    out.replyNote
        = QStringLiteral("distance %1 = %2 (%3 m)").arg(req.address).arg(distance).arg(distance / 10000.0, 0, 'f', 4);
    return out;
}

std::optional<quint16> SensorLine::configRegister(int reg) const
{
    switch (reg) {
    case 16:
        return 0;
    case 17:
        return m_mode;
    case 18:
        return m_config.physicalAddress;
    case 19:
        return m_delay;
    case 20:
        return m_logical;
    case kDistanceHigh:
    case kDistanceLow:
        return distanceWord(m_distance, reg);
    case 24:
        return registerFromRate(m_config.baud);
    case 88:
        return m_service;
    default:
        return std::nullopt;
    }
}

std::optional<ModbusError> SensorLine::writeConfig(int reg, quint16 value, double seconds)
{
    switch (reg) {
    case 16:
        if (value != 1) return ModbusError::IllegalValue;
        m_distance = m_config.distance.at(0, seconds);
        return std::nullopt;
    case 17:
        if (value > 3) return ModbusError::IllegalValue;
        m_mode = value;
        return std::nullopt;
    case 19:
        m_delay = value;
        return std::nullopt;
    case 20:
        if (value < 1 || value > 64) return ModbusError::IllegalValue;
        m_logical = value;
        return std::nullopt;
    case 24:
        // The rate itself changes only after the echo has left, at the old speed.
        return rateFromRegister(value) ? std::nullopt : std::optional(ModbusError::IllegalValue);
    case 88:
        if (value != 11 && value != 22 && value != 33) return ModbusError::IllegalValue;
        m_service = value;
        return std::nullopt;
    default:
        return ModbusError::IllegalAddress; // read-only (18, 21, 22) or not in the map
    }
}

std::optional<QList<int>> parseSlaves(const QString& text)
{
    QList<int> slaves;
    if (text == u"none") return slaves;
    for (const QString& part : text.split(u',')) {
        const QStringList ends = part.split(u'-');
        if (ends.size() > 2) return std::nullopt;
        bool okFirst = false;
        bool okLast = false;
        const int first = ends.front().toInt(&okFirst);
        const int last = ends.back().toInt(&okLast);
        if (!okFirst || !okLast || first < 1 || last > 16 || first > last) return std::nullopt;
        for (int s = first; s <= last; ++s) {
            if (!slaves.contains(s)) slaves.append(s);
        }
    }
    std::sort(slaves.begin(), slaves.end());
    return slaves;
}

QString describeSlaves(const QList<int>& slaves)
{
    if (slaves.isEmpty()) return QStringLiteral("none");
    QStringList runs;
    for (qsizetype i = 0; i < slaves.size();) {
        qsizetype j = i;
        while (j + 1 < slaves.size() && slaves[j + 1] == slaves[j] + 1)
            ++j;
        if (j - i >= 2) {
            runs.append(QStringLiteral("%1-%2").arg(slaves[i]).arg(slaves[j]));
            i = j + 1;
        } else {
            runs.append(QString::number(slaves[i]));
            ++i;
        }
    }
    return runs.join(u',');
}

} // namespace orvik::sim
