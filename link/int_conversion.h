// Text to a 32-bit integer, accepting only a whole decimal number.
#pragma once

#include <QString>
#include <QtGlobal>
#include <stdexcept>

namespace orvik {

class ConversionError : public std::runtime_error {
public:
    using runtime_error::runtime_error;
};

// An optional + or -, then one or more ASCII decimal digits, within the signed 32-bit range. No blanks, no hex, no
// empty text. Anything else throws ConversionError with the message "'<text>' is not a valid integer value" (UTF-8).
qint32 StrToInt(const QString& text);

} // namespace orvik
