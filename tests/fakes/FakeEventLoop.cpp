#include "fakes/FakeEventLoop.h"

#include <limits>
#include <set>

namespace ko {

EventLoop::TimerId FakeEventLoop::AddTimer(std::function<void()> onTick) {
    TimerId id = m_nextId++;
    m_timers[id].onTick = std::move(onTick);
    return id;
}

bool FakeEventLoop::SetTimerInterval(TimerId id, std::uint32_t intervalMs) {
    auto it = m_timers.find(id);
    if (it == m_timers.end() || intervalMs > kMaxTimerInterval) {
        return false;
    }
    it->second.interval = intervalMs;
    it->second.due = m_now + intervalMs;
    return true;
}

void FakeEventLoop::RemoveTimer(TimerId id) {
    m_timers.erase(id);
}

void FakeEventLoop::Post(std::function<void()> task) {
    m_posted.push_back(std::move(task));
}

void FakeEventLoop::RunPosted() {
    while (RunOnePosted()) {
    }
}

bool FakeEventLoop::RunOnePosted() {
    if (m_posted.empty() || m_quit) {
        return false;
    }
    auto task = std::move(m_posted.front());
    m_posted.pop_front();
    ++m_wakeUps;
    task();
    return true;
}

bool FakeEventLoop::RunOneDueTimer(std::set<TimerId>& ticked) {
    for (auto& [id, timer] : m_timers) {
        if (timer.interval == 0 || timer.running || timer.due > m_now || ticked.count(id) != 0) {
            continue;
        }
        ticked.insert(id);
        // The next tick counts from this one; ticks missed while time jumped are not queued.
        timer.due = m_now + timer.interval;
        timer.running = true;
        TimerId ticking = id;
        auto onTick = timer.onTick;
        ++m_wakeUps;
        onTick();
        auto again = m_timers.find(ticking);
        if (again != m_timers.end()) {
            again->second.running = false;
        }
        return true;
    }
    return false;
}

void FakeEventLoop::PumpPending() {
    // Each timer ticks at most once a pump: a handler that moves the clock past its own next
    // tick must not keep the pump from returning.
    std::set<TimerId> ticked;
    RunPosted();
    while (!m_quit && RunOneDueTimer(ticked)) {
        RunPosted();
    }
}

std::int64_t FakeEventLoop::NextDue() const {
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (const auto& [id, timer] : m_timers) {
        if (timer.interval != 0 && !timer.running && timer.due < next) {
            next = timer.due;
        }
    }
    return next;
}

void FakeEventLoop::Advance(std::int64_t ms) {
    const std::int64_t end = m_now + ms;
    PumpPending();
    while (!m_quit) {
        std::int64_t next = NextDue();
        if (next > end) {
            break;
        }
        if (next > m_now) {
            m_now = next;
        }
        PumpPending();
    }
    if (m_now < end) {
        m_now = end;
    }
    PumpPending();
}

void FakeEventLoop::RunUntil(const std::function<bool()>& done) {
    const std::int64_t limit = m_now + m_runUntilBudget;
    PumpPending();
    while (!m_quit && !done()) {
        std::int64_t next = NextDue();
        if (next > limit) {
            return;  // nothing more will ever happen on its own
        }
        if (next > m_now) {
            m_now = next;
        }
        PumpPending();
    }
}

int FakeEventLoop::Run() {
    RunUntil([] { return false; });
    return m_exitCode;
}

void FakeEventLoop::Quit(int exitCode) {
    m_quit = true;
    m_exitCode = exitCode;
}

std::uint32_t FakeEventLoop::TimerInterval(TimerId id) const {
    auto it = m_timers.find(id);
    return it == m_timers.end() ? 0 : it->second.interval;
}

}  // namespace ko
