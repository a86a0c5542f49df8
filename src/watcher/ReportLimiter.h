#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace ko::watcher {

// Keeps the watcher's reports to what the agent and the server can take. Frames, refresh loops
// and scripted redirects complete navigations many times a second; each report costs the agent a
// message on its link, whose queue is small, so a busy page would crowd out the customer's own
// requests. A report repeated within 5 s is dropped; the rest pass at 1 a second on average with
// bursts of 10; what is held back is counted.
class ReportLimiter {
  public:
    static constexpr std::int64_t kRepeatWindowMs = 5000;
    static constexpr std::int64_t kRefillMs = 1000;
    static constexpr int kBurst = 10;

    // True when the report may go now; it then counts as sent.
    bool Admit(const std::string& url, std::int64_t nowMs);

    std::uint64_t Repeats() const { return m_repeats; }
    std::uint64_t OverRate() const { return m_overRate; }

  private:
    struct Sent {
        std::string url;
        std::int64_t atMs;
    };

    void Refill(std::int64_t nowMs);

    std::deque<Sent> m_recent;  // reports sent within the repeat window, oldest first
    int m_tokens = kBurst;
    std::int64_t m_refilledAtMs = 0;
    bool m_started = false;
    std::uint64_t m_repeats = 0;
    std::uint64_t m_overRate = 0;
};

// One notice at most per interval: a page that keeps navigating to a listed address is refused
// every time, but the customer sees one access-denied box, not one per attempt.
class NoticeLimiter {
  public:
    static constexpr std::int64_t kIntervalMs = 10000;

    bool Admit(std::int64_t nowMs);
    std::uint64_t Suppressed() const { return m_suppressed; }

  private:
    std::int64_t m_lastMs = 0;
    bool m_any = false;
    std::uint64_t m_suppressed = 0;
};

}  // namespace ko::watcher
