#include "sample_time.h"

#include <QDateTime>
#include <chrono>

namespace orvik {

SampleTime sampleTimeNow()
{
    const auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    return { std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count(),
        QDateTime::currentMSecsSinceEpoch() };
}

} // namespace orvik
