#include "platform/win32/Win32Frame.h"

#include <vector>

#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr const char* kFrameClass = Win32Frame::kClassName;

bool RegisterFrameClassOnce(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSA existing = {};
    if (GetClassInfoA(instance, kFrameClass, &existing)) {
        return true;
    }
    WNDCLASSA frameClass = {};
    frameClass.lpfnWndProc = procedure;
    frameClass.hInstance = instance;
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    frameClass.lpszClassName = kFrameClass;
    return RegisterClassA(&frameClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

struct ModalScope {
    HWND modal;
    std::vector<HWND> disabled;
};

BOOL CALLBACK DisableOther(HWND window, LPARAM context) {
    auto* scope = reinterpret_cast<ModalScope*>(context);
    // The advertisement stays enabled: shown over a waiting question it must still take the key
    // or click that ends it, or it would cover the question for good.
    if (window != scope->modal && IsWindowEnabled(window) &&
        GetPropA(window, Win32Frame::kOverModalProperty) == nullptr) {
        EnableWindow(window, FALSE);
        scope->disabled.push_back(window);
    }
    return TRUE;
}

}  // namespace

Win32Frame::Win32Frame(Style style, const std::string& caption, Events events)
    : m_style(style), m_events(std::move(events)) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterFrameClassOnce(instance, &WindowProc)) {
        Logger::Error("Win32Frame: window class not registered");
        return;
    }
    // The kiosk window has no frame at all; dialogs have a caption and a close box but no
    // sizing border: the server's page decides their size. The strip stays above everything
    // without a taskbar button and is never activated, not even by a click; the advertisement
    // stays above everything without a taskbar button.
    DWORD windowStyle = WS_POPUP | WS_CLIPCHILDREN;
    DWORD extended = 0;
    switch (style) {
        case Style::Main:
            break;
        case Style::Dialog:
            windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
            extended = WS_EX_DLGMODALFRAME;
            break;
        case Style::Strip:
            extended = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
            break;
        case Style::Advertisement:
            extended = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
            break;
    }
    const bool dialog = style == Style::Dialog;
    m_window.Reset(CreateWindowExA(extended, kFrameClass, caption.c_str(), windowStyle, 0, 0,
                                   dialog ? 320 : 640, dialog ? 200 : 480, nullptr, nullptr,
                                   instance, this));
    if (!m_window) {
        Logger::Error("Win32Frame: window not created");
    } else if (style == Style::Advertisement) {
        SetPropA(m_window.Get(), kOverModalProperty, reinterpret_cast<HANDLE>(1));
    }
}

Win32Frame::~Win32Frame() {
    Destroy();
}

void Win32Frame::Destroy() {
    SetModal(false);
    if (m_window) {
        // No message of the dying window reaches this object any more.
        SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, 0);
        RemovePropA(m_window.Get(), kFormProperty);
        RemovePropA(m_window.Get(), kOverModalProperty);
        m_window.Reset();
    }
}

bool Win32Frame::Contains(HWND window) const {
    return m_window && window != nullptr &&
           (window == m_window.Get() || IsChild(m_window.Get(), window));
}

void Win32Frame::Show(bool activate) {
    if (!m_window) {
        return;
    }
    if (m_style == Style::Strip) {
        // Shown where it lies and raised above every window shown since, the active window
        // keeping the focus.
        ShowWindow(m_window.Get(), SW_SHOWNOACTIVATE);
        SetWindowPos(m_window.Get(), HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        return;
    }
    ShowWindow(m_window.Get(), activate ? SW_SHOW : SW_SHOWNA);
    if (activate) {
        SetForegroundWindow(m_window.Get());
    }
}

void Win32Frame::ForceForeground() {
    if (!m_window || m_style == Style::Strip || !IsWindowVisible(m_window.Get())) {
        return;
    }
    HWND foreground = GetForegroundWindow();
    const DWORD own = GetCurrentThreadId();
    const DWORD other = foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : own;
    const bool attached = other != own && other != 0 && AttachThreadInput(own, other, TRUE);
    BringWindowToTop(m_window.Get());
    SetForegroundWindow(m_window.Get());
    if (attached) {
        AttachThreadInput(own, other, FALSE);
    }
}

void Win32Frame::SetFormName(const std::string* name) {
    if (m_window) {
        SetPropA(m_window.Get(), kFormProperty,
                 reinterpret_cast<HANDLE>(const_cast<std::string*>(name)));
    }
}

std::string Win32Frame::FormOf(HWND window) {
    if (window == nullptr || !IsWindow(window)) {
        return {};
    }
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[64] = {};
    if (process != GetCurrentProcessId() ||
        GetClassNameA(window, className, sizeof className) == 0 ||
        lstrcmpA(className, kFrameClass) != 0) {
        return {};
    }
    const auto* name = static_cast<const std::string*>(GetPropA(window, kFormProperty));
    return name != nullptr ? *name : std::string();
}

void Win32Frame::Hide() {
    if (m_window) {
        ShowWindow(m_window.Get(), SW_HIDE);
    }
}

bool Win32Frame::Visible() const {
    return m_window && IsWindowVisible(m_window.Get());
}

bool Win32Frame::Move(int left, int top) {
    return m_window && SetWindowPos(m_window.Get(), nullptr, left, top, 0, 0,
                                    SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool Win32Frame::Resize(int width, int height) {
    if (!m_window || width <= 0 || height <= 0) {
        return false;
    }
    return SetWindowPos(m_window.Get(), nullptr, 0, 0, width, height,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

RECT Win32Frame::Bounds() const {
    RECT rect = {};
    if (m_window) {
        GetWindowRect(m_window.Get(), &rect);
    }
    return rect;
}

bool Win32Frame::SetTopmost(bool topmost) {
    return m_window && SetWindowPos(m_window.Get(), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0,
                                    0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE) != FALSE;
}

void Win32Frame::SetCaption(const std::string& caption) {
    if (m_window) {
        SetWindowTextA(m_window.Get(), caption.c_str());
    }
}

bool Win32Frame::IsActive() const {
    return m_window && GetActiveWindow() == m_window.Get();
}

void Win32Frame::SetModal(bool modal) {
    if (modal && m_window && m_disabled.empty()) {
        ModalScope scope{m_window.Get(), {}};
        EnumThreadWindows(GetCurrentThreadId(), &DisableOther, reinterpret_cast<LPARAM>(&scope));
        m_disabled = std::move(scope.disabled);
        return;
    }
    if (!modal) {
        for (HWND window : m_disabled) {
            if (IsWindow(window)) {
                EnableWindow(window, TRUE);
            }
        }
        m_disabled.clear();
    }
}

LRESULT CALLBACK Win32Frame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* frame = reinterpret_cast<Win32Frame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (frame == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return frame->HandleMessage(window, message, wParam, lParam);
}

LRESULT Win32Frame::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            // The close box (and Alt+F4) asks; the program decides. Never destroyed here.
            if (m_events.onCloseBox) {
                Guarded("close box", m_events.onCloseBox);
            }
            return 0;
        case WM_SIZE:
            if (m_events.onResized) {
                Guarded("resize", m_events.onResized);
            }
            return 0;
        case WM_MOUSEACTIVATE:
            // A click on the strip (or its page) leaves the customer's window active.
            if (m_style == Style::Strip) {
                return MA_NOACTIVATE;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_DISPLAYCHANGE:
        case WM_SETTINGCHANGE:
            if (m_events.onDisplayChanged) {
                Guarded("display change", m_events.onDisplayChanged);
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_ACTIVATE: {
            LRESULT result = DefWindowProcA(window, message, wParam, lParam);
            if (m_events.onActivate) {
                bool active = LOWORD(wParam) != WA_INACTIVE;
                Guarded("activate", [&] { m_events.onActivate(active); });
            }
            return result;
        }
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace ko
