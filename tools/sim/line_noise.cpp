#include "line_noise.h"

#include <algorithm>

namespace orvik::sim {

LineNoise::LineNoise(quint64 seed, double rate)
    : m_random(seed)
    , m_rate(rate)
{
}

int LineNoise::corrupt(QByteArray& bytes)
{
    if (m_rate <= 0.0) return 0;
    std::bernoulli_distribution hit(std::min(m_rate, 1.0));
    std::uniform_int_distribution<int> bit(0, 7);
    int hits = 0;
    for (char& c : bytes) {
        if (!hit(m_random)) continue;
        c = static_cast<char>(static_cast<quint8>(c) ^ (1U << bit(m_random)));
        ++hits;
    }
    return hits;
}

QByteArray LineNoise::garbage()
{
    std::uniform_int_distribution<int> length(2, 6);
    std::uniform_int_distribution<int> value(0, 255);
    QByteArray bytes;
    for (int n = length(m_random); n > 0; --n)
        bytes.append(static_cast<char>(value(m_random)));
    return bytes;
}

} // namespace orvik::sim
