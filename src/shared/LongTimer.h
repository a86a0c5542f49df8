#pragma once

#include <cstdint>
#include <functional>

#include "shared/LoopTimer.h"

namespace ko {

// A timer for intervals the system's timers cannot hold: a form timer takes at most 65,535 ms,
// and a longer value (an idle time of two minutes, a hold of 70 s) would be refused and leave
// the old interval running. This one takes any positive number of milliseconds and re-arms one
// loop timer in steps of at most 65,535 ms until the whole interval has passed; it then ticks
// and starts the next interval, as a form timer does. Setting the interval or enabling restarts
// the count; an interval of 0 or less stops it.
class LongTimer {
  public:
    LongTimer(EventLoop& loop, std::function<void()> onTick);
    LongTimer(const LongTimer&) = delete;
    LongTimer& operator=(const LongTimer&) = delete;

    void SetInterval(std::int64_t intervalMs);
    void SetEnabled(bool enabled);
    std::int64_t Interval() const { return m_interval; }
    bool Enabled() const { return m_enabled; }
    // Enabled with a positive interval.
    bool Running() const { return m_enabled && m_interval > 0; }

  private:
    void Restart();
    void ArmStep();
    void OnStep();

    EventLoop& m_loop;
    std::function<void()> m_onTick;
    LoopTimer m_step;
    std::int64_t m_interval = 0;
    std::int64_t m_due = 0;
    bool m_enabled = false;
};

}  // namespace ko
