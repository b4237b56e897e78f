#include "serial_settings.h"

#include "serial_control.h"

#include <QStringList>
#include <limits>

namespace orvik {

namespace {

[[noreturn]] void reject(const QString& text)
{
    throw SerialError(QStringLiteral("Invalid port settings: '%1'").arg(text).toStdString());
}

bool allDigits(const QString& field)
{
    if (field.isEmpty()) return false;
    for (QChar c : field) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    }
    return true;
}

bool parseParity(const QString& field, LineParity& parity)
{
    // Only the ASCII letters: Unicode case folding would take the long s for S and the dotless i for I.
    if (field.size() != 1 || field.at(0).unicode() > 127) return false;
    switch (field.at(0).toUpper().unicode()) {
    case 'N':
        parity = LineParity::None;
        return true;
    case 'E':
        parity = LineParity::Even;
        return true;
    case 'O':
        parity = LineParity::Odd;
        return true;
    case 'M':
        parity = LineParity::Mark;
        return true;
    case 'S':
        parity = LineParity::Space;
        return true;
    default:
        return false;
    }
}

bool parseStopBits(const QString& field, LineStopBits& stopBits)
{
    if (field == QLatin1String("1"))
        stopBits = LineStopBits::One;
    else if (field == QLatin1String("1.5"))
        stopBits = LineStopBits::OneAndHalf;
    else if (field == QLatin1String("2"))
        stopBits = LineStopBits::Two;
    else
        return false;
    return true;
}

} // namespace

LineSettings parseSettings(const QString& text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) reject(text);

    LineSettings result;
    // Digits only, so no sign, blank or exponent slips through; toLongLong then only has to check the range.
    if (!allDigits(fields[0])) reject(text);
    bool ok = false;
    const qlonglong baud = fields[0].toLongLong(&ok);
    if (!ok || baud <= 0 || baud > std::numeric_limits<qint32>::max()) reject(text);
    result.baud = static_cast<qint32>(baud);

    if (!parseParity(fields[1], result.parity)) reject(text);

    if (fields[2].size() != 1 || fields[2].at(0) < QLatin1Char('5') || fields[2].at(0) > QLatin1Char('8')) reject(text);
    result.dataBits = fields[2].at(0).unicode() - '0';

    if (!parseStopBits(fields[3], result.stopBits)) reject(text);
    return result;
}

} // namespace orvik
