// The screens contract on the fake, so that the core's tests and the real adapters hold the
// fake to the same rules.

#include "fakes/FakeEventLoop.h"
#include "fakes/FakeKioskScreens.h"
#include "platform/contract/KioskScreensContract.h"

namespace ko {
namespace {

class FakeHarness : public KioskScreensHarness {
  public:
    EventLoop& Loop() override { return loop; }
    KioskScreens& Screens() override { return screens; }
    std::string Serve(const std::string& path, const FakeDocument& page) override {
        std::string url = "http://Server.test:8080" + path;
        screens.Serve(url, page, 40);
        return url;
    }
    std::string Unreachable() override { return "http://127.0.0.1:1/ws/none.htm"; }
    bool RunUntil(const std::function<bool()>& done, int timeoutMs) override {
        loop.RunPosted();
        for (int waited = 0; !done(); waited += 10) {
            if (waited >= timeoutMs) {
                return false;
            }
            loop.Advance(10);
        }
        return true;
    }
    bool Click(BrowserWindow& window, const std::string& id) override {
        return static_cast<FakeBrowserWindow&>(window).Click(id);
    }
    bool PressKey(BrowserWindow& window, std::int32_t keyCode, std::int32_t shift) override {
        static_cast<FakeBrowserWindow&>(window).Key(keyCode, shift);
        return true;
    }
    std::optional<std::string> InnerText(BrowserWindow& window, const std::string& id) override {
        return static_cast<FakeBrowserWindow&>(window).InnerText(id);
    }

    FakeEventLoop loop;
    FakeKioskScreens screens{loop};
};

KioskScreensHarnessFactory MakeFakeHarness() {
    return [] { return std::make_unique<FakeHarness>(); };
}

INSTANTIATE_TEST_SUITE_P(Fake, KioskScreensContract, testing::Values(MakeFakeHarness()),
                         KioskScreensParamName);

// What the fake adds for the core's tests: the grab's owner and the message box.
TEST(FakeKioskScreens, AnAdvertisementHoldsTheGrabWhileShownAndHandsItBack) {
    FakeEventLoop loop;
    FakeKioskScreens screens{loop};
    RecordedWindowEvents events;
    BrowserWindowSpec mainSpec;
    mainSpec.framed = false;
    auto main = screens.CreateBrowserWindow(mainSpec, events);
    BrowserWindowSpec adSpec;
    adSpec.kind = WindowKind::Advertisement;
    auto ad = screens.CreateBrowserWindow(adSpec, events);
    auto& fakeMain = static_cast<FakeBrowserWindow&>(*main);
    auto& fakeAd = static_cast<FakeBrowserWindow&>(*ad);

    // Asked while hidden, the grab comes with the showing.
    main->GrabKeyboard(true);
    EXPECT_EQ(screens.GrabHolder(), nullptr);
    main->Show(true);
    EXPECT_EQ(screens.GrabHolder(), &fakeMain);
    ad->Show(true);
    EXPECT_EQ(screens.GrabHolder(), &fakeAd);
    EXPECT_TRUE(fakeAd.Key(65));  // swallowed
    ad->Hide();
    EXPECT_EQ(screens.GrabHolder(), &fakeMain);
    ad->Show(true);
    ad.reset();
    EXPECT_EQ(screens.GrabHolder(), &fakeMain);
    main->GrabKeyboard(false);
    EXPECT_EQ(screens.GrabHolder(), nullptr);
}

TEST(FakeKioskScreens, TheMessageBoxRunsTheLoopAndBlocksEveryWindow) {
    FakeEventLoop loop;
    FakeKioskScreens screens{loop};
    RecordedWindowEvents events;
    auto window = screens.CreateBrowserWindow(BrowserWindowSpec{}, events);
    auto& fake = static_cast<FakeBrowserWindow&>(*window);
    window->Show(true);
    bool ticked = false;
    bool blocked = false;
    screens.whileMessageBox = [&] {
        blocked = !fake.ClickPage();
        loop.Post([&] {
            ticked = true;
            screens.CloseMessageBox();
        });
    };
    screens.ShowMessageBox("Wrong password", "Ko Workstation");
    EXPECT_TRUE(blocked);
    EXPECT_TRUE(ticked);
    EXPECT_FALSE(screens.messageBoxOpen);
    EXPECT_TRUE(fake.ClickPage());
    ASSERT_EQ(screens.messageBoxes.size(), 1u);
    EXPECT_EQ(screens.messageBoxes[0].first, "Wrong password");
}

}  // namespace
}  // namespace ko
