#pragma once

#include <cstdint>

namespace ko {

// Extends the system's 32-bit millisecond tick count, which wraps after 49.7 days, to 64 bits.
// Windows XP has no 64-bit tick count, so the loop's clock keeps its own high part. A wrap is seen
// as long as the counter is read at least once per wrap period, which the loop's timers ensure.
class TickCounter {
  public:
    // Feeds the current 32-bit tick; returns the extended count, which never goes backwards.
    std::int64_t Extend(std::uint32_t tick);

  private:
    bool m_started = false;
    std::uint32_t m_last = 0;
    std::int64_t m_high = 0;
};

}  // namespace ko
