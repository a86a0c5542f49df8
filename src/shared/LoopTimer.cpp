#include "shared/LoopTimer.h"

#include "shared/Guard.h"

namespace ko {

LoopTimer::LoopTimer(EventLoop& loop, std::function<void()> onTick)
    : m_loop(loop), m_id(loop.AddTimer([tick = std::move(onTick)] { Guarded("timer", tick); })) {}

LoopTimer::~LoopTimer() {
    m_loop.RemoveTimer(m_id);
}

bool LoopTimer::SetInterval(std::uint32_t intervalMs) {
    if (intervalMs > EventLoop::kMaxTimerInterval) {
        return false;
    }
    m_interval = intervalMs;
    Apply();
    return true;
}

void LoopTimer::SetEnabled(bool enabled) {
    m_enabled = enabled;
    Apply();
}

void LoopTimer::Apply() {
    m_loop.SetTimerInterval(m_id, m_enabled ? m_interval : 0);
}

}  // namespace ko
