// The time axis's ticks: round local times a readable distance apart, labelled as finely as their step needs.
#pragma once

#include <QStringList>
#include <vector>

namespace orvik {

struct TimeTicks {
    qint64 stepMs = 0;
    std::vector<qint64> wallMs; // ms since the epoch
    // Milliseconds below a second's step, seconds below a minute's, minutes below a day's, else the date; the date
    // (MM-dd) is added under the first tick and wherever the day changes.
    QStringList labels;
};

// At most maxTicks ticks across [fromWallMs, toWallMs], on multiples of the step in local time.
TimeTicks timeTicks(qint64 fromWallMs, qint64 toWallMs, int maxTicks);

} // namespace orvik
