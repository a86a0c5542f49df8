#include "platform/linux/LinuxEventLoop.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

LinuxEventLoop::LinuxEventLoop() {
    m_wakeFd.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!m_wakeFd) {
        Logger::Error(std::string("LinuxEventLoop: eventfd failed: ") + std::strerror(errno));
    }
    sigemptyset(&m_signals);
    sigemptyset(&m_oldMask);
}

LinuxEventLoop::~LinuxEventLoop() {
    if (m_maskChanged) {
        // Signals that arrived but were never read would strike with their default action once
        // unblocked, so they are read (and dropped) first: the loop that wanted them is gone.
        if (m_signalFd) {
            signalfd_siginfo info{};
            while (::read(m_signalFd.Get(), &info, sizeof info) ==
                   static_cast<ssize_t>(sizeof info)) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
    }
}

std::int64_t LinuxEventLoop::NowMs() const {
    return MonotonicMs();
}

std::int64_t LinuxEventLoop::MonotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

EventLoop::TimerId LinuxEventLoop::AddTimer(std::function<void()> onTick) {
    TimerId id = m_nextTimerId++;
    auto timer = std::make_shared<Timer>();
    timer->onTick = std::move(onTick);
    m_timers.emplace(id, std::move(timer));
    return id;
}

bool LinuxEventLoop::SetTimerInterval(TimerId id, std::uint32_t intervalMs) {
    auto it = m_timers.find(id);
    if (it == m_timers.end() || intervalMs > kMaxTimerInterval) {
        return false;
    }
    Timer& timer = *it->second;
    timer.interval = intervalMs;
    timer.due = NowMs() + intervalMs;
    return true;
}

void LinuxEventLoop::RemoveTimer(TimerId id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) {
        return;
    }
    // A running tick keeps its own reference; it only learns that it is gone.
    it->second->removed = true;
    m_timers.erase(it);
}

void LinuxEventLoop::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(m_postedMutex);
        m_posted.push_back(Posted{m_nextSequence++, std::move(task)});
    }
    if (m_wakeFd) {
        std::uint64_t one = 1;
        // A full counter (EAGAIN) still means "readable", which is all the wake-up needs.
        [[maybe_unused]] ssize_t written = ::write(m_wakeFd.Get(), &one, sizeof one);
    }
}

void LinuxEventLoop::PumpPending() {
    Turn(false, nullptr);
}

void LinuxEventLoop::RunUntil(const std::function<bool()>& done) {
    while (!m_quit && !done()) {
        Turn(true, done);
    }
}

int LinuxEventLoop::Run() {
    while (!m_quit) {
        Turn(true, nullptr);
    }
    return m_exitCode;
}

void LinuxEventLoop::Quit(int exitCode) {
    m_quit = true;
    m_exitCode = exitCode;
}

LinuxEventLoop::WatchId LinuxEventLoop::WatchFd(int fd, short events,
                                                std::function<void(short)> onReady) {
    WatchId id = m_nextWatchId++;
    auto watch = std::make_shared<Watch>();
    watch->fd = fd;
    watch->events = events;
    watch->onReady = std::move(onReady);
    m_watches.emplace(id, std::move(watch));
    return id;
}

void LinuxEventLoop::ModifyFd(WatchId id, short events) {
    auto it = m_watches.find(id);
    if (it != m_watches.end()) {
        it->second->events = events;
    }
}

void LinuxEventLoop::UnwatchFd(WatchId id) {
    auto it = m_watches.find(id);
    if (it == m_watches.end()) {
        return;
    }
    it->second->removed = true;
    m_watches.erase(it);
}

bool LinuxEventLoop::OnSignal(int signo, std::function<void()> onSignal) {
    sigset_t one;
    sigemptyset(&one);
    if (sigaddset(&one, signo) != 0) {
        return false;
    }
    sigset_t previous;
    if (::pthread_sigmask(SIG_BLOCK, &one, &previous) != 0) {
        return false;
    }
    if (!m_maskChanged) {
        m_oldMask = previous;
        m_maskChanged = true;
    }
    sigaddset(&m_signals, signo);
    int fd = ::signalfd(m_signalFd ? m_signalFd.Get() : -1, &m_signals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0) {
        Logger::Error(std::string("LinuxEventLoop: signalfd failed: ") + std::strerror(errno));
        return false;
    }
    if (fd != m_signalFd.Get()) {
        m_signalFd.Reset(fd);
    }
    m_signalHandlers[signo] = std::move(onSignal);
    return true;
}

bool LinuxEventLoop::HasPostedWork() {
    std::lock_guard<std::mutex> lock(m_postedMutex);
    return !m_posted.empty();
}

int LinuxEventLoop::PollTimeout(bool mayWait) {
    if (!mayWait || HasPostedWork()) {
        return 0;
    }
    std::int64_t now = NowMs();
    std::int64_t wait = -1;
    for (const auto& [id, timer] : m_timers) {
        // A running tick cannot fire again until it returns, so it must not shorten the wait:
        // a nested loop inside that tick would otherwise spin.
        if (timer->interval == 0 || timer->running) {
            continue;
        }
        std::int64_t left = std::max<std::int64_t>(0, timer->due - now);
        if (wait < 0 || left < wait) {
            wait = left;
        }
    }
    return static_cast<int>(std::min<std::int64_t>(wait, INT_MAX));
}

void LinuxEventLoop::DrainWakeFd() {
    std::uint64_t count = 0;
    while (::read(m_wakeFd.Get(), &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
    }
}

void LinuxEventLoop::Turn(bool mayWait, const std::function<bool()>& stop) {
    auto shouldStop = [&] { return m_quit || (stop && stop()); };

    std::vector<pollfd> fds;
    std::vector<WatchId> ids;
    fds.reserve(m_watches.size() + 2);
    ids.reserve(m_watches.size() + 2);
    if (m_wakeFd) {
        fds.push_back(pollfd{m_wakeFd.Get(), POLLIN, 0});
        ids.push_back(0);
    }
    if (m_signalFd) {
        fds.push_back(pollfd{m_signalFd.Get(), POLLIN, 0});
        ids.push_back(0);
    }
    const std::size_t firstWatch = fds.size();
    for (const auto& [id, watch] : m_watches) {
        fds.push_back(pollfd{watch->fd, watch->events, 0});
        ids.push_back(id);
    }
    const std::size_t firstSourceFd = fds.size();
    int timeout = PollTimeout(mayWait);
    PollSource* source = m_pollSource;
    if (source != nullptr) {
        int sourceTimeout = -1;
        Guarded("LinuxEventLoop source", [&] { source->Prepare(fds, sourceTimeout); });
        if (sourceTimeout >= 0 && (timeout < 0 || sourceTimeout < timeout)) {
            timeout = sourceTimeout;
        }
    }

    int ready = ::poll(fds.data(), fds.size(), timeout);
    const std::uint64_t thisPoll = ++m_pollCount;
    if (ready < 0) {
        if (errno != EINTR) {
            Logger::Error(std::string("LinuxEventLoop: poll failed: ") + std::strerror(errno));
        }
        ready = 0;
    }

    if (ready > 0) {
        for (std::size_t i = 0; i < firstWatch; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (fds[i].fd == m_wakeFd.Get()) {
                DrainWakeFd();
            } else {
                DispatchSignals();
                if (shouldStop()) {
                    return;
                }
            }
        }
        for (std::size_t i = firstWatch; i < firstSourceFd; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            auto it = m_watches.find(ids[i]);
            if (it == m_watches.end()) {
                continue;
            }
            std::shared_ptr<Watch> watch = it->second;
            short revents = fds[i].revents;
            if (m_pollCount != thisPoll) {
                // A nested turn ran since this poll and may have consumed the readiness.
                pollfd again{watch->fd, watch->events, 0};
                if (::poll(&again, 1, 0) <= 0 || again.revents == 0) {
                    continue;
                }
                revents = again.revents;
            }
            revents &= static_cast<short>(watch->events | POLLERR | POLLHUP | POLLNVAL);
            if (revents == 0) {
                continue;
            }
            Guarded("LinuxEventLoop fd", [&] { watch->onReady(revents); });
            if (shouldStop()) {
                return;
            }
        }
    }

    // The shared source runs after the descriptors, ready or not: its own deadlines (idle work,
    // its timeouts) need no descriptor. A nested turn since this poll already served it.
    if (source != nullptr && source == m_pollSource && m_pollCount == thisPoll) {
        if (ready <= 0) {
            for (std::size_t i = firstSourceFd; i < fds.size(); ++i) {
                fds[i].revents = 0;
            }
        }
        Guarded("LinuxEventLoop source",
                [&] { source->Dispatch(fds.data() + firstSourceFd, fds.size() - firstSourceFd); });
        if (shouldStop()) {
            return;
        }
    }

    // Timers, earliest first. A tick whose callback still runs (it pumped the loop) is skipped,
    // and a timer that was late fires once and then counts its interval from now: missed ticks
    // are not queued.
    std::int64_t now = NowMs();
    std::vector<std::pair<std::int64_t, TimerId>> due;
    for (const auto& [id, timer] : m_timers) {
        if (timer->interval != 0 && !timer->running && timer->due <= now) {
            due.emplace_back(timer->due, id);
        }
    }
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
        auto it = m_timers.find(id);
        if (it == m_timers.end()) {
            continue;
        }
        std::shared_ptr<Timer> timer = it->second;
        if (timer->interval == 0 || timer->running || timer->due > now) {
            continue;
        }
        timer->due = NowMs() + timer->interval;
        timer->running = true;
        Guarded("LinuxEventLoop timer", [&] { timer->onTick(); });
        timer->running = false;
        if (shouldStop()) {
            return;
        }
    }

    // Tasks posted before this point; what they post runs in a later turn.
    std::uint64_t last = 0;
    {
        std::lock_guard<std::mutex> lock(m_postedMutex);
        last = m_nextSequence - 1;
    }
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(m_postedMutex);
            if (m_posted.empty() || m_posted.front().sequence > last) {
                break;
            }
            task = std::move(m_posted.front().task);
            m_posted.pop_front();
        }
        Guarded("LinuxEventLoop task", [&] { task(); });
        if (shouldStop()) {
            return;
        }
    }
}

void LinuxEventLoop::DispatchSignals() {
    signalfd_siginfo info{};
    while (::read(m_signalFd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        auto it = m_signalHandlers.find(static_cast<int>(info.ssi_signo));
        if (it == m_signalHandlers.end()) {
            continue;
        }
        std::function<void()> handler = it->second;
        Guarded("LinuxEventLoop signal", [&] { handler(); });
        // One signal per event, so a stop condition is checked between two of them.
        return;
    }
}

}  // namespace ko
