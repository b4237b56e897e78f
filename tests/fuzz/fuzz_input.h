// What every fuzz target shares: a cursor over libFuzzer's bytes and the check that stops the run on a broken promise.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace orvik::fuzz {

// abort() rather than an exception: libFuzzer records the input that broke the promise as a crash.
inline void require(bool condition)
{
    if (!condition) std::abort();
}

// A cursor over the fuzzer's bytes that yields 0 once they run out.
class Input {
public:
    Input(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool empty() const { return m_pos >= m_size; }
    quint8 byte() { return empty() ? 0 : m_data[m_pos++]; }
    qint32 int32()
    {
        quint32 v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return static_cast<qint32>(v);
    }
    QByteArray take(size_t n)
    {
        const size_t count = std::min(n, m_size - std::min(m_pos, m_size));
        QByteArray out(reinterpret_cast<const char*>(m_data + m_pos), static_cast<qsizetype>(count));
        m_pos += count;
        return out;
    }
    QByteArray rest() { return take(m_size); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace orvik::fuzz
