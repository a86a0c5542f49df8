#include "shared/LongTimer.h"

#include <algorithm>

namespace ko {

LongTimer::LongTimer(EventLoop& loop, std::function<void()> onTick)
    : m_loop(loop), m_onTick(std::move(onTick)), m_step(loop, [this] { OnStep(); }) {}

void LongTimer::SetInterval(std::int64_t intervalMs) {
    m_interval = std::max<std::int64_t>(intervalMs, 0);
    Restart();
}

void LongTimer::SetEnabled(bool enabled) {
    m_enabled = enabled;
    Restart();
}

void LongTimer::Restart() {
    if (!Running()) {
        m_step.SetEnabled(false);
        return;
    }
    m_due = m_loop.NowMs() + m_interval;
    ArmStep();
}

void LongTimer::ArmStep() {
    const std::int64_t left = std::max<std::int64_t>(m_due - m_loop.NowMs(), 1);
    m_step.SetInterval(
        static_cast<std::uint32_t>(std::min<std::int64_t>(left, EventLoop::kMaxTimerInterval)));
    m_step.SetEnabled(true);
}

void LongTimer::OnStep() {
    if (!Running()) {
        return;
    }
    if (m_loop.NowMs() < m_due) {
        ArmStep();  // one more step of a long interval
        return;
    }
    // The next interval counts from this tick; the handler may change or stop it.
    m_due = m_loop.NowMs() + m_interval;
    ArmStep();
    m_onTick();
}

}  // namespace ko
