// Without a display the window steps say "not supported" and the hook library still answers:
// a headless agent has no missing library to report.
#include <gtest/gtest.h>

#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/x11/LinuxHookLibrary.h"
#include "platform/linux/x11/X11DesktopWindows.h"

namespace ko {
namespace {

TEST(HeadlessDesktop, WindowStepsAreNotSupportedAndHooksSucceed) {
    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    X11DesktopWindows desktop(loop, processes);
    EXPECT_FALSE(desktop.Open("unix:/nonexistent:97"));
    EXPECT_FALSE(desktop.Available());
    EXPECT_FALSE(desktop.ClassName(5));
    EXPECT_EQ(desktop.Hide(5), ActionResult::NotSupported);
    EXPECT_EQ(desktop.RequestClose(5), ActionResult::NotSupported);
    EXPECT_EQ(desktop.CloseStartButton(), ActionResult::NotSupported);
    EXPECT_TRUE(desktop.TopLevelWindows().empty());

    for (X11DesktopWindows* watch : {&desktop, static_cast<X11DesktopWindows*>(nullptr)}) {
        LinuxHookLibrary hooks(watch);
        EXPECT_TRUE(hooks.SetShellHook() && hooks.SetCBTHook() && hooks.SetKeyboardHook() &&
                    hooks.SetSaverHook() && hooks.UnsetSaverHook() && hooks.UnsetKeyboardHook() &&
                    hooks.UnsetCBTHook() && hooks.UnsetShellHook() && hooks.GoOnline());
    }
}

}  // namespace
}  // namespace ko
