#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/FakeDocument.h"
#include "platform/EventLoop.h"
#include "platform/KioskScreens.h"

namespace ko {

// What the contract suite needs from the screens it runs on: the fake, or a real adapter on a
// display. A harness serves the suite's pages and plays the user.
class KioskScreensHarness {
  public:
    virtual ~KioskScreensHarness() = default;
    virtual EventLoop& Loop() = 0;
    virtual KioskScreens& Screens() = 0;
    // Serves the page at path; returns the address to navigate to.
    virtual std::string Serve(const std::string& path, const FakeDocument& page) = 0;
    // An address whose load fails (nothing answers there).
    virtual std::string Unreachable() = 0;
    // Runs the loop until done() holds or timeoutMs have passed (virtual time on the fake).
    virtual bool RunUntil(const std::function<bool()>& done, int timeoutMs) = 0;
    // Clicks the first element with this id as a user does.
    virtual bool Click(BrowserWindow& window, const std::string& id) = 0;
    // Presses a key in the window as a user does.
    virtual bool PressKey(BrowserWindow& window, std::int32_t keyCode, std::int32_t shift) = 0;
    // What the page shows as the element's innerText; nothing when it cannot be read.
    virtual std::optional<std::string> InnerText(BrowserWindow& window, const std::string& id) = 0;
};

// Makes a fresh harness for each test. It prints as a fixed word, so that the test names that
// ctest discovers stay the same from run to run.
class KioskScreensHarnessFactory {
  public:
    // Any callable that makes a harness, as a std::function<...()> would take it.
    template <typename Make>
    requires std::is_invocable_r_v<std::unique_ptr<KioskScreensHarness>, Make&>
    KioskScreensHarnessFactory(Make make) : m_make(std::move(make)) {}
    std::unique_ptr<KioskScreensHarness> operator()() const { return m_make(); }
    friend void PrintTo(const KioskScreensHarnessFactory&, std::ostream* out) { *out << "harness"; }

  private:
    std::function<std::unique_ptr<KioskScreensHarness>()> m_make;
};

// Stable test names for an instantiation ("Screens0", ...), instead of the factory's bytes.
inline std::string KioskScreensParamName(
    const testing::TestParamInfo<KioskScreensHarnessFactory>& info) {
    return "Screens" + std::to_string(info.index);
}

// Every notice of one window, in order.
class RecordedWindowEvents : public BrowserWindowEvents {
  public:
    void OnNavigating(const std::string& url) override { navigating.push_back(url); }
    void OnDocumentComplete(const DocumentInfo& document) override {
        completed.push_back(document);
    }
    void OnClick(const ClickInfo& click) override { clicks.push_back(click); }
    void OnKeyDown(const KeyInfo& key) override { keys.push_back(key); }
    void OnMouseMove() override { ++mouseMoves; }
    void OnActivate() override { ++activations; }
    void OnCloseBox() override { ++closeBoxes; }
    int Count() const {
        return static_cast<int>(navigating.size() + completed.size() + clicks.size() +
                                keys.size()) +
               mouseMoves + activations + closeBoxes;
    }

    std::vector<std::string> navigating;
    std::vector<DocumentInfo> completed;
    std::vector<ClickInfo> clicks;
    std::vector<KeyInfo> keys;
    int mouseMoves = 0;
    int activations = 0;
    int closeBoxes = 0;
};

// The suite: instantiate it with a factory of harnesses, for example
//   INSTANTIATE_TEST_SUITE_P(Linux, KioskScreensContract,
//                            testing::Values(KioskScreensHarnessFactory(MakeLinuxHarness)),
//                            KioskScreensParamName);
class KioskScreensContract : public testing::TestWithParam<KioskScreensHarnessFactory> {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A framed window with a recorder, shown at a known place.
    std::unique_ptr<BrowserWindow> NewWindow(RecordedWindowEvents& events,
                                             BrowserWindowSpec spec = {});
    // Navigates and waits for the top document's completion.
    bool Load(BrowserWindow& window, RecordedWindowEvents& events, const std::string& url);

    std::unique_ptr<KioskScreensHarness> harness;
};

}  // namespace ko
