#include "platform/win32/Win32HookLibrary.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
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

// A hook of the test's own, set after the library's, sees what the library answers for each event
// through CallNextHookEx: non-zero is an event the library swallows.
struct Verdicts {
    static inline std::vector<std::pair<DWORD, LRESULT>> keys;
    static inline std::vector<std::pair<WPARAM, LRESULT>> commands;

    static LRESULT CALLBACK Keyboard(int code, WPARAM wParam, LPARAM lParam) {
        LRESULT answer = CallNextHookEx(nullptr, code, wParam, lParam);
        if (code == HC_ACTION && (wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN)) {
            keys.emplace_back(reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->vkCode, answer);
        }
        return answer;
    }
    static LRESULT CALLBACK Cbt(int code, WPARAM wParam, LPARAM lParam) {
        LRESULT answer = CallNextHookEx(nullptr, code, wParam, lParam);
        if (code == HCBT_SYSCOMMAND) {
            commands.emplace_back(wParam & 0xFFF0, answer);
        }
        return answer;
    }
    static std::optional<LRESULT> Key(DWORD key) {
        for (auto [seen, answer] : keys) {
            if (seen == key) {
                return answer;
            }
        }
        return std::nullopt;
    }
};

void Press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto key = keys.end(); key != keys.begin();) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *--key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

TEST(Win32HookLibrary, TheKeyboardHookSwallowsTheWaysOutOfTheKiosk) {
    Win32EventLoop loop;
    Win32HookLibrary hooks(ProgramFolder() + "\\hook.dll");
    ASSERT_TRUE(hooks.SetKeyboardHook());
    HHOOK observer =
        SetWindowsHookExA(WH_KEYBOARD_LL, Verdicts::Keyboard, GetModuleHandleA(nullptr), 0);
    ASSERT_NE(observer, nullptr);
    Verdicts::keys.clear();
    Press({'Q'});
    Press({VK_LWIN});
    Press({VK_MENU, VK_TAB});
    Press({VK_CONTROL, VK_ESCAPE});
    RunPolling(loop, 5000, [] { return Verdicts::Key(VK_ESCAPE).has_value(); });
    UnhookWindowsHookEx(observer);
    EXPECT_TRUE(hooks.UnsetKeyboardHook());

    EXPECT_EQ(Verdicts::Key('Q'), 0);
    EXPECT_NE(Verdicts::Key(VK_LWIN).value_or(0), 0);
    EXPECT_NE(Verdicts::Key(VK_TAB).value_or(0), 0) << "Alt+Tab";
    EXPECT_NE(Verdicts::Key(VK_ESCAPE).value_or(0), 0) << "Ctrl+Esc";
    EXPECT_EQ(Verdicts::Key(VK_MENU), 0) << "Alt alone passes";
}

TEST(Win32HookLibrary, TheSaverHookRefusesOnlyTheScreenSaver) {
    Win32EventLoop loop;
    Win32HookLibrary hooks(ProgramFolder() + "\\hook.dll");
    HWND window = CreateWindowExA(0, "STATIC", "saver", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    for (int lock = 0; lock < 2; ++lock) {
        ASSERT_TRUE(hooks.SetSaverHook());
        HHOOK observer = SetWindowsHookExA(WH_CBT, Verdicts::Cbt, nullptr, GetCurrentThreadId());
        ASSERT_NE(observer, nullptr);
        Verdicts::commands.clear();
        DefWindowProcA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
        DefWindowProcA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        UnhookWindowsHookEx(observer);
        EXPECT_TRUE(hooks.UnsetSaverHook());
        ASSERT_EQ(Verdicts::commands.size(), 2u);
        EXPECT_EQ(Verdicts::commands[0], std::make_pair(WPARAM{SC_SCREENSAVE}, LRESULT{1}));
        EXPECT_EQ(Verdicts::commands[1], std::make_pair(WPARAM{SC_RESTORE}, LRESULT{0}));
    }
    DestroyWindow(window);
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
