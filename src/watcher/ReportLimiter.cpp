#include "watcher/ReportLimiter.h"

#include <algorithm>

namespace ko::watcher {

void ReportLimiter::Refill(std::int64_t nowMs) {
    if (!m_started) {
        m_started = true;
        m_refilledAtMs = nowMs;
        return;
    }
    if (nowMs <= m_refilledAtMs) {
        return;
    }
    const std::int64_t earned = (nowMs - m_refilledAtMs) / kRefillMs;
    if (m_tokens + earned >= kBurst) {
        m_tokens = kBurst;
        m_refilledAtMs = nowMs;
    } else {
        m_tokens += static_cast<int>(earned);
        m_refilledAtMs += earned * kRefillMs;
    }
}

bool ReportLimiter::Admit(const std::string& url, std::int64_t nowMs) {
    while (!m_recent.empty() && nowMs - m_recent.front().atMs >= kRepeatWindowMs) {
        m_recent.pop_front();
    }
    const bool repeated = std::any_of(m_recent.begin(), m_recent.end(),
                                      [&url](const Sent& sent) { return sent.url == url; });
    if (repeated) {
        ++m_repeats;
        return false;
    }
    Refill(nowMs);
    if (m_tokens == 0) {
        ++m_overRate;
        return false;
    }
    --m_tokens;
    // At most a burst plus five seconds' worth of reports lie inside the window.
    m_recent.push_back(Sent{url, nowMs});
    return true;
}

bool NoticeLimiter::Admit(std::int64_t nowMs) {
    if (m_any && nowMs - m_lastMs < kIntervalMs) {
        ++m_suppressed;
        return false;
    }
    m_any = true;
    m_lastMs = nowMs;
    return true;
}

}  // namespace ko::watcher
