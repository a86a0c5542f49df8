// The Windows kiosk window: its frame, keys, mouse and notices, and the shared contract suite on
// the Windows screens. Under Wine the control loads no pages (no HTML engine), so the page side
// is held to "navigates, reports, never crashes"; real Windows runs the whole suite.

#include "platform/win32/Win32BrowserWindow.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/LoopTestSupport.h"
#include "platform/contract/KioskScreensContract.h"
#include "platform/win32/AnsiText.h"
#include "platform/win32/HtmlDocumentAccess.h"
#include "platform/win32/Win32KioskScreens.h"
#include "platform/win32/Win32NetConfigDialog.h"

namespace ko {
namespace {

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Plays the user on the Windows screens: pages are files in a temporary folder, clicks go through
// the element's own click(), keys are posted to the window that has the focus.
class Win32Harness : public KioskScreensHarness {
  public:
    Win32Harness() {
        EXPECT_EQ(m_screens.Open(), KioskScreensSource::Availability::Ready);
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        m_folder = std::string(folder) + "ostrel-pages-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_folder.c_str(), nullptr);
    }
    EventLoop& Loop() override { return m_loop; }
    KioskScreens& Screens() override { return m_screens; }
    std::string Serve(const std::string& path, const FakeDocument& page) override {
        std::string name = path;
        for (char& c : name) {
            if (c == '/' || c == '?' || c == '&' || c == '=') {
                c = '_';
            }
        }
        std::string file = m_folder + "\\" + name + ".htm";
        if (FILE* out = std::fopen(file.c_str(), "wb")) {
            std::string html = page.ToHtml();
            std::fwrite(html.data(), 1, html.size(), out);
            std::fclose(out);
        }
        return "file:///" + file;
    }
    std::string Unreachable() override { return "http://127.0.0.1:9/ws/wsMain.asp"; }
    bool RunUntil(const std::function<bool()>& done, int timeoutMs) override {
        return RunFor(m_loop, timeoutMs, done);
    }
    bool Click(BrowserWindow& window, const std::string& id) override {
        auto* win32 = dynamic_cast<Win32BrowserWindow*>(&window);
        ComPtr<IHTMLDocument2> document = win32 != nullptr ? win32->Document() : nullptr;
        ComPtr<IHTMLElement> element;
        if (HtmlDocumentAccess::Find(document.Get(), id, element) != FieldValue::State::Present) {
            return false;
        }
        return SUCCEEDED(element->click());
    }
    bool PressKey(BrowserWindow& window, std::int32_t keyCode, std::int32_t shift) override {
        auto* win32 = dynamic_cast<Win32BrowserWindow*>(&window);
        if (win32 == nullptr) {
            return false;
        }
        HWND target = GetFocus();
        if (target == nullptr || (target != win32->Handle() && !IsChild(win32->Handle(), target))) {
            target = win32->Handle();
        }
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        BYTE saved[256];
        std::memcpy(saved, keys, sizeof keys);
        keys[VK_SHIFT] = (shift & 1) != 0 ? 0x80 : 0;
        keys[VK_CONTROL] = (shift & 2) != 0 ? 0x80 : 0;
        SetKeyboardState(keys);
        bool alt = (shift & 4) != 0;
        LPARAM flags = alt ? (1L << 29) : 0;
        PostMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, static_cast<WPARAM>(keyCode),
                     flags | 1);
        PostMessageA(target, alt ? WM_SYSKEYUP : WM_KEYUP, static_cast<WPARAM>(keyCode),
                     flags | 1 | (3L << 30));
        m_loop.PumpPending();
        SetKeyboardState(saved);
        return true;
    }
    std::optional<std::string> InnerText(BrowserWindow& window, const std::string& id) override {
        auto* win32 = dynamic_cast<Win32BrowserWindow*>(&window);
        return win32 == nullptr ? std::nullopt
                                : HtmlDocumentAccess::InnerText(win32->Document().Get(), id);
    }
    bool RendersPages() const override { return !UnderWine(); }

  private:
    Win32EventLoop m_loop;
    Win32KioskScreens m_screens{m_loop};
    std::string m_folder;
};

INSTANTIATE_TEST_SUITE_P(Windows, KioskScreensContract,
                         testing::Values(KioskScreensHarnessFactory([] {
                             return std::make_unique<Win32Harness>();
                         })),
                         KioskScreensParamName);

BrowserWindowSpec Spec(const char* caption, bool framed) {
    BrowserWindowSpec spec;
    spec.caption = caption;
    spec.framed = framed;
    return spec;
}

class Win32BrowserWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(screens.Open(), KioskScreensSource::Availability::Ready); }
    std::unique_ptr<Win32BrowserWindow> NewWindow(BrowserWindowSpec spec) {
        auto window = screens.CreateBrowserWindow(spec, events);
        return std::unique_ptr<Win32BrowserWindow>(
            static_cast<Win32BrowserWindow*>(window.release()));
    }
    void PostKey(HWND target, UINT message, WPARAM key, bool alt) {
        PostMessageA(target, message, key, alt ? (1L << 29) | 1 : 1);
    }

    Win32EventLoop loop;
    Win32KioskScreens screens{loop};
    RecordedWindowEvents events;
};

TEST_F(Win32BrowserWindowTest, NavigatesWithoutCrashAndKeepsTheRequestedAddress) {
    auto window = NewWindow(Spec("Ostrel", false));
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->IsVisible());
    // The address stays as the core wrote it: the engine's form would differ.
    const std::string url = "http://KOSIM:80/ws/wsMain.asp?wsName=PC%2307";
    window->Navigate("about:blank");
    window->SetBodyHtml(" <body> <TABLE width=\"100%\" > </TABLE> </body>");
    window->Navigate(url);
    EXPECT_EQ(window->Location(), url);
    EXPECT_EQ(events.Count(), 0);  // nothing runs inside the engine's call
    RunFor(loop, 500, [] { return false; });
    window->SetInnerTexts({{"lblAmount", "1.50"}});
    window->Stop();
    EXPECT_EQ(window->Location(), url);
    // Whatever the engine reported came from the loop; without a document, no layout values.
    for (const DocumentInfo& done : events.completed) {
        if (!window->Document()) {
            EXPECT_EQ(done.layout, LayoutValues{});
        }
    }
    EXPECT_TRUE(events.clicks.empty());
}

TEST_F(Win32BrowserWindowTest, PlacesTheOuterFrameAndAnswersFromHeldState) {
    auto window = NewWindow(Spec("Logon User", true));
    ASSERT_NE(window, nullptr);
    window->Resize(300, 200);
    window->Move(50, 40);
    EXPECT_EQ(window->Bounds(), (PixelRect{50, 40, 300, 200}));
    RECT outer = {};
    GetWindowRect(window->Handle(), &outer);
    EXPECT_EQ(outer.left, 50);
    EXPECT_EQ(outer.bottom - outer.top, 200);
    window->Show(false);
    EXPECT_TRUE(window->IsVisible());
    window->Show(true);
    EXPECT_TRUE(RunFor(loop, 2000, [&] { return window->IsActive(); }));
    RunFor(loop, 100, [] { return false; });
    EXPECT_GE(events.activations, 1);
    window->SetTopmost(true);
    EXPECT_TRUE(GetWindowLongA(window->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    window->SetCaption("Ostrel  1.50  00:10");
    char caption[64] = {};
    GetWindowTextA(window->Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Ostrel  1.50  00:10");
    window->Hide();
    EXPECT_FALSE(window->IsVisible());
    EXPECT_FALSE(window->IsActive());
    EXPECT_FALSE(IsWindowVisible(window->Handle()));
}

TEST_F(Win32BrowserWindowTest, SwallowsAltF6ButReportsEveryKey) {
    BrowserWindowSpec spec = Spec("Ostrel", false);
    spec.swallowedKeys = {KeyInfo{117, 4}};
    auto window = NewWindow(spec);
    ASSERT_NE(window, nullptr);
    window->Show(true);
    // A filter added after the window's sees what the window let through.
    std::vector<WPARAM> passed;
    auto after = loop.AddMessageFilter([&](const MSG& msg) {
        if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
            passed.push_back(msg.wParam);
        }
        return false;
    });
    PostKey(window->Handle(), WM_SYSKEYDOWN, VK_F6, true);
    PostKey(window->Handle(), WM_KEYDOWN, VK_F6, false);
    PostKey(window->Handle(), WM_KEYDOWN, 'A', false);
    RunFor(loop, 300, [&] { return events.keys.size() >= 3; });
    loop.RemoveMessageFilter(after);
    ASSERT_EQ(events.keys.size(), 3u);
    EXPECT_EQ(events.keys[0], (KeyInfo{117, 4}));
    EXPECT_EQ(events.keys[1], (KeyInfo{117, 0}));
    EXPECT_EQ(events.keys[2], (KeyInfo{65, 0}));
    EXPECT_EQ(passed, (std::vector<WPARAM>{VK_F6, 'A'}));
}

TEST_F(Win32BrowserWindowTest, MouseMovesCoalesceAndCloseBoxesOnlyFromFramedWindows) {
    auto bare = NewWindow(Spec("Ostrel", false));
    auto framed = NewWindow(BrowserWindowSpec{
        "Service Order", true, true, false, {}, WindowKind::Standard, "frmServiceOrder"});
    ASSERT_NE(bare, nullptr);
    ASSERT_NE(framed, nullptr);
    for (int i = 0; i < 5; ++i) {
        PostMessageA(bare->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(10 + i, 10));
    }
    loop.PumpPending();
    loop.PumpPending();
    EXPECT_EQ(events.mouseMoves, 1);
    SendMessageA(bare->Handle(), WM_CLOSE, 0, 0);
    loop.PumpPending();
    EXPECT_EQ(events.closeBoxes, 0);
    SendMessageA(framed->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    loop.PumpPending();
    EXPECT_EQ(events.closeBoxes, 1);
    EXPECT_TRUE(IsWindow(framed->Handle()));
}

TEST_F(Win32BrowserWindowTest, DestroyedFromItsOwnNoticeSendsNothingMore) {
    auto window = NewWindow(Spec("Message", true));
    ASSERT_NE(window, nullptr);
    class Destroyer : public RecordedWindowEvents {
      public:
        std::unique_ptr<Win32BrowserWindow>* window = nullptr;
        void OnCloseBox() override {
            RecordedWindowEvents::OnCloseBox();
            window->reset();
        }
    } destroyer;
    auto own = std::unique_ptr<Win32BrowserWindow>(static_cast<Win32BrowserWindow*>(
        screens.CreateBrowserWindow(Spec("Message", true), destroyer).release()));
    destroyer.window = &own;
    HWND handle = own->Handle();
    SendMessageA(handle, WM_CLOSE, 0, 0);
    SendMessageA(handle, WM_CLOSE, 0, 0);
    PostMessageA(handle, WM_MOUSEMOVE, 0, 0);
    loop.PumpPending();
    loop.PumpPending();
    EXPECT_EQ(own, nullptr);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(destroyer.closeBoxes, 1);
    EXPECT_EQ(destroyer.mouseMoves, 0);
}

TEST_F(Win32BrowserWindowTest, AModalWindowLeavesTheOthersWithoutInputUntilItEnds) {
    auto main = NewWindow(Spec("Ostrel", false));
    auto message = NewWindow(Spec("Message", true));
    ASSERT_NE(main, nullptr);
    ASSERT_NE(message, nullptr);
    class Ignored : public NetConfigEvents {
    } ignored;
    auto netConfig = screens.CreateNetConfigDialog(ignored);
    auto* dialog = static_cast<Win32NetConfigDialog*>(netConfig.get());
    message->Show(true);
    message->SetModal(true);
    EXPECT_FALSE(IsWindowEnabled(main->Handle()));
    EXPECT_FALSE(IsWindowEnabled(dialog->Handle()));
    EXPECT_TRUE(IsWindowEnabled(message->Handle()));
    message->SetModal(false);
    EXPECT_TRUE(IsWindowEnabled(main->Handle()));
    EXPECT_TRUE(IsWindowEnabled(dialog->Handle()));
}

}  // namespace
}  // namespace ko
