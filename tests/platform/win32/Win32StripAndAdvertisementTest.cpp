// The Windows time-out strip, advertisement, message box and the lock's foreground call: window
// styles, rectangles, focus and the message box's own loop.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/LoopTestSupport.h"
#include "platform/contract/KioskScreensContract.h"
#include "platform/win32/Win32BrowserWindow.h"
#include "platform/win32/Win32KioskScreens.h"

namespace ko {
namespace {

PixelRect RectOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return PixelRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

class Win32StripAndAdTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(screens.Open(), KioskScreensSource::Availability::Ready); }
    std::unique_ptr<Win32BrowserWindow> NewWindow(WindowKind kind, RecordedWindowEvents& sink,
                                                  bool framed = false) {
        BrowserWindowSpec spec;
        spec.caption = kind == WindowKind::Standard ? "Ostrel" : "Extra";
        spec.framed = framed;
        spec.kind = kind;
        auto window = screens.CreateBrowserWindow(spec, sink);
        return std::unique_ptr<Win32BrowserWindow>(
            static_cast<Win32BrowserWindow*>(window.release()));
    }
    // The kiosk, shown and in the foreground.
    std::unique_ptr<Win32BrowserWindow> ShowKiosk() {
        auto kiosk = NewWindow(WindowKind::Standard, kioskEvents);
        EXPECT_NE(kiosk, nullptr);
        kiosk->Move(0, 0);
        kiosk->Resize(400, 300);
        kiosk->Show(true);
        RunFor(loop, 2000, [&] { return GetForegroundWindow() == kiosk->Handle(); });
        return kiosk;
    }

    Win32EventLoop loop;
    Win32KioskScreens screens{loop};
    RecordedWindowEvents kioskEvents;
    RecordedWindowEvents events;
};

TEST_F(Win32StripAndAdTest, TheStripIsATopmostToolPopupThatNeverTakesTheForeground) {
    auto kiosk = ShowKiosk();
    ASSERT_EQ(GetForegroundWindow(), kiosk->Handle());
    auto strip = NewWindow(WindowKind::Strip, events);
    ASSERT_NE(strip, nullptr);
    HWND handle = strip->Handle();
    const LONG_PTR style = GetWindowLongPtrA(handle, GWL_STYLE);
    const LONG_PTR extended = GetWindowLongPtrA(handle, GWL_EXSTYLE);
    EXPECT_NE(style & WS_POPUP, 0);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_EQ(extended & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE),
              WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE);

    strip->Resize(300, 100);
    strip->Move(500, 668);
    strip->Show(true);
    loop.PumpPending();
    EXPECT_TRUE(IsWindowVisible(handle));
    EXPECT_EQ(RectOf(handle), (PixelRect{500, 668, 300, 100}));
    strip->Move(500, 600);
    strip->Show(false);
    EXPECT_EQ(RectOf(handle), (PixelRect{500, 600, 300, 100}));
    EXPECT_EQ(strip->Bounds(), (PixelRect{500, 600, 300, 100}));
    // A click does not activate it either.
    EXPECT_EQ(SendMessageA(handle, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(kiosk->Handle()),
                           MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_NOACTIVATE);
    RunFor(loop, 300, [] { return false; });
    EXPECT_EQ(GetForegroundWindow(), kiosk->Handle());
    EXPECT_FALSE(strip->IsActive());
    EXPECT_EQ(events.activations, 0);
}

TEST_F(Win32StripAndAdTest, TheAdvertisementCoversTheScreenAgainAfterADisplayChange) {
    auto ad = NewWindow(WindowKind::Advertisement, events);
    ASSERT_NE(ad, nullptr);
    HWND handle = ad->Handle();
    EXPECT_NE(GetWindowLongPtrA(handle, GWL_STYLE) & WS_POPUP, 0);
    EXPECT_NE(GetWindowLongPtrA(handle, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    const PixelRect screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    ad->Show(true);
    EXPECT_EQ(RectOf(handle), screen);
    // Only the display moves it.
    ad->Move(10, 10);
    ad->Resize(100, 100);
    EXPECT_EQ(RectOf(handle), screen);
    SetWindowPos(handle, nullptr, 5, 5, 200, 200, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(handle, WM_DISPLAYCHANGE, 32, MAKELPARAM(screen.width, screen.height));
    EXPECT_EQ(RectOf(handle), screen);
    EXPECT_EQ(ad->Bounds(), screen);
}

TEST_F(Win32StripAndAdTest, EveryKeyAndClickOfTheAdvertisementStopsAtTheLoop) {
    auto ad = NewWindow(WindowKind::Advertisement, events);
    ASSERT_NE(ad, nullptr);
    ad->Show(true);
    // What gets past the window's own filter reaches the page.
    std::vector<UINT> passed;
    const auto after = loop.AddMessageFilter([&](const MSG& msg) {
        if (msg.hwnd == ad->Handle() && msg.message != WM_TIMER && msg.message != WM_PAINT) {
            passed.push_back(msg.message);
        }
        return false;
    });
    PostMessageA(ad->Handle(), WM_KEYDOWN, 'A', 1);
    PostMessageA(ad->Handle(), WM_SYSKEYDOWN, VK_F4, (1L << 29) | 1);
    PostMessageA(ad->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
    PostMessageA(ad->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
    PostMessageA(ad->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(50, 50));
    RunFor(loop, 500, [&] { return events.keys.size() >= 2 && events.clicks.size() >= 2; });
    loop.RemoveMessageFilter(after);
    ASSERT_EQ(events.keys.size(), 2u);
    EXPECT_EQ(events.keys[0], (KeyInfo{'A', 0}));
    EXPECT_EQ(events.keys[1], (KeyInfo{VK_F4, 4}));
    ASSERT_EQ(events.clicks.size(), 2u);
    EXPECT_TRUE(events.clicks[0].chain.empty());
    EXPECT_TRUE(passed.empty());
}

TEST_F(Win32StripAndAdTest, TheMessageBoxRunsTheProgramsEventsAndBlocksItsWindows) {
    auto kiosk = ShowKiosk();
    bool disabledMeanwhile = false;
    int tasks = 0;
    // A task posted before the box opens runs inside its loop; it answers the box.
    loop.Post([&] {
        ++tasks;
        disabledMeanwhile = !IsWindowEnabled(kiosk->Handle());
        HWND box = FindWindowA("#32770", "Ko Workstation");
        EXPECT_NE(box, nullptr);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    screens.ShowMessageBox("Wrong password", "Ko Workstation");
    EXPECT_EQ(tasks, 1);
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(kiosk->Handle()));
    EXPECT_EQ(FindWindowA("#32770", "Ko Workstation"), nullptr);
}

TEST_F(Win32StripAndAdTest, ForceForegroundTakesTheFocusBackFromAnotherWindow) {
    auto kiosk = ShowKiosk();
    RecordedWindowEvents otherEvents;
    auto other = NewWindow(WindowKind::Standard, otherEvents, true);
    ASSERT_NE(other, nullptr);
    other->Show(true);
    RunFor(loop, 2000, [&] { return GetForegroundWindow() == other->Handle(); });
    ASSERT_EQ(GetForegroundWindow(), other->Handle());
    kiosk->SetTopmost(true);
    kiosk->ForceForeground();
    EXPECT_TRUE(RunFor(loop, 2000, [&] { return GetForegroundWindow() == kiosk->Handle(); }));
    EXPECT_NE(GetWindowLongPtrA(kiosk->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

}  // namespace
}  // namespace ko
