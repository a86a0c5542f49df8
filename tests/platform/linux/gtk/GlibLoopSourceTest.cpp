#include "platform/linux/gtk/GlibLoopSource.h"

#include <glib-unix.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/LoopTestSupport.h"
#include "platform/linux/UniqueFd.h"

namespace ko {
namespace {

gboolean CountAndStop(gpointer count) {
    ++*static_cast<int*>(count);
    return G_SOURCE_REMOVE;
}

TEST(GlibLoopSource, RunPumpPendingAndRunUntilAllServeGlib) {
    LinuxEventLoop loop;
    GlibLoopSource glib(loop);
    ASSERT_TRUE(glib.Acquired());

    // Run: a GLib timeout ends the loop.
    g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
            static_cast<LinuxEventLoop*>(data)->Quit(7);
            return G_SOURCE_REMOVE;
        },
        &loop);
    EXPECT_EQ(loop.Run(), 7);

    // PumpPending: pending GLib work runs without waiting.
    LinuxEventLoop second;
    int idles = 0;
    {
        GlibLoopSource glibAgain(second);
        g_idle_add(CountAndStop, &idles);
        second.PumpPending();
        EXPECT_EQ(idles, 1);

        // RunUntil: a nested loop waits for a GLib timeout.
        int ticks = 0;
        g_timeout_add(30, CountAndStop, &ticks);
        EXPECT_TRUE(RunFor(second, 2000, [&] { return ticks == 1; }));
    }
}

TEST(GlibLoopSource, GlibDescriptorsShareThePoll) {
    LinuxEventLoop loop;
    GlibLoopSource glib(loop);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    int reads = 0;
    guint id = g_unix_fd_add(
        readEnd.Get(), G_IO_IN,
        [](gint fd, GIOCondition, gpointer count) -> gboolean {
            char c = 0;
            [[maybe_unused]] ssize_t n = ::read(fd, &c, 1);
            ++*static_cast<int*>(count);
            return G_SOURCE_CONTINUE;
        },
        &reads);
    // The write comes from the loop's own timer: the loop must wake for GLib's descriptor.
    EventLoop::TimerId timer =
        loop.AddTimer([&] { [[maybe_unused]] ssize_t n = ::write(writeEnd.Get(), "x", 1); });
    loop.SetTimerInterval(timer, 20);
    EXPECT_TRUE(RunFor(loop, 2000, [&] { return reads >= 2; }));
    g_source_remove(id);
}

// A modal window's page loads while the core waits in RunUntil inside a GLib callback; the
// nested loop keeps serving GLib and the loop's own events.
TEST(GlibLoopSource, NestedLoopInsideGlibCallbackKeepsServingBoth) {
    LinuxEventLoop loop;
    GlibLoopSource glib(loop);
    struct State {
        LinuxEventLoop* loop;
        int inner = 0;
        bool posted = false;
        bool finished = false;
    } state{&loop};
    g_timeout_add(
        10,
        [](gpointer data) -> gboolean {
            auto* s = static_cast<State*>(data);
            g_timeout_add(20, CountAndStop, &s->inner);
            s->loop->Post([s] { s->posted = true; });
            RunFor(*s->loop, 2000, [s] { return s->inner == 1 && s->posted; });
            s->finished = true;
            return G_SOURCE_REMOVE;
        },
        &state);
    EXPECT_TRUE(RunFor(loop, 3000, [&] { return state.finished; }));
    EXPECT_EQ(state.inner, 1);
    EXPECT_TRUE(state.posted);
}

TEST(GlibLoopSource, GoneSourceNoLongerServesGlib) {
    LinuxEventLoop loop;
    int idles = 0;
    { GlibLoopSource glib(loop); }
    guint id = g_idle_add(CountAndStop, &idles);
    loop.PumpPending();
    EXPECT_EQ(idles, 0);
    g_source_remove(id);
}

}  // namespace
}  // namespace ko
