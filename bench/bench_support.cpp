#include "bench_support.h"

#include "wire_kit.h"

#include <algorithm>
#include <cmath>

namespace orvik::bench {

namespace {

constexpr int kBitsPerChar = 10; // start bit, eight data bits, one stop bit
constexpr double kSilenceMs = 25.0;
constexpr double kSliceMs = 100.0; // the message-pumping wait sleeps in slices of this length
constexpr int kRequestBytes = 8;
constexpr int kDeviceInfoBytes = 17;
constexpr int kFirstTryBaud = 9600;
constexpr double kFirstTryMs = 2000.0; // two requests with a 1000 ms wait each, before the loop over the list
constexpr double kPassMs = 1200.0; // two requests with a 600 ms wait each, per rate of the list

QString hexLine(const QByteArray& bytes)
{
    return test::wireHex(bytes) + QLatin1Char(' ');
}

} // namespace

Summary summarise(std::vector<double> samples)
{
    Summary s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    s.count = static_cast<int>(n);
    s.min = samples.front();
    s.max = samples.back();
    s.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
    const size_t rank = (99 * n + 99) / 100; // ceil(0.99 n) in integers: no rounding surprise at n = 100, 200
    s.p99 = samples[rank - 1];
    return s;
}

const std::vector<int>& lineRates()
{
    static const std::vector<int> rates { 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 };
    return rates;
}

double charTimeUs(int baud)
{
    return kBitsPerChar * 1e6 / baud;
}

double wireTimeMs(int bytes, int baud)
{
    return bytes * charTimeUs(baud) / 1000.0;
}

std::vector<qint64> pacedOffsetsUs(int bytes, int baud)
{
    std::vector<qint64> offsets;
    for (int k = 1; k <= bytes; ++k)
        offsets.push_back(std::llround(k * charTimeUs(baud)));
    return offsets;
}

QByteArray distanceReply(quint8 slave, qint32 value)
{
    const auto word = static_cast<quint32>(value);
    QByteArray frame;
    frame.append(static_cast<char>(slave)).append('\x03').append('\x04');
    for (int i = 0; i < 4; ++i)
        frame.append(static_cast<char>(word >> (24 - 8 * i)));
    return test::withCrc(frame);
}

QString verdictName(FrameVerdict verdict)
{
    switch (verdict) {
    case FrameVerdict::Whole:
        return QStringLiteral("whole");
    case FrameVerdict::Split:
        return QStringLiteral("split");
    case FrameVerdict::Merged:
        return QStringLiteral("merged");
    case FrameVerdict::Lost:
        return QStringLiteral("lost");
    case FrameVerdict::Garbled:
        break;
    }
    return QStringLiteral("garbled");
}

FrameVerdict judgeFrame(const QStringList& memoLines, const QByteArray& reply)
{
    const QString expected = hexLine(reply);
    if (memoLines.isEmpty()) return FrameVerdict::Lost;
    if (memoLines.size() == 1) {
        if (memoLines.front() == expected) return FrameVerdict::Whole;
        return memoLines.front().contains(expected) ? FrameVerdict::Merged : FrameVerdict::Garbled;
    }
    return memoLines.join(QString()) == expected ? FrameVerdict::Split : FrameVerdict::Garbled;
}

ConnectFloor connectFloor(int baud, double turnaroundMs)
{
    const auto& rates = lineRates();
    const auto index = std::find(rates.begin(), rates.end(), baud) - rates.begin();
    const double passStart = baud == kFirstTryBaud ? 0.0 : kFirstTryMs + static_cast<double>(index) * kPassMs;
    const double replyDone = wireTimeMs(kRequestBytes, baud) + turnaroundMs + wireTimeMs(kDeviceInfoBytes, baud);
    ConnectFloor floor;
    floor.line = passStart + replyDone + kSilenceMs;
    // The bytes are taken at the first slice end after they arrived; the silence timer started then is seen at the
    // next slice end.
    floor.schedule = passStart + std::ceil(replyDone / kSliceMs) * kSliceMs + kSliceMs;
    return floor;
}

} // namespace orvik::bench
