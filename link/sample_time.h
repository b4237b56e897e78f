// The time of one distance, read once where it arrives and handed to every consumer (the record, the chart, the
// feed, the CSV), so they never disagree on it.
#pragma once

#include <QtGlobal>

namespace orvik {

struct SampleTime {
    // Orders samples: a monotonic clock that never steps back when the wall clock is set.
    qint64 monotonicMs = 0;
    // What people read (labels, CSV, payloads): milliseconds since the epoch, UTC.
    qint64 wallMs = 0;
    friend bool operator==(const SampleTime&, const SampleTime&) = default;
};

SampleTime sampleTimeNow();

} // namespace orvik
