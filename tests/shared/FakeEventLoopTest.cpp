#include "fakes/FakeEventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/LoopTestSupport.h"

namespace ko {
namespace {

// The fake stands in for the real loops in every unit test, so it keeps their rules.
TEST(FakeEventLoop, KeepsTheIntervalRulesOfTheRealLoops) {
    FakeEventLoop loop;
    ExpectTimerIntervalRules(loop);
}

TEST(FakeEventLoop, ARunningTickIsNotReenteredAndThePumpReturns) {
    FakeEventLoop loop;
    int ticks = 0;
    int depth = 0;
    int maxDepth = 0;
    EventLoop::TimerId id = loop.AddTimer([&] {
        ++ticks;
        maxDepth = std::max(maxDepth, ++depth);
        loop.Advance(25);  // a handler that lets events run longer than the interval
        --depth;
    });
    loop.SetTimerInterval(id, 10);
    loop.Advance(9);
    EXPECT_EQ(ticks, 0);
    loop.Advance(1);
    EXPECT_GE(ticks, 1);
    EXPECT_EQ(maxDepth, 1);
}

TEST(FakeEventLoop, SettingAnIntervalRestartsTheCount) {
    FakeEventLoop loop;
    int ticks = 0;
    EventLoop::TimerId id = loop.AddTimer([&] { ++ticks; });
    loop.SetTimerInterval(id, 100);
    loop.Advance(60);
    loop.SetTimerInterval(id, 100);
    EXPECT_FALSE(RunFor(loop, 99, [&] { return ticks > 0; }));
    loop.Advance(1);
    EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace ko
