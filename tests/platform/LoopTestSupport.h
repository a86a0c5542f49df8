#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

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

// Post from other threads while the loop runs (a name lookup posts its answer so): every task
// arrives, once, and the tasks of one thread run in the order it posted them.
inline void ExpectPostsFromOtherThreadsArriveInOrder(EventLoop& loop) {
    constexpr int kThreads = 4;
    constexpr int kPosts = 250;
    std::vector<std::vector<int>> seen(kThreads);
    int ran = 0;
    std::atomic<bool> go{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            for (int i = 0; i < kPosts; ++i) {
                loop.Post([&, t, i] {
                    seen[static_cast<std::size_t>(t)].push_back(i);
                    ++ran;
                });
            }
        });
    }
    loop.Post([&] { go = true; });
    const bool all = RunFor(loop, 10000, [&] { return ran == kThreads * kPosts; });
    for (std::thread& poster : posters) {
        poster.join();
    }
    EXPECT_TRUE(all) << ran << " of " << kThreads * kPosts << " posted tasks ran";
    for (const std::vector<int>& one : seen) {
        ASSERT_EQ(one.size(), static_cast<std::size_t>(kPosts));
        for (int i = 0; i < kPosts; ++i) {
            EXPECT_EQ(one[static_cast<std::size_t>(i)], i);
        }
    }
}

}  // namespace ko
