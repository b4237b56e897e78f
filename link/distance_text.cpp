// The text is built from integers: r is a multiple of 10, so r / 10000 has at most three decimals and no floating
// point rounding can creep in.
#include "distance_text.h"

#include <QLocale>

namespace orvik {

QString distanceText(qint32 value, QChar decimalPoint)
{
    // 64-bit, so value + 5 cannot overflow at the top of the int32 range; C++ division truncates toward zero.
    const qint64 rounded = (static_cast<qint64>(value) + 5) / 10 * 10;
    const qint64 magnitude = rounded < 0 ? -rounded : rounded;
    const qint64 metres = magnitude / 10000;
    qint64 millimetres = magnitude % 10000 / 10;

    QString text;
    if (rounded < 0) text += QLatin1Char('-');
    text += QString::number(metres);
    if (millimetres == 0) return text;

    int digits = 3;
    while (millimetres % 10 == 0) {
        millimetres /= 10;
        --digits;
    }
    text += decimalPoint;
    text += QString::number(millimetres).rightJustified(digits, QLatin1Char('0'));
    return text;
}

QString distanceText(qint32 value)
{
    const QString point = QLocale().decimalPoint();
    return distanceText(value, point.isEmpty() ? QLatin1Char('.') : point.front());
}

} // namespace orvik
