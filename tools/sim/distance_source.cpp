#include "distance_source.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

namespace orvik::sim {

DistanceSource DistanceSource::wave()
{
    return {};
}

DistanceSource DistanceSource::fixed(qint32 tenthsMm)
{
    DistanceSource source;
    source.m_wave = false;
    source.m_fixed = tenthsMm;
    return source;
}

qint32 DistanceSource::at(int unit, double seconds) const
{
    if (!m_wave) return m_fixed;
    // Rest 1.75 m plus 0.25 m per unit, 0.3 m of swing, a period of 40 s and up so that neighbouring units drift
    // apart; a target moving this slowly is what a level or gap sensor sees.
    const double rest = 17500.0 + 2500.0 * unit;
    const double period = 40.0 + 3.0 * unit;
    const double phase = 0.7 * unit;
    const double value = rest + 3000.0 * std::sin(2.0 * std::numbers::pi * seconds / period + phase);
    return static_cast<qint32>(std::lround(value));
}

QString DistanceSource::describe() const
{
    if (m_wave) return QStringLiteral("wave");
    return QStringLiteral("fixed %1 mm").arg(m_fixed / 10.0, 0, 'f', 1);
}

std::optional<DistanceSource> parseDistance(const QString& text)
{
    if (text == u"wave") return DistanceSource::wave();
    static const QString kFixed = QStringLiteral("fixed:");
    if (!text.startsWith(kFixed)) return std::nullopt;
    bool ok = false;
    const double mm = text.mid(kFixed.size()).toDouble(&ok);
    if (!ok || !std::isfinite(mm)) return std::nullopt;
    const double tenths = std::round(mm * 10.0);
    if (tenths < std::numeric_limits<qint32>::min() || tenths > std::numeric_limits<qint32>::max()) return std::nullopt;
    return DistanceSource::fixed(static_cast<qint32>(tenths));
}

} // namespace orvik::sim
