// The line's imperfections, drawn from one seeded generator so that a run can be repeated.
#pragma once

#include <QByteArray>

#include <random>

namespace orvik::sim {

class LineNoise {
public:
    // `rate` is the share of bytes (0..1) that get one bit flipped.
    LineNoise(quint64 seed, double rate);

    // Flips one random bit in about `rate` of the bytes; returns how many bytes were hit.
    int corrupt(QByteArray& bytes);

    // What a listener set to the wrong speed makes of a reply: a few (2..6) random bytes.
    QByteArray garbage();

private:
    std::mt19937_64 m_random;
    double m_rate;
};

} // namespace orvik::sim
