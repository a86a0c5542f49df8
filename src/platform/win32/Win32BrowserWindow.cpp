#include "platform/win32/Win32BrowserWindow.h"

#include <algorithm>

#include "platform/win32/AnsiText.h"
#include "shared/Logger.h"

namespace ko {

namespace {

// Shift bits as the system's key events give them: 1 Shift, 2 Ctrl, 4 Alt. A system key message
// carries Alt in its own flags as well (bit 29), which holds for keys sent to the window too.
std::int32_t ShiftState(const MSG& msg) {
    std::int32_t shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) {
        shift |= 1;
    }
    if (GetKeyState(VK_CONTROL) < 0) {
        shift |= 2;
    }
    if (GetKeyState(VK_MENU) < 0 ||
        (msg.message == WM_SYSKEYDOWN && (msg.lParam & (1L << 29)) != 0)) {
        shift |= 4;
    }
    return shift;
}

bool IsButtonDown(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
        case WM_XBUTTONDBLCLK:
            return true;
        default:
            return false;
    }
}

// Every mouse message but a move: buttons, double clicks and the wheel.
bool IsButtonMessage(UINT message) {
    return message != WM_MOUSEMOVE && message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
}

}  // namespace

Win32BrowserWindow::Win32BrowserWindow(Win32EventLoop& loop, const BrowserWindowSpec& spec,
                                       BrowserWindowEvents& events)
    : m_loop(loop), m_spec(spec), m_events(events) {
    Win32Frame::Events frameEvents;
    frameEvents.onCloseBox = [this] {
        // The bare kiosk window has no close box; Alt+F4 there asks nothing.
        if (m_spec.framed) {
            Post([](BrowserWindowEvents& sink) { sink.OnCloseBox(); });
        }
    };
    frameEvents.onResized = [this] {
        if (m_site) {
            m_site->FitToWindow();
        }
        RememberBounds();
    };
    frameEvents.onActivate = [this](bool active) { OnFrameActivate(active); };
    frameEvents.onDisplayChanged = [this] {
        if (m_spec.kind == WindowKind::Advertisement) {
            CoverScreen();
        }
    };
    Win32Frame::Style style = spec.framed ? Win32Frame::Style::Dialog : Win32Frame::Style::Main;
    if (spec.kind == WindowKind::Strip) {
        style = Win32Frame::Style::Strip;
        m_spec.cancelClickDefault = true;
    } else if (spec.kind == WindowKind::Advertisement) {
        style = Win32Frame::Style::Advertisement;
    }
    m_frame = std::make_unique<Win32Frame>(style, spec.caption, std::move(frameEvents));
    if (!m_frame->Created()) {
        return;
    }
    m_frame->SetFormName(&m_spec.formName);
    if (spec.kind == WindowKind::Advertisement) {
        CoverScreen();
    }
    RememberBounds();
    m_site = WebBrowserSite::Create(m_frame->Handle(), this);
    m_filter = m_loop.AddMessageFilter([this](const MSG& msg) { return FilterMessage(msg); });
}

Win32BrowserWindow::~Win32BrowserWindow() {
    // First of all: notices already posted find the window gone.
    m_alive.reset();
    if (m_filter != 0) {
        m_loop.RemoveMessageFilter(m_filter);
    }
    ReleaseDocument();
    if (m_site) {
        m_site->Close();
        m_site.Reset();
    }
    m_frame.reset();
}

ComPtr<IHTMLDocument2> Win32BrowserWindow::Document() const {
    return HtmlDocumentAccess::DocumentOf(m_site ? m_site->Browser() : nullptr);
}

void Win32BrowserWindow::Post(std::function<void(BrowserWindowEvents&)> notice) {
    std::weak_ptr<bool> alive = m_alive;
    BrowserWindowEvents* sink = &m_events;
    m_loop.Post([alive, sink, notice = std::move(notice)] {
        if (alive.lock()) {
            notice(*sink);
        }
    });
}

void Win32BrowserWindow::Show(bool activate) {
    m_frame->Show(activate);
    m_visible = m_frame->Visible();
}

void Win32BrowserWindow::Hide() {
    m_frame->Hide();
    m_visible = false;
    m_active = false;
}

void Win32BrowserWindow::Move(std::int32_t left, std::int32_t top) {
    if (m_spec.kind == WindowKind::Advertisement) {
        return;  // it covers the screen on its own
    }
    m_frame->Move(left, top);
    RememberBounds();
}

void Win32BrowserWindow::Resize(std::int32_t width, std::int32_t height) {
    if (m_spec.kind == WindowKind::Advertisement) {
        return;
    }
    m_frame->Resize(width, height);
    RememberBounds();
}

void Win32BrowserWindow::CoverScreen() {
    // The larger of the screen and the work area: a taskbar may lie outside the primary
    // screen's rectangle.
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int left = std::min<int>(0, work.left);
    const int top = std::min<int>(0, work.top);
    const int width = std::max<int>(GetSystemMetrics(SM_CXSCREEN), work.right) - left;
    const int height = std::max<int>(GetSystemMetrics(SM_CYSCREEN), work.bottom) - top;
    m_frame->Move(left, top);
    m_frame->Resize(width, height);
    RememberBounds();
}

void Win32BrowserWindow::ForceForeground() {
    m_frame->ForceForeground();
}

bool Win32BrowserWindow::GrabKeyboard(bool /*grab*/) {
    // Windows has no keyboard grab for a program; the keyboard hook keeps the keys inside.
    return true;
}

std::uint64_t Win32BrowserWindow::NativeHandle() const {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(m_frame->Handle()));
}

void Win32BrowserWindow::RememberBounds() {
    // Windows sends the first size notice from inside CreateWindowEx, before m_frame is set.
    if (!m_frame || !m_frame->Created()) {
        return;
    }
    RECT rect = m_frame->Bounds();
    m_bounds = PixelRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void Win32BrowserWindow::SetTopmost(bool topmost) {
    m_frame->SetTopmost(topmost);
}

void Win32BrowserWindow::SetCaption(const std::string& caption) {
    m_frame->SetCaption(caption);
}

void Win32BrowserWindow::SetModal(bool modal) {
    m_frame->SetModal(modal);
}

void Win32BrowserWindow::OnFrameActivate(bool active) {
    m_active = active;
    if (!active || !m_frame) {
        return;
    }
    // The keyboard belongs to the page: Tab and Return must reach its fields and buttons.
    if (m_site && !m_frame->Contains(GetFocus())) {
        m_site->Focus();
    }
    Post([](BrowserWindowEvents& sink) { sink.OnActivate(); });
}

bool Win32BrowserWindow::FilterMessage(const MSG& msg) {
    if (!m_frame->Contains(msg.hwnd)) {
        return false;
    }
    if (msg.message == WM_MOUSEMOVE) {
        // One notice for a burst of moves: the core only restarts its idle timers.
        if (!m_mouseMovePending) {
            m_mouseMovePending = true;
            std::weak_ptr<bool> alive = m_alive;
            m_loop.Post([this, alive] {
                if (alive.lock()) {
                    m_mouseMovePending = false;
                    m_events.OnMouseMove();
                }
            });
        }
        return false;
    }
    const bool advertisement = m_spec.kind == WindowKind::Advertisement;
    if (advertisement && IsButtonMessage(msg.message)) {
        // The page never sees a click: one notice per press, every other button message dropped.
        if (IsButtonDown(msg.message)) {
            ClickInfo click;
            click.generation = m_generation;
            Post([click = std::move(click)](BrowserWindowEvents& sink) { sink.OnClick(click); });
        }
        return true;
    }
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) {
        return false;
    }
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        KeyInfo key{static_cast<std::int32_t>(msg.wParam), ShiftState(msg)};
        Post([key](BrowserWindowEvents& sink) { sink.OnKeyDown(key); });
        if (advertisement) {
            return true;
        }
        if (std::find(m_spec.swallowedKeys.begin(), m_spec.swallowedKeys.end(), key) !=
            m_spec.swallowedKeys.end()) {
            return true;
        }
    }
    if (advertisement) {
        return true;  // no key reaches an advertisement's page
    }
    return m_site && m_site->TranslateAccelerator(msg);
}

void Win32BrowserWindow::Navigate(const std::string& url) {
    if (!m_site || m_site->Browser() == nullptr) {
        return;
    }
    m_requested = url;
    m_origin = Origin::Requested;
    m_ownStartExpected = true;
    m_failed = false;
    UniqueBstr address(url);
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_BSTR;
    target.bstrVal = address.Get();
    // No history: the kiosk has no back or forward, and neither has its page.
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = navNoHistory;
    VARIANT none;
    VariantInit(&none);
    if (FAILED(m_site->Browser()->Navigate2(&target, &flags, &none, &none, &none))) {
        Logger::Debug("Win32BrowserWindow: navigation refused: " + url);
        m_ownStartExpected = false;
        m_origin = Origin::Engine;
    }
}

void Win32BrowserWindow::Blank() {
    Stop();
    Navigate("about:blank");
}

void Win32BrowserWindow::SetBodyHtml(const std::string& html) {
    HtmlDocumentAccess::SetBodyHtml(Document().Get(), html);
}

void Win32BrowserWindow::SetInnerTexts(
    const std::vector<std::pair<std::string, std::string>>& texts) {
    ComPtr<IHTMLDocument2> document = Document();
    for (const auto& [name, text] : texts) {
        HtmlDocumentAccess::SetInnerText(document.Get(), name, text);
    }
}

void Win32BrowserWindow::Stop() {
    if (m_site && m_site->Browser() != nullptr) {
        m_site->Browser()->Stop();
    }
}

std::string Win32BrowserWindow::Location() const {
    return m_origin == Origin::Requested ? m_requested : m_engineLocation;
}

void Win32BrowserWindow::OnBeforeNavigate(bool topLevel, const std::string& url) {
    if (!topLevel) {
        return;
    }
    // Clicks of the old document no longer count.
    ReleaseDocument();
    if (m_ownStartExpected) {
        m_ownStartExpected = false;
    } else {
        // The page goes elsewhere on its own (a link, a script, a form).
        m_origin = Origin::Engine;
        m_engineLocation = url;
        m_failed = false;
    }
    Post([url](BrowserWindowEvents& sink) { sink.OnNavigating(url); });
}

void Win32BrowserWindow::OnNavigateError(bool topLevel, const std::string& url, long status) {
    if (!topLevel) {
        return;
    }
    Logger::Debug("Win32BrowserWindow: load failed (" + std::to_string(status) + "): " + url);
    m_failed = true;
    m_origin = Origin::Engine;
    m_engineLocation = url;
}

void Win32BrowserWindow::OnDocumentComplete(bool topLevel, const std::string& url) {
    if (!topLevel) {
        return;
    }
    m_ownStartExpected = false;
    if (m_origin == Origin::Engine && !url.empty()) {
        m_engineLocation = url;
    }
    DocumentInfo info;
    info.generation = ++m_generation;
    info.location = Location();
    // NavigateError reports refused addresses and HTTP error statuses alike.
    info.failed = m_failed;
    // Without an HTML engine there is no document: no layout values and no clicks.
    ComPtr<IHTMLDocument2> document = Document();
    if (document) {
        BindDocument(document);
        if (!m_failed) {
            info.layout.width = HtmlDocumentAccess::FirstTagValue(document.Get(), "KoWidth");
            info.layout.height = HtmlDocumentAccess::FirstTagValue(document.Get(), "KoHeight");
            info.layout.verticalPosition =
                HtmlDocumentAccess::FirstTagValue(document.Get(), "koVerticalPosition");
            info.layout.horizontalPosition =
                HtmlDocumentAccess::FirstTagValue(document.Get(), "koHorizontalPosition");
        }
    }
    Post([info](BrowserWindowEvents& sink) { sink.OnDocumentComplete(info); });
}

void Win32BrowserWindow::BindDocument(const ComPtr<IHTMLDocument2>& document) {
    ReleaseDocument();
    m_clickHandler = DocumentEventHandler::Create([this] { return OnDocumentClick(); });
    VARIANT handler;
    VariantInit(&handler);
    handler.vt = VT_DISPATCH;
    handler.pdispVal = m_clickHandler.Get();
    if (FAILED(document->put_onclick(handler))) {
        Logger::Debug("Win32BrowserWindow: page clicks not bound");
    }
    m_boundDocument = document;
}

void Win32BrowserWindow::ReleaseDocument() {
    if (m_clickHandler) {
        m_clickHandler->Detach();
        m_clickHandler.Reset();
    }
    if (m_boundDocument) {
        VARIANT none;
        VariantInit(&none);
        none.vt = VT_NULL;
        m_boundDocument->put_onclick(none);
        m_boundDocument.Reset();
    }
}

bool Win32BrowserWindow::OnDocumentClick() {
    // The event object lives only during this call: everything the core may need is read now.
    IHTMLDocument2* document = m_boundDocument.Get();
    ClickInfo click;
    click.generation = m_generation;
    click.chain = HtmlDocumentAccess::EventChain(document, kMaxClickChain);
    for (const char* id : kClickFieldIds) {
        click.fields[id] = HtmlDocumentAccess::ReadValue(document, id);
    }
    const FieldValue& chooser = click.fields[kServiceChooserId];
    if (chooser.IsPresent()) {
        for (const char* suffix : kServiceFieldSuffixes) {
            std::string id = chooser.value + suffix;
            click.fields[id] = HtmlDocumentAccess::ReadValue(document, id);
        }
    }
    if (m_spec.cancelClickDefault) {
        HtmlDocumentAccess::CancelEventDefault(document);
    }
    Post([click = std::move(click)](BrowserWindowEvents& sink) { sink.OnClick(click); });
    return !m_spec.cancelClickDefault;
}

}  // namespace ko
