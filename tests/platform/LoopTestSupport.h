#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "platform/EventLoop.h"

namespace ko {

// Runs the loop until done() or until limitMs of the loop's time passed, so a fault fails the
// test instead of hanging it.
inline bool RunFor(EventLoop& loop, std::int64_t limitMs, const std::function<bool()>& done) {
    const std::int64_t end = loop.NowMs() + limitMs;
    EventLoop::TimerId guard = loop.AddTimer([] {});
    loop.SetTimerInterval(guard, static_cast<std::uint32_t>(limitMs));
    loop.RunUntil([&] { return done() || loop.NowMs() >= end; });
    loop.RemoveTimer(guard);
    return done();
}

// The interval rules every loop keeps: 0 to 65535 ms, and only for timers that exist.
inline void ExpectTimerIntervalRules(EventLoop& loop) {
    EventLoop::TimerId id = loop.AddTimer([] {});
    EXPECT_TRUE(loop.SetTimerInterval(id, EventLoop::kMaxTimerInterval));
    EXPECT_FALSE(loop.SetTimerInterval(id, EventLoop::kMaxTimerInterval + 1));
    EXPECT_FALSE(loop.SetTimerInterval(id + 100, 10));
    loop.RemoveTimer(id);
    EXPECT_FALSE(loop.SetTimerInterval(id, 10));
}

}  // namespace ko
