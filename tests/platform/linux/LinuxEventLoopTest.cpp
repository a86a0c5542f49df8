#include "platform/linux/LinuxEventLoop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/LoopTestSupport.h"
#include "platform/linux/UniqueFd.h"

namespace ko {
namespace {

TEST(LinuxEventLoop, ClockIsMonotonic) {
    LinuxEventLoop loop;
    std::int64_t first = loop.NowMs();
    std::int64_t second = loop.NowMs();
    EXPECT_LE(first, second);
}

TEST(LinuxEventLoop, TimerTicksRepeatedlyAndZeroStopsIt) {
    LinuxEventLoop loop;
    int ticks = 0;
    EventLoop::TimerId id = loop.AddTimer([&] { ++ticks; });
    EXPECT_TRUE(loop.SetTimerInterval(id, 10));
    const std::int64_t start = loop.NowMs();
    ASSERT_TRUE(RunFor(loop, 500, [&] { return ticks == 3; }));
    EXPECT_GE(loop.NowMs() - start, 30);

    EXPECT_TRUE(loop.SetTimerInterval(id, 0));
    RunFor(loop, 40, [] { return false; });
    EXPECT_EQ(ticks, 3);
}

TEST(LinuxEventLoop, TimerRejectsOutOfRangeIntervalAndUnknownId) {
    LinuxEventLoop loop;
    ExpectTimerIntervalRules(loop);
}

TEST(LinuxEventLoop, SettingTheSameIntervalRestartsTheCount) {
    LinuxEventLoop loop;
    int ticks = 0;
    EventLoop::TimerId id = loop.AddTimer([&] { ++ticks; });
    loop.SetTimerInterval(id, 60);
    // Re-arm every 20 ms for 150 ms: the 60 ms timer never gets to tick.
    EventLoop::TimerId rearm = loop.AddTimer([&] { loop.SetTimerInterval(id, 60); });
    loop.SetTimerInterval(rearm, 20);
    RunFor(loop, 150, [] { return false; });
    EXPECT_EQ(ticks, 0);
    loop.RemoveTimer(rearm);
    ASSERT_TRUE(RunFor(loop, 500, [&] { return ticks == 1; }));
}

TEST(LinuxEventLoop, RunningTickIsNotReenteredAndMissedTicksAreNotQueued) {
    LinuxEventLoop loop;
    std::vector<std::int64_t> starts;
    int depth = 0;
    int maxDepth = 0;
    EventLoop::TimerId id = loop.AddTimer([&] {
        starts.push_back(loop.NowMs());
        maxDepth = std::max(maxDepth, ++depth);
        if (starts.size() == 1) {
            // A nested loop for 60 ms: six intervals pass while this tick runs.
            const std::int64_t end = loop.NowMs() + 60;
            EventLoop::TimerId wake = loop.AddTimer([] {});
            loop.SetTimerInterval(wake, 5);
            loop.RunUntil([&] { return loop.NowMs() >= end; });
            loop.RemoveTimer(wake);
        }
        --depth;
    });
    loop.SetTimerInterval(id, 10);
    ASSERT_TRUE(RunFor(loop, 2000, [&] { return starts.size() == 4; }));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GE(starts[1] - starts[0], 60);
    // The missed ticks do not come as a burst: later ticks keep their interval.
    EXPECT_GE(starts[2] - starts[1], 10);
    EXPECT_GE(starts[3] - starts[2], 10);
}

TEST(LinuxEventLoop, TimerMayRemoveItselfAndOthersInsideItsTick) {
    LinuxEventLoop loop;
    int firstTicks = 0;
    int secondTicks = 0;
    EventLoop::TimerId second = loop.AddTimer([&] { ++secondTicks; });
    EventLoop::TimerId first = 0;
    first = loop.AddTimer([&] {
        ++firstTicks;
        loop.RemoveTimer(first);
        loop.RemoveTimer(second);
    });
    loop.SetTimerInterval(first, 5);
    loop.SetTimerInterval(second, 5);
    RunFor(loop, 60, [] { return false; });
    EXPECT_EQ(firstTicks, 1);
    EXPECT_LE(secondTicks, 1);
}

TEST(LinuxEventLoop, PostedTasksRunInOrderAfterPendingOnes) {
    LinuxEventLoop loop;
    std::vector<int> order;
    loop.Post([&] {
        order.push_back(1);
        loop.Post([&] { order.push_back(3); });
    });
    loop.Post([&] { order.push_back(2); });
    loop.PumpPending();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    loop.PumpPending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(LinuxEventLoop, PumpPendingDoesNotWait) {
    LinuxEventLoop loop;
    EventLoop::TimerId id = loop.AddTimer([] {});
    loop.SetTimerInterval(id, 1000);
    const std::int64_t start = loop.NowMs();
    loop.PumpPending();
    EXPECT_LT(loop.NowMs() - start, 500);
}

TEST(LinuxEventLoop, PostFromAnotherThreadWakesAnIdleLoop) {
    LinuxEventLoop loop;
    bool ran = false;
    std::thread other([&] { loop.Post([&] { ran = true; }); });
    ASSERT_TRUE(RunFor(loop, 2000, [&] { return ran; }));
    other.join();
}

TEST(LinuxEventLoop, PostsFromOtherThreadsAllArriveInOrder) {
    LinuxEventLoop loop;
    ExpectPostsFromOtherThreadsArriveInOrder(loop);
}

TEST(LinuxEventLoop, RunEndsWithTheQuitCodeAndQuitEndsNestedLoops) {
    LinuxEventLoop loop;
    bool nestedReturned = false;
    loop.Post([&] {
        loop.Post([&] { loop.Quit(7); });
        loop.RunUntil([] { return false; });
        nestedReturned = true;
    });
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_TRUE(nestedReturned);
    EXPECT_TRUE(loop.QuitRequested());
}

TEST(LinuxEventLoop, RunUntilChecksItsConditionAfterEveryEvent) {
    LinuxEventLoop loop;
    int ran = 0;
    for (int i = 0; i < 3; ++i) {
        loop.Post([&] { ++ran; });
    }
    loop.RunUntil([&] { return ran == 1; });
    EXPECT_EQ(ran, 1);
    loop.PumpPending();
    EXPECT_EQ(ran, 3);
}

TEST(LinuxEventLoop, ThrowingHandlerDoesNotStopTheLoop) {
    LinuxEventLoop loop;
    bool after = false;
    loop.Post([] { throw std::runtime_error("boom"); });
    loop.Post([&] { after = true; });
    loop.PumpPending();
    EXPECT_TRUE(after);
}

TEST(LinuxEventLoop, WatchedDescriptorReportsReadinessUntilUnwatched) {
    LinuxEventLoop loop;
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);

    int calls = 0;
    std::string got;
    LinuxEventLoop::WatchId id = 0;
    id = loop.WatchFd(readEnd.Get(), POLLIN, [&](short revents) {
        ++calls;
        EXPECT_TRUE(revents & POLLIN);
        char buffer[16];
        ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
        got.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        loop.UnwatchFd(id);  // removing the watch from inside its own callback
    });
    loop.PumpPending();
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(::write(writeEnd.Get(), "hi", 2), 2);
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return calls == 1; }));
    EXPECT_EQ(got, "hi");

    ASSERT_EQ(::write(writeEnd.Get(), "again", 5), 5);
    loop.PumpPending();
    EXPECT_EQ(calls, 1);
}

TEST(LinuxEventLoop, ModifyFdChangesTheEventsWatched) {
    LinuxEventLoop loop;
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    int writable = 0;
    LinuxEventLoop::WatchId id = loop.WatchFd(writeEnd.Get(), 0, [&](short) { ++writable; });
    loop.PumpPending();
    EXPECT_EQ(writable, 0);
    loop.ModifyFd(id, POLLOUT);
    loop.PumpPending();
    EXPECT_EQ(writable, 1);
    loop.UnwatchFd(id);
}

TEST(LinuxEventLoop, SignalArrivesThroughTheLoop) {
    LinuxEventLoop loop;
    int hangups = 0;
    ASSERT_TRUE(loop.OnSignal(SIGHUP, [&] { ++hangups; }));
    ASSERT_EQ(::raise(SIGHUP), 0);  // blocked now, so it waits for the loop instead of killing us
    EXPECT_EQ(hangups, 0);
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return hangups == 1; }));
}

}  // namespace
}  // namespace ko
