#include "int_conversion.h"

#include <limits>

namespace orvik {

namespace {

[[noreturn]] void fail(const QString& text)
{
    throw ConversionError((QLatin1Char('\'') + text + QLatin1String("' is not a valid integer value")).toStdString());
}

} // namespace

qint32 StrToInt(const QString& text)
{
    qsizetype pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-'))) {
        negative = text[pos] == QLatin1Char('-');
        ++pos;
    }
    if (pos == text.size()) fail(text);

    // The magnitude may reach 2^31 for the most negative value; stopping as soon as it passes that keeps any number of
    // digits from overflowing the 64-bit accumulator.
    const qint64 limit = static_cast<qint64>(std::numeric_limits<qint32>::max()) + (negative ? 1 : 0);
    qint64 magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const char16_t u = text[pos].unicode();
        if (u < u'0' || u > u'9') fail(text);
        magnitude = magnitude * 10 + (u - u'0');
        if (magnitude > limit) fail(text);
    }
    return static_cast<qint32>(negative ? -magnitude : magnitude);
}

} // namespace orvik
