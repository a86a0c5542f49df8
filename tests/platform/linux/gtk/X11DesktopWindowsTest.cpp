// Window control on a real X display with openbox: notices of other programs' windows, their
// class, title and process, hiding, polite closing and the stacking order.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>

#include "XvfbSession.h"
#include "fakes/DryRunScope.h"
#include "platform/LoopTestSupport.h"
#include "platform/linux/ChildProgram.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/x11/LinuxHookLibrary.h"
#include "platform/linux/x11/X11DesktopWindows.h"

namespace ko {
namespace {

struct Notice {
    HookNotice notice;
    WindowId window;
};

class X11DesktopWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_desktop.Open());
        m_hooks.SetNoticeHandler([this](HookNotice n, WindowId w) { m_notices.push_back({n, w}); });
        ASSERT_TRUE(m_hooks.SetShellHook());
        ASSERT_TRUE(m_hooks.SetCBTHook());
    }

    // Starts the helper and returns its window once the window manager lists it.
    WindowId StartHelper(std::unique_ptr<ChildProgram>& helper, const char* mode,
                         const char* className, const char* title) {
        helper = std::make_unique<ChildProgram>(
            std::vector<std::string>{KO_X_HELPER, mode, className, title});
        const std::string ready = helper->ReadLine();
        if (ready.rfind("ready ", 0) != 0) {
            return 0;
        }
        const auto window = static_cast<WindowId>(std::stoul(ready.substr(6)));
        RunFor(m_loop, 5000, [&] { return Saw(HookNotice::WindowCreated, window); });
        return window;
    }
    bool Saw(HookNotice notice, WindowId window) const {
        return std::any_of(m_notices.begin(), m_notices.end(), [&](const Notice& n) {
            return n.notice == notice && n.window == window;
        });
    }
    // Asks the server directly, on another connection.
    static bool IsMapped(WindowId window) {
        Display* display = XOpenDisplay(nullptr);
        XWindowAttributes attributes{};
        const bool mapped = XGetWindowAttributes(display, window, &attributes) != 0 &&
                            attributes.map_state != IsUnmapped;
        XCloseDisplay(display);
        return mapped;
    }

    LinuxEventLoop m_loop;
    LinuxProcesses m_processes{m_loop};
    X11DesktopWindows m_desktop{m_loop, m_processes};
    LinuxHookLibrary m_hooks{&m_desktop};
    std::vector<Notice> m_notices;
};

TEST_F(X11DesktopWindowsTest, NewWindowIsNoticedWithItsClassTitleAndProcess) {
    std::unique_ptr<ChildProgram> helper;
    const WindowId window = StartHelper(helper, "ignore", "KoHelper", "Caf\xC3\xA9 | one");
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(Saw(HookNotice::WindowCreated, window));
    EXPECT_EQ(m_desktop.ClassName(window), "KoHelper");
    EXPECT_EQ(m_desktop.Title(window), "Caf\xE9 | one");  // ANSI for the core
    EXPECT_EQ(m_desktop.ProcessOf(window), static_cast<ProcessId>(helper->Pid()));
    const auto program = m_processes.Find(static_cast<ProcessId>(helper->Pid()));
    ASSERT_TRUE(program);
    EXPECT_NE(program->executable.find("ko_x_helper"), std::string::npos);
    // openbox gives a new window the focus.
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return Saw(HookNotice::WindowActivated, window); }));

    helper->Stop();
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return Saw(HookNotice::WindowDestroyed, window); }));
    EXPECT_FALSE(m_desktop.Exists(window));
    EXPECT_FALSE(m_desktop.ClassName(window));
    EXPECT_EQ(m_desktop.Hide(window), ActionResult::Failed);

    // Without the hooks nothing more arrives.
    m_notices.clear();
    m_hooks.UnsetCBTHook();
    m_hooks.UnsetShellHook();
    std::unique_ptr<ChildProgram> quiet;
    quiet = std::make_unique<ChildProgram>(
        std::vector<std::string>{KO_X_HELPER, "ignore", "KoQuiet", "quiet"});
    ASSERT_EQ(quiet->ReadLine().rfind("ready ", 0), 0u);
    RunFor(m_loop, 300, [] { return false; });
    EXPECT_TRUE(m_notices.empty());
}

TEST_F(X11DesktopWindowsTest, HiddenWindowsComeBackAndTheStackingPutsTheNewestOnTop) {
    std::unique_ptr<ChildProgram> first;
    std::unique_ptr<ChildProgram> second;
    const WindowId below = StartHelper(first, "ignore", "KoFirst", "first");
    const WindowId above = StartHelper(second, "ignore", "KoSecond", "second");
    ASSERT_NE(below, 0u);
    ASSERT_NE(above, 0u);
    const auto order = m_desktop.TopLevelWindows();
    const auto at = [&](WindowId w) {
        return std::find(order.begin(), order.end(), w) - order.begin();
    };
    ASSERT_LT(at(above), static_cast<long>(order.size()));
    EXPECT_LT(at(above), at(below));

    // Hiding and showing again is no end and no new window of the program's.
    m_notices.clear();
    EXPECT_EQ(m_desktop.Hide(below), ActionResult::Done);
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return !IsMapped(below); }));
    EXPECT_EQ(m_desktop.Hide(above), ActionResult::Done);
    EXPECT_EQ(m_desktop.Show(below), ActionResult::Done);
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return IsMapped(below); }));
    RunFor(m_loop, 300, [] { return false; });
    EXPECT_FALSE(Saw(HookNotice::WindowDestroyed, below));
    EXPECT_FALSE(Saw(HookNotice::WindowCreated, below));
    EXPECT_FALSE(Saw(HookNotice::WindowDestroyed, above));
    // A program that ends while its window is hidden is still heard of.
    second->Stop();
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return Saw(HookNotice::WindowDestroyed, above); }));

    // The desktop's own processes: openbox and the X server.
    const auto desktop = m_desktop.DesktopProcesses();
    EXPECT_GE(desktop.size(), 2u);
    for (ProcessId id : desktop) {
        const auto info = m_processes.Find(id);
        ASSERT_TRUE(info);
        EXPECT_TRUE(info->executable.find("openbox") != std::string::npos ||
                    info->executable.find("Xvfb") != std::string::npos)
            << info->executable;
        // Never ended, whoever asks.
        EXPECT_TRUE(m_processes.IsProtected(id));
        auto handle = m_processes.Open(id);
        ASSERT_TRUE(handle);
        EXPECT_EQ(handle->Terminate(0), ActionResult::Failed);
    }
}

TEST_F(X11DesktopWindowsTest, PoliteCloseEndsAWillingProgramAndAStubbornOneIsKilledAfter500Ms) {
    std::unique_ptr<ChildProgram> willing;
    std::unique_ptr<ChildProgram> stubborn;
    const WindowId willingWindow = StartHelper(willing, "obey", "KoWilling", "willing");
    const WindowId stubbornWindow = StartHelper(stubborn, "ignore", "KoStubborn", "stubborn");
    ASSERT_NE(willingWindow, 0u);
    ASSERT_NE(stubbornWindow, 0u);

    // Both are asked; after 500 ms, measured by a loop timer, what still runs is ended through
    // the handle opened before the request.
    std::vector<std::unique_ptr<ProcessHandle>> handles;
    std::vector<bool> ended(2, false);
    for (WindowId window : {willingWindow, stubbornWindow}) {
        auto handle = m_processes.Open(*m_desktop.ProcessOf(window));
        ASSERT_TRUE(handle);
        const std::size_t index = handles.size();
        handle->AwaitEnd([&ended, index] { ended[index] = true; });
        handles.push_back(std::move(handle));
    }
    {
        DryRunScope dryRun;
        EXPECT_EQ(m_desktop.RequestClose(willingWindow), ActionResult::DryRun);
    }
    EXPECT_EQ(m_desktop.RequestClose(willingWindow), ActionResult::Done);
    EXPECT_EQ(m_desktop.RequestClose(stubbornWindow), ActionResult::Done);
    bool killed = false;
    const auto timer = m_loop.AddTimer([&] {
        for (auto& handle : handles) {
            if (!handle->HasEnded() && handle->Terminate(0) == ActionResult::Done) {
                killed = true;
            }
        }
    });
    m_loop.SetTimerInterval(timer, 500);
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return ended[0] && ended[1]; }));
    m_loop.RemoveTimer(timer);
    EXPECT_TRUE(killed);
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] {
        return Saw(HookNotice::WindowDestroyed, willingWindow) &&
               Saw(HookNotice::WindowDestroyed, stubbornWindow);
    }));
}

// The agent may start before the X server: the watch opens once the display answers, lets go
// of a display that goes away and takes up the next one, with the hooks' notices and the screen
// saver's suspension carried over.
TEST(X11DesktopWindowsLateDisplay, WatchOpensWhenTheDisplayArrivesAndSurvivesItsLoss) {
    const std::string shared = TestDisplay().Display();
    struct RestoreDisplay {
        std::string name;
        ~RestoreDisplay() { ::setenv("DISPLAY", name.c_str(), 1); }
    } restore{shared};

    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    X11DesktopWindows desktop(loop, processes);
    LinuxHookLibrary hooks(&desktop);
    std::vector<Notice> notices;
    hooks.SetNoticeHandler([&](HookNotice n, WindowId w) { notices.push_back({n, w}); });
    ASSERT_TRUE(hooks.SetShellHook());
    ASSERT_TRUE(hooks.SetSaverHook());  // locked before any display

    ::unsetenv("DISPLAY");
    EXPECT_FALSE(desktop.KeepOpen(50));  // headless: nothing to wait for
    ::setenv("DISPLAY", ":987", 1);
    EXPECT_FALSE(desktop.KeepOpen(50));
    EXPECT_FALSE(desktop.Available());

    const auto sawNewWindow = [&](std::unique_ptr<ChildProgram>& helper, const char* name) {
        helper = std::make_unique<ChildProgram>(
            std::vector<std::string>{KO_X_HELPER, "ignore", name, name});
        const std::string ready = helper->ReadLine();
        if (ready.rfind("ready ", 0) != 0) {
            return false;
        }
        const auto window = static_cast<WindowId>(std::stoul(ready.substr(6)));
        return RunFor(loop, 5000, [&] {
            return std::any_of(notices.begin(), notices.end(), [&](const Notice& n) {
                return n.notice == HookNotice::WindowCreated && n.window == window;
            });
        });
    };

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        XvfbSession own;  // sets DISPLAY to the display that arrives
        ASSERT_TRUE(own.Start(320, 240));
        ASSERT_TRUE(RunFor(loop, 5000, [&] { return desktop.Available(); }));
        std::unique_ptr<ChildProgram> helper;
        EXPECT_TRUE(sawNewWindow(helper, "KoLate"));
        EXPECT_TRUE(desktop.SuspendScreenSaver(true));
        helper.reset();
        own.StopServer();
        EXPECT_TRUE(RunFor(loop, 5000, [&] { return !desktop.Available(); }));
        EXPECT_EQ(desktop.Hide(1), ActionResult::NotSupported);
    }
}

}  // namespace
}  // namespace ko
