// A distance value (0.1 mm) shown in metres, rounded to whole millimetres.
#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

namespace orvik {

// r := ((value + 5) div 10) * 10, div truncating toward zero (so halves round up for positive values and the rounding
// is not symmetric below zero: -16 gives -0.001, -14 gives 0), then r / 10000 as plain decimal text: trailing zeros
// dropped, no decimal point for a whole number, never "-0", never a group separator. Exact over the whole int32 range.
QString distanceText(qint32 value, QChar decimalPoint);

// The same with the decimal point of the user's locale.
QString distanceText(qint32 value);

} // namespace orvik
