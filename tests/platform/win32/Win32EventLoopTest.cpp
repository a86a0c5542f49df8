#include "platform/win32/Win32EventLoop.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/LoopTestSupport.h"
#include "platform/win32/TickCounter.h"

namespace ko {
namespace {

// Runs the loop until done() or until a safety timer gives up, so a broken loop fails the test
// instead of hanging it.
TEST(TickCounter, ExtendsAcrossTheWrap) {
    TickCounter counter;
    EXPECT_EQ(counter.Extend(0xFFFFFFF0u), 0xFFFFFFF0ll);
    EXPECT_EQ(counter.Extend(0xFFFFFFFFu), 0xFFFFFFFFll);
    EXPECT_EQ(counter.Extend(5u), 0x100000005ll);
    EXPECT_EQ(counter.Extend(6u), 0x100000006ll);
    EXPECT_EQ(counter.Extend(1u), 0x200000001ll);
}

TEST(Win32EventLoop, ClockNeverGoesBackwards) {
    Win32EventLoop loop;
    std::int64_t first = loop.NowMs();
    std::int64_t second = loop.NowMs();
    EXPECT_GE(second, first);
}

TEST(Win32EventLoop, TimerTicksRepeatedlyUntilStopped) {
    Win32EventLoop loop;
    int ticks = 0;
    EventLoop::TimerId id = loop.AddTimer([&] {
        if (++ticks == 3) {
            loop.SetTimerInterval(id, 0);
        }
    });
    ASSERT_TRUE(loop.SetTimerInterval(id, 10));
    EXPECT_TRUE(RunFor(loop, 5000, [&] { return ticks >= 3; }));

    // A stopped timer stays silent while a later, slower timer fires.
    bool later = false;
    EventLoop::TimerId other = loop.AddTimer([&] { later = true; });
    loop.SetTimerInterval(other, 60);
    EXPECT_TRUE(RunFor(loop, 5000, [&] { return later; }));
    EXPECT_EQ(ticks, 3);
}

TEST(Win32EventLoop, RejectsLongIntervalsAndUnknownTimers) {
    Win32EventLoop loop;
    ExpectTimerIntervalRules(loop);
}

TEST(Win32EventLoop, RunningTimerCallbackIsNotReentered) {
    Win32EventLoop loop;
    int depth = 0;
    int maxDepth = 0;
    int ticks = 0;
    int innerTicks = 0;
    EventLoop::TimerId inner = loop.AddTimer([&] { ++innerTicks; });
    EventLoop::TimerId outer = loop.AddTimer([&] {
        ++ticks;
        maxDepth = std::max(maxDepth, ++depth);
        if (ticks == 1) {
            // A long handler that lets the loop run: its own timer comes due many times meanwhile.
            loop.SetTimerInterval(inner, 50);
            RunFor(loop, 5000, [&] { return innerTicks >= 3; });
        }
        --depth;
    });
    loop.SetTimerInterval(outer, 10);
    EXPECT_TRUE(RunFor(loop, 5000, [&] { return ticks >= 2; }));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GE(innerTicks, 3);
}

TEST(Win32EventLoop, TimerMayRemoveItselfWhileRunning) {
    Win32EventLoop loop;
    int ticks = 0;
    EventLoop::TimerId id = 0;
    id = loop.AddTimer([&] {
        ++ticks;
        loop.RemoveTimer(id);
    });
    loop.SetTimerInterval(id, 10);
    bool later = false;
    EventLoop::TimerId other = loop.AddTimer([&] { later = true; });
    loop.SetTimerInterval(other, 80);
    EXPECT_TRUE(RunFor(loop, 5000, [&] { return later; }));
    EXPECT_EQ(ticks, 1);
}

TEST(Win32EventLoop, PostedTasksRunInOrderAfterPendingEvents) {
    Win32EventLoop loop;
    std::vector<int> order;
    loop.Post([&] {
        order.push_back(1);
        loop.Post([&] { order.push_back(3); });
    });
    loop.Post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    loop.PumpPending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(Win32EventLoop, PostIsSafeFromAnotherThread) {
    Win32EventLoop loop;
    int received = 0;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) {
            loop.Post([&] { ++received; });
        }
    });
    EXPECT_TRUE(RunFor(loop, 5000, [&] { return received == 100; }));
    poster.join();
}

TEST(Win32EventLoop, PostsFromOtherThreadsAllArriveInOrder) {
    Win32EventLoop loop;
    ExpectPostsFromOtherThreadsArriveInOrder(loop);
}

// Any process can post to the loop's window; what it posts must never be taken for code to run.
TEST(Win32EventLoop, ForgedMessagesRunNothing) {
    Win32EventLoop loop;
    int ran = 0;
    EventLoop::TimerId id = loop.AddTimer([&] { ++ran; });
    for (UINT message = WM_APP; message < WM_APP + 4; ++message) {
        PostMessageA(loop.NotifyWindow(), message, 0, static_cast<LPARAM>(0x12345678));
    }
    PostMessageA(loop.NotifyWindow(), WM_TIMER, id, static_cast<LPARAM>(0x12345678));
    loop.PumpPending();
    EXPECT_EQ(ran, 0);

    bool posted = false;
    loop.Post([&] { posted = true; });
    loop.PumpPending();
    EXPECT_TRUE(posted);
}

TEST(Win32EventLoop, FailingTaskDoesNotStopTheLoop) {
    Win32EventLoop loop;
    bool after = false;
    loop.Post([] { throw std::runtime_error("handler failure"); });
    loop.Post([&] { after = true; });
    loop.PumpPending();
    EXPECT_TRUE(after);
}

TEST(Win32EventLoop, QuitEndsNestedLoopsAndRun) {
    Win32EventLoop loop;
    bool nestedReturned = false;
    bool afterNested = false;
    loop.Post([&] {
        loop.Post([&] { loop.Quit(7); });
        loop.RunUntil([] { return false; });
        nestedReturned = true;
    });
    loop.Post([&] { afterNested = true; });
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_TRUE(nestedReturned);
    EXPECT_TRUE(afterNested);
    EXPECT_TRUE(loop.QuitRequested());
}

TEST(Win32EventLoop, QuitBeforeRunReturnsAtOnce) {
    Win32EventLoop loop;
    loop.Quit(3);
    EXPECT_EQ(loop.Run(), 3);
}

TEST(Win32EventLoop, QuitLeavesNoQuitMessageForTheNextLoop) {
    {
        Win32EventLoop first;
        first.Quit(1);
    }
    Win32EventLoop second;
    bool ran = false;
    second.Post([&] { ran = true; });
    second.PumpPending();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(second.QuitRequested());
}

TEST(Win32EventLoop, RegisteredMessagesReachTheirHandler) {
    Win32EventLoop loop;
    WPARAM seenW = 0;
    LPARAM seenL = 0;
    UINT message = loop.RegisterHandler([&](WPARAM w, LPARAM l) -> LRESULT {
        seenW = w;
        seenL = l;
        return 42;
    });
    ASSERT_NE(message, 0u);
    EXPECT_EQ(SendMessageA(loop.NotifyWindow(), message, 5, 6), 42);
    EXPECT_EQ(seenW, 5u);
    EXPECT_EQ(seenL, 6);

    UINT second = loop.RegisterHandler([](WPARAM, LPARAM) -> LRESULT { return 1; });
    EXPECT_NE(second, message);
    loop.UnregisterHandler(message);
    seenW = 0;
    EXPECT_EQ(SendMessageA(loop.NotifyWindow(), message, 9, 9), 0);
    EXPECT_EQ(seenW, 0u);
}

TEST(Win32EventLoop, RunUntilChecksDoneBeforeWaiting) {
    Win32EventLoop loop;
    int checks = 0;
    loop.RunUntil([&] {
        ++checks;
        return true;
    });
    EXPECT_EQ(checks, 1);
}

}  // namespace
}  // namespace ko
