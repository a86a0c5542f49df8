#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "XvfbSession.h"
#include "platform/linux/DisplayProbe.h"
#include "platform/linux/KioskModule.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxKioskScreensSource.h"
#include "platform/linux/gtk/GtkKioskScreens.h"

namespace ko {
namespace {

std::string ProgramFolder() {
    char path[4096] = {};
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string self(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    return self.substr(0, self.rfind('/'));
}

TEST(KioskDisplay, SourceIsHeadlessWithoutDisplayWaitsForOneAndLoadsTheModule) {
    const std::string display = TestDisplay().Display();
    ASSERT_FALSE(display.empty());
    EXPECT_TRUE(DisplayAnswers(display));
    EXPECT_TRUE(DisplayAnswers("unix" + display + ".0"));
    EXPECT_FALSE(DisplayAnswers(":987"));

    LinuxEventLoop loop;
    LinuxKioskScreensSource source(loop, ProgramFolder());
    ::unsetenv("DISPLAY");
    EXPECT_EQ(source.Open(), KioskScreensSource::Availability::Unsupported);
    ::setenv("DISPLAY", ":987", 1);
    EXPECT_EQ(source.Open(), KioskScreensSource::Availability::NotYet);
    ::setenv("DISPLAY", display.c_str(), 1);
    ASSERT_EQ(source.Open(), KioskScreensSource::Availability::Ready);
    ASSERT_NE(source.Screens(), nullptr);
    EXPECT_GT(source.Screens()->GetDesktop().WorkArea().width, 0);
    EXPECT_EQ(source.Screens()->GetDesktop().Twips(), (TwipsPerPixel{15, 15}));
}

TEST(KioskDisplay, MissingModuleMeansNoScreens) {
    LinuxEventLoop loop;
    LinuxKioskScreensSource source(loop, "/nonexistent");
    EXPECT_EQ(source.Open(), KioskScreensSource::Availability::Unsupported);
}

// The lock cannot be shown without the display: the agent ends with a failure code, for systemd
// to start it again. (The core ends the loop itself; without a listener the screens do.)
TEST(KioskDisplayDeathTest, LostDisplayEndsTheProgramWithAFailureCode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            XvfbSession own;
            if (!own.Start(320, 240)) {
                ::_exit(100);
            }
            LinuxEventLoop loop;
            std::unique_ptr<GtkKioskScreens> screens = GtkKioskScreens::Open(loop);
            if (!screens) {
                ::_exit(101);
            }
            own.StopServer();
            EventLoop::TimerId limit = loop.AddTimer([&] { loop.Quit(102); });
            loop.SetTimerInterval(limit, 10000);
            ::_exit(loop.Run());
        },
        ::testing::ExitedWithCode(kExitDisplayLost), "display went away");
}

}  // namespace
}  // namespace ko
