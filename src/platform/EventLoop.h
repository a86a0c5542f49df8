#pragma once

#include <cstdint>
#include <functional>

namespace ko {

// The one loop of a program's one thread. Every event (socket notice, timer tick, window or
// channel message, service start and stop) runs from here. Handlers may re-enter the loop with
// PumpPending() or RunUntil(), as the system does when it lets pending events run or shows a
// modal window.
class EventLoop {
  public:
    using TimerId = std::uint32_t;

    // Timers follow the system's rules: an interval of 0 to 65535 ms, 0 stops the timer.
    static constexpr std::uint32_t kMaxTimerInterval = 65535;

    virtual ~EventLoop() = default;

    // Milliseconds from an arbitrary start; never goes backwards.
    virtual std::int64_t NowMs() const = 0;

    // Creates a stopped timer. A tick whose callback is still running (it pumped the loop) is
    // not delivered again until the callback returns; missed ticks are not queued up.
    virtual TimerId AddTimer(std::function<void()> onTick) = 0;
    // Starts, restarts or (with 0) stops a timer. Setting an interval restarts the count even when
    // the value is unchanged. Returns false for an interval above kMaxTimerInterval or an unknown
    // id.
    virtual bool SetTimerInterval(TimerId id, std::uint32_t intervalMs) = 0;
    virtual void RemoveTimer(TimerId id) = 0;

    // Runs task later, from the loop, after the events already pending.
    virtual void Post(std::function<void()> task) = 0;

    // Lets the events that are pending now run, then returns (it does not wait).
    virtual void PumpPending() = 0;
    // Runs a nested loop until done() is true (checked after every event) or Quit is called.
    virtual void RunUntil(const std::function<bool()>& done) = 0;

    // Runs until Quit; returns the exit code given to Quit.
    virtual int Run() = 0;
    // Ends Run (and any nested RunUntil) as soon as the running event returns.
    virtual void Quit(int exitCode) = 0;
    virtual bool QuitRequested() const = 0;
};

}  // namespace ko
