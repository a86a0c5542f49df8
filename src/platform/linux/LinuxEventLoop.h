#pragma once

#include <poll.h>
#include <signal.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/linux/UniqueFd.h"

namespace ko {

// The program's loop on Linux: one poll() over the watched descriptors, a wake-up eventfd for
// Post and a signalfd for the signals the program asked for, timed by CLOCK_MONOTONIC. An idle
// loop sleeps in poll() until a descriptor is ready or the nearest timer is due; it has no
// periodic wake-ups of its own.
class LinuxEventLoop : public EventLoop {
  public:
    using WatchId = std::uint32_t;

    // Another event source that shares the loop's poll(), such as a toolkit's own main context.
    // Every turn asks it for its descriptors and its deadline before polling and lets it run what
    // became ready afterwards, so Run, PumpPending and RunUntil all serve it.
    class PollSource {
      public:
        virtual ~PollSource() = default;
        // Appends the descriptors to watch and lowers timeoutMs (-1: no limit) to the time its
        // own work is due; 0 when it has work ready now.
        virtual void Prepare(std::vector<pollfd>& fds, int& timeoutMs) = 0;
        // Gets back the descriptors Prepare appended, with poll()'s revents, and runs what is
        // ready. Called once per Prepare, unless a nested turn of the loop ran in between (the
        // nested turn then served the source).
        virtual void Dispatch(pollfd* fds, std::size_t count) = 0;
    };

    LinuxEventLoop();
    ~LinuxEventLoop() override;
    LinuxEventLoop(const LinuxEventLoop&) = delete;
    LinuxEventLoop& operator=(const LinuxEventLoop&) = delete;

    // The monotonic clock in milliseconds that NowMs() reads; for code that waits without a loop.
    static std::int64_t MonotonicMs();
    std::int64_t NowMs() const override;

    TimerId AddTimer(std::function<void()> onTick) override;
    bool SetTimerInterval(TimerId id, std::uint32_t intervalMs) override;
    void RemoveTimer(TimerId id) override;

    // Safe to call from another thread: the queue is locked and the loop is woken by its eventfd.
    void Post(std::function<void()> task) override;

    void PumpPending() override;
    void RunUntil(const std::function<bool()>& done) override;
    int Run() override;
    void Quit(int exitCode) override;
    bool QuitRequested() const override { return m_quit; }

    // Calls onReady with poll()'s revents whenever fd is ready for events (POLLIN, POLLOUT, ...).
    // The descriptor stays owned by the caller, who unwatches it before closing it.
    WatchId WatchFd(int fd, short events, std::function<void(short revents)> onReady);
    void ModifyFd(WatchId id, short events);
    void UnwatchFd(WatchId id);

    // Delivers signo through the loop. The signal is blocked in the calling thread (the loop's
    // thread) from now on, so it waits in the signalfd instead of ending the process; the old
    // mask comes back when the loop is destroyed. Returns false when the signal cannot be watched.
    bool OnSignal(int signo, std::function<void()> onSignal);

    // Shares the loop with source until it is removed (nullptr). One source at a time; the
    // source must outlive its registration.
    void SetPollSource(PollSource* source) { m_pollSource = source; }

  private:
    struct Timer {
        std::function<void()> onTick;
        std::uint32_t interval = 0;
        std::int64_t due = 0;
        bool running = false;
        bool removed = false;
    };
    struct Watch {
        int fd = -1;
        short events = 0;
        std::function<void(short)> onReady;
        bool removed = false;
    };
    struct Posted {
        std::uint64_t sequence = 0;
        std::function<void()> task;
    };

    // One turn of the loop: waits (when allowed) for the first event, then runs what is ready.
    // Stops early, between two events, when stop() says so.
    void Turn(bool mayWait, const std::function<bool()>& stop);
    int PollTimeout(bool mayWait);
    bool HasPostedWork();
    void DrainWakeFd();
    void DispatchSignals();

    std::map<TimerId, std::shared_ptr<Timer>> m_timers;
    TimerId m_nextTimerId = 1;
    std::map<WatchId, std::shared_ptr<Watch>> m_watches;
    WatchId m_nextWatchId = 1;
    std::map<int, std::function<void()>> m_signalHandlers;

    std::mutex m_postedMutex;
    std::deque<Posted> m_posted;
    std::uint64_t m_nextSequence = 1;

    UniqueFd m_wakeFd;
    UniqueFd m_signalFd;
    sigset_t m_signals{};
    sigset_t m_oldMask{};
    bool m_maskChanged = false;

    // Counts poll() calls; a turn whose handler re-entered the loop re-polls a descriptor before
    // delivering a readiness that a nested turn may already have consumed.
    std::uint64_t m_pollCount = 0;
    PollSource* m_pollSource = nullptr;
    bool m_quit = false;
    int m_exitCode = 0;
};

}  // namespace ko
