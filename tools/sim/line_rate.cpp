#include "line_rate.h"

#include <algorithm>

namespace orvik::sim {

namespace {
constexpr qint64 kBitsPerChar = 10;
constexpr qint64 kMinSilenceUs = 1750;
} // namespace

bool isLineRate(int rate)
{
    return std::find(kLineRates.begin(), kLineRates.end(), rate) != kLineRates.end();
}

quint16 registerFromRate(int rate)
{
    return static_cast<quint16>(static_cast<unsigned>(rate) & 0xFFFFU);
}

std::optional<int> rateFromRegister(quint16 value)
{
    for (const int rate : kLineRates) {
        if (registerFromRate(rate) == value) return rate;
    }
    return std::nullopt;
}

qint64 charTimeUs(int baud)
{
    return baud > 0 ? kBitsPerChar * 1'000'000 / baud : 0;
}

qint64 silenceUs(int baud)
{
    if (baud <= 0) return kMinSilenceUs;
    // 3.5 characters of 10 bits: 35 bit times.
    return std::max(kMinSilenceUs, 35 * qint64 { 1'000'000 } / baud);
}

QList<qint64> transmitSchedule(qsizetype count, int baud, qint64 gapUs)
{
    QList<qint64> due;
    due.reserve(count);
    const qsizetype half = count / 2;
    for (qsizetype i = 0; i < count; ++i) {
        // Computed from the start each time so that rounding does not pile up over a long reply.
        qint64 at = baud > 0 ? (i + 1) * kBitsPerChar * 1'000'000 / baud : 0;
        if (i >= half && half > 0) at += gapUs;
        due.append(at);
    }
    return due;
}

} // namespace orvik::sim
