#include "time_ticks.h"

#include <QDateTime>
#include <algorithm>
#include <array>

namespace orvik {

namespace {

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;
// clang-format off
constexpr std::array<qint64, 32> kSteps {
    1, 2, 5, 10, 20, 50, 100, 200, 500,
    kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour, 2 * kHour, 3 * kHour, 6 * kHour, 12 * kHour,
    kDay, 2 * kDay, 7 * kDay, 14 * kDay, 28 * kDay, 56 * kDay,
};
// clang-format on

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

TimeTicks timeTicks(qint64 fromWallMs, qint64 toWallMs, int maxTicks)
{
    TimeTicks ticks;
    const qint64 span = std::max<qint64>(toWallMs - fromWallMs, 1);
    const qint64 most = std::max(maxTicks, 2);
    ticks.stepMs = kSteps.back();
    for (const qint64 step : kSteps) {
        if (span / step < most) {
            ticks.stepMs = step;
            break;
        }
    }
    // Round in local time: an hour's ticks fall on the hour, a day's at midnight, also where the offset is 5:30.
    const qint64 offset = qint64(QDateTime::fromMSecsSinceEpoch(fromWallMs).offsetFromUtc()) * kSecond;
    for (qint64 local = (floorDiv(fromWallMs + offset, ticks.stepMs) + 1) * ticks.stepMs; local - offset <= toWallMs;
         local += ticks.stepMs)
        ticks.wallMs.push_back(local - offset);

    const QString format = ticks.stepMs < kSecond ? QStringLiteral("HH:mm:ss.zzz")
        : ticks.stepMs < kMinute                  ? QStringLiteral("HH:mm:ss")
        : ticks.stepMs < kDay                     ? QStringLiteral("HH:mm")
                                                  : QStringLiteral("MM-dd");
    QDate previous;
    for (const qint64 ms : ticks.wallMs) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
        QString label = at.toString(format);
        if (ticks.stepMs < kDay && at.date() != previous) label += at.toString(QStringLiteral("\nMM-dd"));
        previous = at.date();
        ticks.labels << label;
    }
    return ticks;
}

} // namespace orvik
