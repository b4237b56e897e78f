// Feeds arbitrary bytes through the receive assembly and the reply decoder, and arbitrary text through StrToInt.
// Besides the sanitizers, each path checks what the core promises: the round trip of bytes through the hex text,
// the bounds of every decoder, and the distance text against its rule.
#include "distance_text.h"
#include "frame_meaning.h"
#include "fuzz_input.h"
#include "int_conversion.h"
#include "reply_decoder.h"
#include "rx_assembly.h"

#include <QRegularExpression>
#include <QString>
#include <cstdint>
#include <cstdlib>

using namespace orvik;
using orvik::fuzz::Input;
using orvik::fuzz::require;

namespace {

// The distance text read back must give r = ((v + 5) div 10) * 10 exactly.
void checkDistanceText(qint32 value)
{
    const QString text = distanceText(value, QLatin1Char('.'));
    require(!text.contains(QLatin1Char(',')) && text != QLatin1String("-0") && !text.endsWith(QLatin1Char('.')));
    const qint64 rounded = (static_cast<qint64>(value) + 5) / 10 * 10;
    const QStringList parts = text.split(QLatin1Char('.'));
    require(parts.size() <= 2);
    bool ok = false;
    qint64 readBack = parts[0].toLongLong(&ok) * 10000;
    require(ok);
    if (parts.size() == 2) {
        require(parts[1].size() <= 3 && !parts[1].endsWith(QLatin1Char('0')));
        const qint64 fraction = parts[1].leftJustified(4, QLatin1Char('0')).toLongLong(&ok);
        require(ok);
        readBack += text.startsWith(QLatin1Char('-')) ? -fraction : fraction;
    }
    require(readBack == rounded);
}

// Chunks of "count byte, then up to 16 bytes" through the assembly; the text decodes back to what was appended.
void receivePath(Input& in)
{
    const quint8 lastRegister = in.byte();
    QString rxText;
    qint32 rxCount = 0;
    QByteArray appended;
    while (!in.empty()) {
        const auto count = static_cast<qint8>(in.byte());
        const QByteArray chunk = in.take(in.byte() % 17);
        const int n = appendReceived(rxText, rxCount, count, chunk);
        require(n >= 0 && n <= std::max<int>(count, 0) && n <= chunk.size());
        appended += chunk.left(n);
    }
    require(rxText.size() == 3 * static_cast<qsizetype>(rxCount) && appended.size() == rxCount);

    ScratchBuffer frame;
    frame.fill(0xA5);
    const int placed = decodeHexText(rxText, rxCount, frame);
    require(placed == std::min(rxCount, 256));
    for (int i = 0; i < 256; ++i)
        require(frame[static_cast<size_t>(i)] == (i < placed ? static_cast<quint8>(appended[i]) : 0));

    const bool valid = replyCrcValid(frame, rxCount);
    require(!valid || rxCount <= 256);
    // Without a request to compare, the frame is judged by its own address, CRC and the register asked for.
    const FrameMeaning whole = interpretFrame(rxText, rxCount, SentRequest { frame[0], lastRegister, {} });
    require(whole.answered == (rxCount >= 6 && (valid || frame[0] != 255)));
    require(whole.kind != FrameKind::Echo && whole.echoBytes == 0 && whole.kind != FrameKind::BaudConfirmed);
    if (rxCount >= 6) require((whole.kind == FrameKind::Damaged) == !valid);
    if (whole.kind == FrameKind::Distance) require(rxCount == 9 && whole.distance == distanceValue(frame, 3));
    if (whole.kind == FrameKind::DeviceInfo) require(rxCount == 17 && whole.device.logicalAddress == frame[10]);

    const DeviceInfo info = decodeDeviceInfo(frame);
    checkDistanceText(info.distance);
    checkDistanceText(distanceValue(frame, 3));
}

// Any text at all, with any count: the decoder stays in bounds.
void textPath(Input& in)
{
    const qint32 count = in.int32();
    const quint8 lastRegister = in.byte();
    const QString text = QString::fromUtf8(in.rest());
    ScratchBuffer frame {};
    const int placed = decodeHexText(text, count, frame);
    require(placed >= 0 && placed <= 256 && placed <= std::max(count, 0));
    replyCrcValid(frame, count);
    RequestFrame sent {};
    std::copy_n(frame.begin(), sent.size(), sent.begin());
    interpretFrame(text, count, SentRequest { frame[0], lastRegister, sent });
    distanceValue(frame, count);
}

void valuePath(Input& in)
{
    while (!in.empty())
        checkDistanceText(in.int32());
}

// StrToInt accepts exactly [+-]?[0-9]+ within 32 bits, and its result prints back as the same number.
void conversionPath(Input& in)
{
    const QString text = QString::fromUtf8(in.rest());
    static const QRegularExpression wholeNumber(QStringLiteral("\\A([+-]?)0*([0-9]+)\\z"));
    const QRegularExpressionMatch match = wholeNumber.match(text);
    bool inRange = false;
    QString expected;
    if (match.hasMatch() && match.captured(2).size() <= 11) {
        const qint64 value = (match.captured(1) + match.captured(2)).toLongLong();
        inRange = value >= INT32_MIN && value <= INT32_MAX;
        expected = QString::number(value);
    }
    try {
        const qint32 value = StrToInt(text);
        require(inRange && QString::number(value) == expected);
    } catch (const ConversionError& error) {
        require(!inRange);
        // A message cannot carry a NUL character past what(); any other text must come back whole.
        if (!text.contains(QChar(0)))
            require(QString::fromUtf8(error.what())
                == QLatin1Char('\'') + text + QLatin1String("' is not a valid integer value"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    switch (in.byte() & 3) {
    case 0:
        receivePath(in);
        break;
    case 1:
        textPath(in);
        break;
    case 2:
        valuePath(in);
        break;
    default:
        conversionPath(in);
        break;
    }
    return 0;
}
