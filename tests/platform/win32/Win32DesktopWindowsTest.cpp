#include "platform/win32/Win32DesktopWindows.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/DryRunScope.h"
#include "platform/win32/TestProgram.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32WindowId.h"

namespace ko {
namespace {

class Win32DesktopWindowsTest : public ::testing::Test {
  protected:
    // Starts the test program and waits for its window.
    WindowId StartWindow(TestProgram& program, const std::string& title) {
        HWND found = nullptr;
        RunPolling(m_loop, 10000, [&] {
            found = FindProgramWindow(program.Id(), title);
            return found != nullptr;
        });
        return ToWindowId(found);
    }

    Win32EventLoop m_loop;
    Win32DesktopWindows m_windows;
};

TEST_F(Win32DesktopWindowsTest, AnotherProgramsWindowIsListedWithItsClassTitleAndProcess) {
    const std::string title = "desktop | window " + std::to_string(GetTickCount());
    TestProgram program("--class KoListedWindow --title \"" + title + "\"");
    WindowId window = StartWindow(program, title);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(m_windows.Available());
    EXPECT_TRUE(m_windows.Exists(window));
    EXPECT_EQ(m_windows.ClassName(window), "KoListedWindow");
    EXPECT_EQ(m_windows.Title(window), title);
    EXPECT_EQ(m_windows.ProcessOf(window), program.Id());
    std::vector<WindowId> all = m_windows.TopLevelWindows();
    EXPECT_NE(std::find(all.begin(), all.end(), window), all.end());

    // The program's own windows are not among the others'.
    HWND own = CreateWindowExA(0, "STATIC", "own", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
    all = m_windows.TopLevelWindows();
    EXPECT_EQ(std::find(all.begin(), all.end(), ToWindowId(own)), all.end());
    DestroyWindow(own);
}

TEST_F(Win32DesktopWindowsTest, HidesShowsAndClosesAnotherProgramsWindow) {
    const std::string title = "hide and close " + std::to_string(GetTickCount());
    TestProgram program("--title \"" + title + "\"");
    WindowId window = StartWindow(program, title);
    ASSERT_NE(window, 0u);
    HWND hwnd = ToHwnd(window);

    EXPECT_EQ(m_windows.Hide(window), ActionResult::Done);
    EXPECT_TRUE(RunPolling(m_loop, 5000, [&] { return !IsWindowVisible(hwnd); }));
    EXPECT_EQ(m_windows.Show(window), ActionResult::Done);
    EXPECT_TRUE(RunPolling(m_loop, 5000, [&] { return IsWindowVisible(hwnd) != FALSE; }));

    {
        DryRunScope dryRun;
        EXPECT_EQ(m_windows.RequestClose(window), ActionResult::DryRun);
        EXPECT_FALSE(program.WaitForEnd(300));
    }
    EXPECT_EQ(m_windows.RequestClose(window), ActionResult::Done);
    EXPECT_TRUE(program.WaitForEnd(10000));
    EXPECT_TRUE(RunPolling(m_loop, 5000, [&] { return !m_windows.Exists(window); }));
    EXPECT_EQ(m_windows.Hide(window), ActionResult::Failed);
    EXPECT_EQ(m_windows.RequestClose(window), ActionResult::Failed);
    EXPECT_FALSE(m_windows.ClassName(window).has_value());
    EXPECT_FALSE(m_windows.Title(window).has_value());
}

TEST_F(Win32DesktopWindowsTest, AProgramMayRefuseThePoliteClose) {
    const std::string title = "stubborn " + std::to_string(GetTickCount());
    TestProgram program("--ignore-close --title \"" + title + "\"");
    WindowId window = StartWindow(program, title);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(m_windows.RequestClose(window), ActionResult::Done);
    EXPECT_FALSE(program.WaitForEnd(500));
    EXPECT_TRUE(m_windows.Exists(window));
}

// From Vista on (and Wine says it is Windows 7) the taskbar has no Start button child to close.
TEST_F(Win32DesktopWindowsTest, TheStartButtonIsOnlyClosedOnXp) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExA(&version));
    if (version.dwMajorVersion >= 6) {
        EXPECT_EQ(m_windows.CloseStartButton(), ActionResult::NotSupported);
    } else {
        DryRunScope dryRun;
        EXPECT_NE(m_windows.CloseStartButton(), ActionResult::NotSupported);
    }
    EXPECT_FALSE(m_windows.DesktopProcesses().empty());
}

}  // namespace
}  // namespace ko
