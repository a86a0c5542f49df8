#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>

#include "platform/EventLoop.h"

namespace ko {

// A loop on a virtual clock: nothing happens until the test advances time, so a 210-second
// watchdog runs in microseconds and never sleeps.
class FakeEventLoop : public EventLoop {
  public:
    std::int64_t NowMs() const override { return m_now; }
    TimerId AddTimer(std::function<void()> onTick) override;
    bool SetTimerInterval(TimerId id, std::uint32_t intervalMs) override;
    void RemoveTimer(TimerId id) override;
    void Post(std::function<void()> task) override;
    void PumpPending() override;
    void RunUntil(const std::function<bool()>& done) override;
    int Run() override;
    void Quit(int exitCode) override;
    bool QuitRequested() const override { return m_quit; }

    // Moves the clock forward, running every timer tick and posted task that falls due on the
    // way, in time order.
    void Advance(std::int64_t ms);
    // Runs posted tasks until none is left (timers do not move).
    void RunPosted();
    // Runs the oldest posted task only; false when none waits.
    bool RunOnePosted();

    std::uint32_t TimerInterval(TimerId id) const;
    bool TimerRunning(TimerId id) const { return TimerInterval(id) != 0; }
    std::size_t TimerCount() const { return m_timers.size(); }
    // Wake-ups so far: timer ticks and posted tasks run.
    std::uint64_t WakeUps() const { return m_wakeUps; }
    int ExitCode() const { return m_exitCode; }
    // The longest a nested RunUntil may move the clock before it gives up (a test bug otherwise
    // hangs); 0 means it never moves the clock.
    void SetRunUntilBudget(std::int64_t ms) { m_runUntilBudget = ms; }

  private:
    struct TimerState {
        std::function<void()> onTick;
        std::uint32_t interval = 0;
        std::int64_t due = 0;
        bool running = false;
    };

    bool RunOneDueTimer(std::set<TimerId>& ticked);
    std::int64_t NextDue() const;

    std::int64_t m_now = 0;
    TimerId m_nextId = 1;
    std::map<TimerId, TimerState> m_timers;
    std::deque<std::function<void()>> m_posted;
    bool m_quit = false;
    int m_exitCode = 0;
    std::uint64_t m_wakeUps = 0;
    std::int64_t m_runUntilBudget = 3600 * 1000;
};

}  // namespace ko
