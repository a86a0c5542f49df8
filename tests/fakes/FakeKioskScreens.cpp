#include "fakes/FakeKioskScreens.h"

#include <algorithm>

namespace ko {

namespace {
// Every engine has this page without asking anyone.
constexpr const char* kBlank = "about:blank";
}  // namespace

FakeBrowserWindow::FakeBrowserWindow(FakeKioskScreens& screens, const BrowserWindowSpec& spec,
                                     BrowserWindowEvents& events)
    : spec(spec),
      handle(screens.m_nextHandle++),
      caption(spec.caption),
      m_screens(screens),
      m_events(events) {}

FakeBrowserWindow::~FakeBrowserWindow() {
    *m_alive = false;
    CancelLoad();
    auto& windows = m_screens.m_windows;
    windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
    m_screens.RefreshGrab();
}

void FakeBrowserWindow::PostEvent(std::function<void(BrowserWindowEvents&)> event) {
    m_screens.m_loop.Post([alive = m_alive, events = &m_events, event = std::move(event)] {
        if (*alive) {
            event(*events);
        }
    });
}

void FakeBrowserWindow::Show(bool activate) {
    visible = true;
    if (activate) {
        Activate();
    }
    m_screens.RefreshGrab();
}

void FakeBrowserWindow::Hide() {
    visible = false;
    active = false;
    m_screens.RefreshGrab();
}

void FakeBrowserWindow::ForceForeground() {
    ++forcedForeground;
    if (visible) {
        Activate();
    }
}

bool FakeBrowserWindow::GrabKeyboard(bool grab) {
    grabAsked = grab;
    m_screens.RefreshGrab();
    return true;
}

void FakeBrowserWindow::Move(std::int32_t left, std::int32_t top) {
    ++moves;
    if (spec.kind == WindowKind::Advertisement) {
        return;  // it covers the screen on its own
    }
    bounds.left = left;
    bounds.top = top;
}

void FakeBrowserWindow::Resize(std::int32_t width, std::int32_t height) {
    ++resizes;
    if (spec.kind == WindowKind::Advertisement) {
        return;
    }
    const PixelSize limit = m_screens.desktop.maxWindowSize;
    if (width < 1 || height < 1 || width > limit.width || height > limit.height) {
        ++refusedSizes;
        return;
    }
    bounds.width = width;
    bounds.height = height;
}

void FakeBrowserWindow::Navigate(const std::string& url) {
    navigations.push_back(url);
    StartLoad(url);
}

void FakeBrowserWindow::Blank() {
    ++blanks;
    navigations.push_back(kBlank);
    StartLoad(kBlank);
}

void FakeBrowserWindow::PageNavigates(const std::string& url) {
    StartLoad(url);
}

void FakeBrowserWindow::CancelLoad() {
    if (m_loadTimer) {
        m_screens.m_loop.RemoveTimer(*m_loadTimer);
        m_loadTimer.reset();
    }
    loading = false;
}

void FakeBrowserWindow::StartLoad(const std::string& url) {
    CancelLoad();
    loading = true;
    location = url;
    PostEvent([url](BrowserWindowEvents& events) { events.OnNavigating(url); });
    const FakeKioskScreens::Page* page = m_screens.PageFor(url);
    const std::uint32_t delay = page != nullptr ? page->delayMs : 0;
    // Only the latest load completes: an earlier one is cancelled above, and its completion is
    // keyed to the timer that CancelLoad removed.
    EventLoop& loop = m_screens.m_loop;
    m_loadTimer = loop.AddTimer([this, url] {
        CancelLoad();
        Complete(url);
    });
    if (delay == 0) {
        // Completes after the events pending now, as an engine does.
        const EventLoop::TimerId timer = *m_loadTimer;
        loop.Post([alive = m_alive, this, timer, url] {
            if (*alive && m_loadTimer == timer) {
                CancelLoad();
                Complete(url);
            }
        });
    } else {
        loop.SetTimerInterval(*m_loadTimer, std::min<std::uint32_t>(delay, 65535));
    }
}

void FakeBrowserWindow::Complete(const std::string& url) {
    const FakeKioskScreens::Page* page = m_screens.PageFor(url);
    const bool blank = url == kBlank;
    if (blank) {
        document = FakeDocument{};
        location = url;
    } else if (page != nullptr) {
        document = page->document;
        location = url;  // the address asked for, also when it redirected
    } else {
        document = FakeDocument{};
        location = FakeKioskScreens::kErrorLocation;
    }
    bodyHtml.clear();
    ++generation;
    DocumentInfo info{generation, location, document.Layout(), page == nullptr && !blank};
    PostEvent([info](BrowserWindowEvents& events) { events.OnDocumentComplete(info); });
}

void FakeBrowserWindow::SetBodyHtml(const std::string& html) {
    bodyHtml = html;
    bodyWrites.push_back(html);
    document = FakeDocument{};
}

void FakeBrowserWindow::SetInnerTexts(
    const std::vector<std::pair<std::string, std::string>>& texts) {
    for (const auto& [id, text] : texts) {
        bool ambiguous = false;
        if (std::optional<int> index = document.Find(id, ambiguous)) {
            document.At(*index).text = text;
        }
    }
}

void FakeBrowserWindow::Stop() {
    ++stops;
    CancelLoad();
}

std::optional<std::string> FakeBrowserWindow::InnerText(const std::string& idOrName) const {
    bool ambiguous = false;
    if (std::optional<int> index = document.Find(idOrName, ambiguous)) {
        return document.At(*index).text;
    }
    return std::nullopt;
}

bool FakeBrowserWindow::TakesInput() const {
    // An advertisement takes its keys and clicks over a modal window as well.
    return visible && !m_screens.messageBoxOpen &&
           (spec.kind == WindowKind::Advertisement || !m_screens.AnotherWindowIsModal(this));
}

bool FakeBrowserWindow::Click(const std::string& idOrName) {
    bool ambiguous = false;
    std::optional<int> index = document.Find(idOrName, ambiguous);
    if (!index) {
        // The test names the first element with that id when there are several.
        const auto& elements = document.Elements();
        for (std::size_t i = 0; i < elements.size() && !index; ++i) {
            if (elements[i].id == idOrName) {
                index = static_cast<int>(i);
            }
        }
    }
    return index && ClickElement(*index);
}

bool FakeBrowserWindow::ClickElement(int index) {
    if (!TakesInput()) {
        return false;
    }
    ClickInfo click{generation, document.ChainFrom(index), document.ClickFields()};
    if (spec.kind == WindowKind::Advertisement) {
        click = ClickInfo{generation, {}, {}};  // taken before the page sees it
    }
    PostEvent([click](BrowserWindowEvents& events) { events.OnClick(click); });
    return true;
}

bool FakeBrowserWindow::ClickPage() {
    if (!TakesInput()) {
        return false;
    }
    ClickInfo click{generation, {}, document.ClickFields()};
    if (spec.kind == WindowKind::Advertisement) {
        click.fields.clear();
    }
    PostEvent([click](BrowserWindowEvents& events) { events.OnClick(click); });
    return true;
}

bool FakeBrowserWindow::Key(std::int32_t keyCode, std::int32_t shift) {
    if (!TakesInput()) {
        return false;
    }
    const KeyInfo key{keyCode, shift};
    PostEvent([key](BrowserWindowEvents& events) { events.OnKeyDown(key); });
    if (spec.kind == WindowKind::Advertisement) {
        return true;
    }
    return std::find(spec.swallowedKeys.begin(), spec.swallowedKeys.end(), key) !=
           spec.swallowedKeys.end();
}

void FakeBrowserWindow::MouseMove() {
    if (TakesInput()) {
        PostEvent([](BrowserWindowEvents& events) { events.OnMouseMove(); });
    }
}

bool FakeBrowserWindow::CloseBox() {
    if (!TakesInput() || !spec.framed) {
        return false;
    }
    PostEvent([](BrowserWindowEvents& events) { events.OnCloseBox(); });
    return true;
}

void FakeBrowserWindow::Activate() {
    if (spec.kind == WindowKind::Strip) {
        return;  // a strip never takes the focus
    }
    m_screens.Activated(this);
    PostEvent([](BrowserWindowEvents& events) { events.OnActivate(); });
}

void FakeDesktop::Change(const PixelRect& newWorkArea, const TwipsPerPixel& newTwips) {
    workArea = newWorkArea;
    twips = newTwips;
    if (screens != nullptr) {
        screens->CoverScreen();
    }
    m_loop.Post([this] {
        if (m_events != nullptr) {
            m_events->OnDisplayChanged();
        }
    });
}

void FakeDesktop::Lose() {
    m_loop.Post([this] {
        if (m_events != nullptr) {
            m_events->OnDisplayLost();
        }
    });
}

FakeNetConfigDialog::~FakeNetConfigDialog() {
    *m_alive = false;
    if (m_screens.m_netConfig == this) {
        m_screens.m_netConfig = nullptr;
    }
}

void FakeNetConfigDialog::PostEvent(std::function<void(NetConfigEvents&)> event) {
    m_screens.m_loop.Post([alive = m_alive, events = &m_events, event = std::move(event)] {
        if (*alive) {
            event(*events);
        }
    });
}

void FakeNetConfigDialog::Show(const NetConfigFields& fields, bool askSecurityPassword) {
    typed = fields;
    password.clear();
    passwordAsked = askSecurityPassword;
    visible = true;
    ++shows;
}

void FakeNetConfigDialog::ShowInvalid(NetConfigField field, const std::string& text) {
    complaints.emplace_back(field, text);
}

void FakeNetConfigDialog::PressOk() {
    PostEvent(
        [fields = typed, pw = password](NetConfigEvents& events) { events.OnOk(fields, pw); });
}

void FakeNetConfigDialog::PressCancel() {
    PostEvent([](NetConfigEvents& events) { events.OnCancel(); });
}

std::unique_ptr<BrowserWindow> FakeKioskScreens::CreateBrowserWindow(const BrowserWindowSpec& spec,
                                                                     BrowserWindowEvents& events) {
    if (failWindowCreation) {
        return nullptr;
    }
    ++windowsCreated;
    auto window = std::make_unique<FakeBrowserWindow>(*this, spec, events);
    if (spec.kind == WindowKind::Advertisement) {
        window->bounds = desktop.screen;
    }
    m_windows.push_back(window.get());
    return window;
}

std::unique_ptr<NetConfigDialog> FakeKioskScreens::CreateNetConfigDialog(NetConfigEvents& events) {
    auto dialog = std::make_unique<FakeNetConfigDialog>(*this, events);
    m_netConfig = dialog.get();
    return dialog;
}

void FakeKioskScreens::ShowMessageBox(const std::string& text, const std::string& caption) {
    messageBoxes.emplace_back(text, caption);
    messageBoxOpen = true;
    if (whileMessageBox) {
        whileMessageBox();
        m_loop.RunUntil([this] { return !messageBoxOpen; });
    }
    messageBoxOpen = false;
}

std::string FakeKioskScreens::FormOfWindow(std::uint64_t handle) const {
    for (FakeBrowserWindow* window : m_windows) {
        if (window->handle == handle) {
            return window->spec.formName;
        }
    }
    if (m_netConfig != nullptr && handle == kNetConfigHandle) {
        return "frmNetConfig";
    }
    return {};
}

void FakeKioskScreens::CoverScreen() {
    for (FakeBrowserWindow* window : m_windows) {
        if (window->spec.kind == WindowKind::Advertisement) {
            window->bounds = desktop.screen;
        }
    }
}

FakeBrowserWindow* FakeKioskScreens::GrabHolder() const {
    return m_grabHolder;
}

void FakeKioskScreens::RefreshGrab() {
    FakeBrowserWindow* holder = nullptr;
    for (FakeBrowserWindow* window : m_windows) {
        if (window->visible && window->spec.kind == WindowKind::Advertisement) {
            holder = window;
        }
    }
    for (FakeBrowserWindow* window : m_windows) {
        if (holder == nullptr && window->visible && window->grabAsked) {
            holder = window;
        }
    }
    m_grabHolder = holder;
}

void FakeKioskScreens::Serve(const std::string& url, FakeDocument page, std::uint32_t delayMs) {
    m_pages[url] = Page{std::move(page), delayMs};
}

void FakeKioskScreens::Redirect(const std::string& from, const std::string& to) {
    m_redirects[from] = to;
}

const FakeKioskScreens::Page* FakeKioskScreens::PageFor(const std::string& url) const {
    auto redirect = m_redirects.find(url);
    const std::string& target = redirect != m_redirects.end() ? redirect->second : url;
    auto it = m_pages.find(target);
    return it != m_pages.end() ? &it->second : nullptr;
}

FakeBrowserWindow* FakeKioskScreens::Window(const std::string& caption) const {
    for (FakeBrowserWindow* window : m_windows) {
        if (window->caption == caption) {
            return window;
        }
    }
    return nullptr;
}

FakeBrowserWindow* FakeKioskScreens::ActiveWindow() const {
    for (FakeBrowserWindow* window : m_windows) {
        if (window->active) {
            return window;
        }
    }
    return nullptr;
}

void FakeKioskScreens::ActivateOtherProgram() {
    Activated(nullptr);
}

bool FakeKioskScreens::AnotherWindowIsModal(const FakeBrowserWindow* window) const {
    return std::any_of(m_windows.begin(), m_windows.end(), [window](FakeBrowserWindow* other) {
        return other != window && other->modal && other->visible;
    });
}

void FakeKioskScreens::Activated(FakeBrowserWindow* window) {
    for (FakeBrowserWindow* other : m_windows) {
        other->active = other == window;
    }
}

}  // namespace ko
