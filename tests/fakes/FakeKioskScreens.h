#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeDocument.h"
#include "platform/EventLoop.h"
#include "platform/KioskScreens.h"

namespace ko {

class FakeKioskScreens;

// A kiosk window on the fake screens: it records every call, loads scripted documents on the
// loop's virtual clock and posts its notices as the adapters do. The test plays the user with
// Click, Key, MouseMove, CloseBox and Activate.
class FakeBrowserWindow : public BrowserWindow {
  public:
    FakeBrowserWindow(FakeKioskScreens& screens, const BrowserWindowSpec& spec,
                      BrowserWindowEvents& events);
    ~FakeBrowserWindow() override;

    // ScreenWindow
    void Show(bool activate) override;
    void Hide() override;
    void Move(std::int32_t left, std::int32_t top) override;
    void Resize(std::int32_t width, std::int32_t height) override;
    void SetTopmost(bool topmost) override { this->topmost = topmost; }
    void SetCaption(const std::string& caption) override { this->caption = caption; }
    void SetModal(bool modal) override { this->modal = modal; }
    void ForceForeground() override;
    bool GrabKeyboard(bool grab) override;
    std::uint64_t NativeHandle() const override { return handle; }
    bool IsVisible() const override { return visible; }
    bool IsActive() const override { return active; }
    PixelRect Bounds() const override { return bounds; }
    // BrowserView
    void Navigate(const std::string& url) override;
    void Blank() override;
    void SetBodyHtml(const std::string& html) override;
    void SetInnerTexts(const std::vector<std::pair<std::string, std::string>>& texts) override;
    void Stop() override;
    std::string Location() const override { return location; }

    // The user. Each returns false when the window takes no input now (hidden, another window
    // modal, an advertisement excepted, or a message box open, no document bound for a click). A
    // click on a strip or an advertisement never reaches the page.
    bool Click(const std::string& idOrName);
    bool ClickElement(int index);
    // A click on the page outside every element.
    bool ClickPage();
    // Returns true when the window swallows the key (an advertisement swallows every key).
    bool Key(std::int32_t keyCode, std::int32_t shift = 0);
    void MouseMove();
    bool CloseBox();
    void Activate();
    // The page goes to another address on its own (a link, a script).
    void PageNavigates(const std::string& url);

    // The page's element text as the customer sees it (after SetInnerTexts).
    std::optional<std::string> InnerText(const std::string& idOrName) const;

    const BrowserWindowSpec spec;
    bool visible = false;
    bool active = false;
    bool topmost = false;
    bool modal = false;
    // GrabKeyboard(true) was asked and not released.
    bool grabAsked = false;
    int forcedForeground = 0;
    std::uint64_t handle = 0;
    std::string caption;
    PixelRect bounds{0, 0, 300, 200};
    std::string location;
    std::string bodyHtml;                  // the current document's, when written
    std::vector<std::string> bodyWrites;   // every SetBodyHtml, in order
    std::vector<std::string> navigations;  // every Navigate, in order
    int moves = 0;
    int resizes = 0;
    // Sizes a real window system refuses (under 1 pixel or over the desktop's limit).
    int refusedSizes = 0;
    int stops = 0;
    int blanks = 0;
    // The shown document and its generation; the loading one is not shown yet.
    FakeDocument document;
    std::uint32_t generation = 0;
    bool loading = false;

  private:
    friend class FakeKioskScreens;
    void StartLoad(const std::string& url);
    void Complete(const std::string& url);
    void CancelLoad();
    bool TakesInput() const;
    void PostEvent(std::function<void(BrowserWindowEvents&)> event);

    FakeKioskScreens& m_screens;
    BrowserWindowEvents& m_events;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::optional<EventLoop::TimerId> m_loadTimer;
};

class FakeDesktop : public Desktop {
  public:
    explicit FakeDesktop(EventLoop& loop) : m_loop(loop) {}
    PixelRect WorkArea() const override { return workArea; }
    PixelRect Screen() const override { return screen; }
    TwipsPerPixel Twips() const override { return twips; }
    PixelSize MaxWindowSize() const override { return maxWindowSize; }
    void SetEvents(DesktopEvents* events) override { m_events = events; }

    // Changes the display and posts the notice; advertisements cover the (new) screen at once.
    void Change(const PixelRect& newWorkArea, const TwipsPerPixel& newTwips);
    void Lose();

    PixelRect workArea{0, 0, 1024, 738};
    PixelRect screen{0, 0, 1024, 768};
    TwipsPerPixel twips{15, 15};
    PixelSize maxWindowSize{32767, 32767};
    FakeKioskScreens* screens = nullptr;

  private:
    EventLoop& m_loop;
    DesktopEvents* m_events = nullptr;
};

class FakeNetConfigDialog : public NetConfigDialog {
  public:
    FakeNetConfigDialog(FakeKioskScreens& screens, NetConfigEvents& events)
        : m_screens(screens), m_events(events) {}
    ~FakeNetConfigDialog() override;

    void Show(const NetConfigFields& fields, bool askSecurityPassword) override;
    void Hide() override { visible = false; }
    void SetTopmost(bool topmost) override { this->topmost = topmost; }
    void ShowInvalid(NetConfigField field, const std::string& text) override;
    bool IsVisible() const override { return visible; }

    // The operator: types into the boxes (or keeps what was shown) and presses a button.
    void PressOk();
    void PressCancel();

    NetConfigFields typed;
    std::string password;
    bool visible = false;
    bool topmost = false;
    bool passwordAsked = false;
    int shows = 0;
    std::vector<std::pair<NetConfigField, std::string>> complaints;

  private:
    void PostEvent(std::function<void(NetConfigEvents&)> event);

    FakeKioskScreens& m_screens;
    NetConfigEvents& m_events;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// The fake screens: scripted pages by address, completions after a set delay on the virtual
// clock, and every window the core created.
class FakeKioskScreens : public KioskScreens {
  public:
    // Where a navigation that no page answers ends up, as an engine's error page.
    static constexpr const char* kErrorLocation = "about:neterror";

    explicit FakeKioskScreens(EventLoop& loop) : desktop(loop), m_loop(loop) {
        desktop.screens = this;
    }

    Desktop& GetDesktop() override { return desktop; }
    std::unique_ptr<BrowserWindow> CreateBrowserWindow(const BrowserWindowSpec& spec,
                                                       BrowserWindowEvents& events) override;
    std::unique_ptr<NetConfigDialog> CreateNetConfigDialog(NetConfigEvents& events) override;
    // Records the box. Without whileMessageBox it closes at once; with it, the hook plays the
    // user (it may call CloseMessageBox), then the loop runs until the box is closed or nothing
    // more happens.
    void ShowMessageBox(const std::string& text, const std::string& caption) override;
    std::string FormOfWindow(std::uint64_t handle) const override;
    void CloseMessageBox() { messageBoxOpen = false; }

    // Answers an address with a page after delayMs of virtual time; the address is matched
    // exactly. A later Serve of the same address replaces the page.
    void Serve(const std::string& url, FakeDocument page, std::uint32_t delayMs = 0);
    // The address redirects: it loads the target's page.
    void Redirect(const std::string& from, const std::string& to);
    // The live window with this caption (the first one), or null.
    FakeBrowserWindow* Window(const std::string& caption) const;
    const std::vector<FakeBrowserWindow*>& Windows() const { return m_windows; }
    FakeNetConfigDialog* NetConfig() const { return m_netConfig; }
    // The window the user works in now, if it is one of ours.
    FakeBrowserWindow* ActiveWindow() const;
    // The window that holds the keyboard grab now, or null.
    FakeBrowserWindow* GrabHolder() const;
    // Another program's window becomes active.
    void ActivateOtherProgram();

    bool failWindowCreation = false;
    int windowsCreated = 0;
    // Every message box as (text, caption), in order.
    std::vector<std::pair<std::string, std::string>> messageBoxes;
    bool messageBoxOpen = false;
    std::function<void()> whileMessageBox;
    // The network dialog's handle, for FormOfWindow.
    static constexpr std::uint64_t kNetConfigHandle = 0xFFFF;
    FakeDesktop desktop;

  private:
    friend class FakeBrowserWindow;
    friend class FakeDesktop;
    friend class FakeNetConfigDialog;
    struct Page {
        FakeDocument document;
        std::uint32_t delayMs = 0;
    };
    const Page* PageFor(const std::string& url) const;
    bool AnotherWindowIsModal(const FakeBrowserWindow* window) const;
    void Activated(FakeBrowserWindow* window);
    // Gives the grab to whoever should hold it now: a shown advertisement, else the window that
    // asked for it while it shows.
    void RefreshGrab();
    void CoverScreen();

    EventLoop& m_loop;
    std::map<std::string, Page> m_pages;
    std::map<std::string, std::string> m_redirects;
    std::vector<FakeBrowserWindow*> m_windows;
    FakeNetConfigDialog* m_netConfig = nullptr;
    FakeBrowserWindow* m_grabHolder = nullptr;
    std::uint64_t m_nextHandle = 0x1000;
};

// A screens source that answers what the test says: a display that is ready at once, one that
// comes later, or none.
class FakeScreensSource : public KioskScreensSource {
  public:
    explicit FakeScreensSource(FakeKioskScreens& screens) : m_screens(screens) {}
    Availability Open() override {
        ++opens;
        return availability;
    }
    KioskScreens* Screens() override {
        return availability == Availability::Ready ? &m_screens : nullptr;
    }

    Availability availability = Availability::Ready;
    int opens = 0;

  private:
    FakeKioskScreens& m_screens;
};

}  // namespace ko
