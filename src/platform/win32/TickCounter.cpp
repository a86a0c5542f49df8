#include "platform/win32/TickCounter.h"

namespace ko {

std::int64_t TickCounter::Extend(std::uint32_t tick) {
    if (m_started && tick < m_last) {
        m_high += std::int64_t{1} << 32;
    }
    m_started = true;
    m_last = tick;
    return m_high + tick;
}

}  // namespace ko
