#include "port_names.h"

#include "int_conversion.h"

#include <QCollator>
#include <algorithm>

namespace orvik {

QStringList sortPortNames(QStringList names)
{
    QCollator collator; // the default locale, which is the user's unless a test has set another
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    std::stable_sort(names.begin(), names.end(),
        [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return names;
}

qint32 portNumberOf(const QString& entry)
{
    return StrToInt(entry.mid(3));
}

} // namespace orvik
