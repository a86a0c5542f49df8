#include "platform/win32/Win32HookLibrary.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/TestProgram.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32WindowId.h"

namespace ko {
namespace {

std::string ProgramFolder() {
    std::string path = ModuleFilePath();
    return path.substr(0, path.find_last_of('\\'));
}

struct Seen {
    HookNotice notice;
    WindowId window;
};

bool Has(const std::vector<Seen>& seen, HookNotice notice, WindowId window) {
    for (const Seen& s : seen) {
        if (s.notice == notice && s.window == window) {
            return true;
        }
    }
    return false;
}

// A program's window is announced when it appears, when it becomes active and when it ends,
// through hook.dll from the program's folder, on the loop.
TEST(Win32HookLibrary, AnotherProgramsWindowIsAnnouncedCreatedActivatedAndDestroyed) {
    Win32EventLoop loop;
    Win32HookLibrary hooks(ProgramFolder() + "\\hook.dll");
    std::vector<Seen> seen;
    hooks.SetNoticeHandler([&](HookNotice notice, WindowId window) {
        EXPECT_NE(window, 0u) << "a notice always names a window";
        seen.push_back({notice, window});
    });
    ASSERT_TRUE(hooks.SetShellHook());
    ASSERT_TRUE(hooks.SetCBTHook());

    const std::string title = "hook notices " + std::to_string(GetTickCount());
    TestProgram program("--title \"" + title + "\"");
    ASSERT_TRUE(program.Started());
    HWND window = nullptr;
    ASSERT_TRUE(RunPolling(loop, 10000, [&] {
        window = FindProgramWindow(program.Id(), title);
        return window != nullptr && Has(seen, HookNotice::WindowCreated, ToWindowId(window));
    }));
    EXPECT_TRUE(RunPolling(
        loop, 5000, [&] { return Has(seen, HookNotice::WindowActivated, ToWindowId(window)); }));

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(RunPolling(
        loop, 10000, [&] { return Has(seen, HookNotice::WindowDestroyed, ToWindowId(window)); }));
    EXPECT_TRUE(program.WaitForEnd(5000));

    EXPECT_TRUE(hooks.UnsetCBTHook());
    EXPECT_TRUE(hooks.UnsetShellHook());
    EXPECT_TRUE(hooks.GoOnline());
}

// A handler that lets pending messages run does not get the next notice inside itself.
TEST(Win32HookLibrary, NoticesReachTheHandlerOneAtATime) {
    Win32EventLoop loop;
    Win32HookLibrary hooks(ProgramFolder() + "\\hook.dll");
    int depth = 0;
    int most = 0;
    int count = 0;
    hooks.SetNoticeHandler([&](HookNotice, WindowId) {
        ++depth;
        most = std::max(most, depth);
        ++count;
        loop.PumpPending();
        --depth;
    });
    for (int i = 0; i < 3; ++i) {
        PostMessageA(hooks.NoticeWindow(), 1027, static_cast<WPARAM>(100 + i), 0);
    }
    // Activation of no window is never a notice.
    PostMessageA(hooks.NoticeWindow(), 1029, 0, 0);
    RunPolling(loop, 2000, [&] { return count == 3; });
    EXPECT_EQ(count, 3);
    EXPECT_EQ(most, 1);
}

TEST(Win32HookLibrary, KeyboardAndSaverHooksComeAndGoWithEachLock) {
    Win32EventLoop loop;
    Win32HookLibrary hooks(ProgramFolder() + "\\hook.dll");
    for (int lock = 0; lock < 2; ++lock) {
        EXPECT_TRUE(hooks.SetKeyboardHook());
        EXPECT_TRUE(hooks.SetSaverHook());
        loop.PumpPending();
        EXPECT_TRUE(hooks.UnsetSaverHook());
        EXPECT_TRUE(hooks.UnsetKeyboardHook());
    }
}

// A missing library, or one without the functions, makes every call answer false (the agent
// then shows its "missing configuration files" message); nothing is looked up elsewhere.
TEST(Win32HookLibrary, AMissingLibraryOrFunctionAnswersFalse) {
    Win32EventLoop loop;
    Win32HookLibrary missing(ProgramFolder() + "\\no-such-folder\\hook.dll");
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof(system));
    Win32HookLibrary wrong(std::string(system) + "\\version.dll");
    for (HookLibrary* hooks :
         {static_cast<HookLibrary*>(&missing), static_cast<HookLibrary*>(&wrong)}) {
        EXPECT_FALSE(hooks->SetKeyboardHook());
        EXPECT_FALSE(hooks->SetSaverHook());
        EXPECT_FALSE(hooks->SetShellHook());
        EXPECT_FALSE(hooks->SetCBTHook());
        EXPECT_FALSE(hooks->UnsetSaverHook());
        EXPECT_FALSE(hooks->UnsetKeyboardHook());
        EXPECT_FALSE(hooks->UnsetCBTHook());
        EXPECT_FALSE(hooks->UnsetShellHook());
        EXPECT_FALSE(hooks->GoOnline());
    }
}

}  // namespace
}  // namespace ko
