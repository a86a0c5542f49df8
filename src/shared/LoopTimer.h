#pragma once

#include <cstdint>
#include <functional>

#include "platform/EventLoop.h"

namespace ko {

// A timer as the system's forms have them: an interval (0 to 65535 ms) and an enabled flag. It
// ticks while it is enabled with a non-zero interval; changing either restarts the count.
class LoopTimer {
  public:
    LoopTimer(EventLoop& loop, std::function<void()> onTick);
    ~LoopTimer();
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    // False for an interval above 65535 ms; the timer keeps its old interval then.
    bool SetInterval(std::uint32_t intervalMs);
    void SetEnabled(bool enabled);
    std::uint32_t Interval() const { return m_interval; }
    bool Enabled() const { return m_enabled; }

  private:
    void Apply();

    EventLoop& m_loop;
    EventLoop::TimerId m_id;
    std::uint32_t m_interval = 0;
    bool m_enabled = false;
};

}  // namespace ko
