// The line settings text of the serial control ("9600,N,8,1") and its parsed form.
#pragma once

#include <QString>
#include <QtGlobal>

namespace orvik {

enum class LineParity { None, Even, Odd, Mark, Space };
enum class LineStopBits { One, OneAndHalf, Two };

struct LineSettings {
    qint32 baud = 9600;
    LineParity parity = LineParity::None;
    int dataBits = 8;
    LineStopBits stopBits = LineStopBits::One;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Parses "rate,parity,data bits,stop bits": a positive decimal rate, parity one of N E O M S (either case), data
// bits 5 to 8, stop bits 1, 1.5 or 2. No blanks, exactly four fields. Throws SerialError on anything else.
LineSettings parseSettings(const QString& text);

} // namespace orvik
