// The line's fixed format and the baud rates the monitor offers and searches, in the order of the rate list.
#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace orvik {

// Every rate the device can be moved to, in the order the search tries them.
constexpr std::array<int, 9> kLineRates { 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 };
// The search starts at 9600, where a device leaves the factory.
constexpr int kFirstTryRateIndex = 4;
constexpr int kLastRateIndex = static_cast<int>(kLineRates.size()) - 1;

// 8 data bits, no parity, 1 stop bit at every rate.
inline const QString kLineFormat = QStringLiteral(",N,8,1");

// "9600" -> "9600,N,8,1".
inline QString lineSettings(const QString& rate)
{
    return rate + kLineFormat;
}

// The rates as the list shows them: "600", "1200", ...
QStringList lineRateNames();

} // namespace orvik
