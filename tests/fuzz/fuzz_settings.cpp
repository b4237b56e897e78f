// Arbitrary text as a line settings string: parseSettings must accept exactly "rate,parity,data bits,stop bits" as
// its contract words it (checked here with a pattern of plain ASCII), give back the values written, and reject
// everything else with its one message. The serial controls that store the text must agree with it.
#include "fake_serial_control.h"
#include "fuzz_input.h"
#include "qt_serial_control.h"
#include "serial_settings.h"

#include <QRegularExpression>
#include <QString>

using namespace orvik;
using orvik::fuzz::Input;
using orvik::fuzz::require;

namespace {

// The text as UTF-8, as Latin-1, or as raw UTF-16 code units, so that any character can reach the parser.
QString textOf(Input& in)
{
    const quint8 mode = in.byte();
    const QByteArray bytes = in.rest();
    switch (mode % 3) {
    case 0:
        return QString::fromUtf8(bytes);
    case 1:
        return QString::fromLatin1(bytes);
    default: {
        QString text;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            text.append(
                QChar(static_cast<char16_t>(static_cast<quint8>(bytes[i]) << 8 | static_cast<quint8>(bytes[i + 1]))));
        return text;
    }
    }
}

std::optional<LineSettings> expected(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("\\A0*([0-9]{1,10}),([NEOMSneoms]),([5-8]),(1|1\\.5|2)\\z"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const qint64 baud = m.captured(1).toLongLong();
    if (baud < 1 || baud > INT32_MAX) return std::nullopt;
    LineSettings s;
    s.baud = static_cast<qint32>(baud);
    static const QString kParities = QStringLiteral("NEOMS");
    s.parity = static_cast<LineParity>(kParities.indexOf(m.captured(2).toUpper()));
    s.dataBits = m.captured(3).toInt();
    const QString stop = m.captured(4);
    s.stopBits = stop == QLatin1String("1") ? LineStopBits::One
        : stop == QLatin1String("2")        ? LineStopBits::Two
                                            : LineStopBits::OneAndHalf;
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QtSerialControl port; // never opened: it only parses and keeps the text
    static FakeSerialControl fake;
    Input in(data, size);
    const QString text = textOf(in);
    const std::optional<LineSettings> want = expected(text);
    const QString portBefore = port.settings();
    const QString fakeBefore = fake.settings();
    try {
        const LineSettings got = parseSettings(text);
        require(want && got == *want);
    } catch (const SerialError& error) {
        require(!want);
        // The message travels as UTF-8: a NUL ends it early and a lone surrogate cannot be carried.
        if (!text.contains(QChar(0)) && text.isValidUtf16())
            require(QString::fromUtf8(error.what()) == QStringLiteral("Invalid port settings: '%1'").arg(text));
    }
    for (SerialControl* control : { static_cast<SerialControl*>(&port), static_cast<SerialControl*>(&fake) }) {
        const QString before = control == &port ? portBefore : fakeBefore;
        try {
            control->setSettings(text);
            require(want && control->settings() == text);
        } catch (const SerialError&) {
            require(!want && control->settings() == before); // a refused text changes nothing
        }
    }
    return 0;
}
