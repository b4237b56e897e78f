#include "line_format.h"

namespace orvik {

QStringList lineRateNames()
{
    QStringList names;
    for (int rate : kLineRates)
        names << QString::number(rate);
    return names;
}

} // namespace orvik
