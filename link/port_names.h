// Ordering of serial port names and the port number of a chosen entry.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace orvik {

// Ascending, case-insensitive, by the collation of the user's locale, comparing as text and not as numbers
// (COM1, COM10, COM2, COM3). Stable, and equal names are all kept.
QStringList sortPortNames(QStringList names);

// The port number of a chooser entry: everything after its first three characters (whatever they hold; in port
// names they are "COM"), converted by StrToInt. "COM3" gives 3; "COM" or a shorter entry throws ConversionError
// with the message for the empty text.
qint32 portNumberOf(const QString& entry);

} // namespace orvik
