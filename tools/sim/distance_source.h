// Where the simulated distances come from: a slow wave of its own per unit, or one fixed value.
#pragma once

#include <QString>

#include <optional>

namespace orvik::sim {

class DistanceSource {
public:
    // Each unit swings slowly around its own resting distance (1.75 m for unit 0 up to 5.5 m for unit 15).
    static DistanceSource wave();
    // Every unit reads the same value, in 0.1 mm.
    static DistanceSource fixed(qint32 tenthsMm);

    // The distance of `unit` (0 for the configured device, 1..16 for sensors) at `seconds`, in 0.1 mm.
    qint32 at(int unit, double seconds) const;

    // "wave" or "fixed 1234.5 mm".
    QString describe() const;

private:
    bool m_wave = true;
    qint32 m_fixed = 0;
};

// "wave", "fixed:<mm>" (decimals allowed down to 0.1 mm, a sign allowed); none when the text is not one of them.
std::optional<DistanceSource> parseDistance(const QString& text);

} // namespace orvik::sim
