#include "silence_framer.h"

#include "line_rate.h"

#include <algorithm>

namespace orvik::sim {

std::optional<RxFrame> SilenceFramer::feed(quint8 byte, qint64 us, int baud)
{
    std::optional<RxFrame> finished = poll(us);
    if (!m_frame) {
        m_frame = RxFrame { {}, baud, 0, false };
        m_lastEndUs = us;
    }
    m_lastEndUs = std::max(us, m_lastEndUs) + charTimeUs(m_frame->baud);
    if (m_frame->bytes.size() < kMaxFrame)
        m_frame->bytes.append(static_cast<char>(byte));
    else
        m_frame->overflow = true;
    return finished;
}

std::optional<RxFrame> SilenceFramer::poll(qint64 us)
{
    const std::optional<qint64> deadline = deadlineUs();
    if (!deadline || us < *deadline) return std::nullopt;
    RxFrame done = std::move(*m_frame);
    done.endUs = *deadline;
    m_frame.reset();
    return done;
}

std::optional<qint64> SilenceFramer::deadlineUs() const
{
    if (!m_frame) return std::nullopt;
    return m_lastEndUs + silenceUs(m_frame->baud);
}

} // namespace orvik::sim
