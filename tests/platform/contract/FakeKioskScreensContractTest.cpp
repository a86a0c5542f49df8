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

}  // namespace
}  // namespace ko
