#include "platform/win32/Win32Desktop.h"

#include <algorithm>

#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr const char* kNoticeClass = "OstrelDesktopNotice";
constexpr int kTwipsPerInch = 1440;

}  // namespace

Win32Desktop::Win32Desktop(Win32EventLoop& loop) : m_loop(loop) {
    Refresh();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA existing = {};
    if (!GetClassInfoA(instance, kNoticeClass, &existing)) {
        WNDCLASSA noticeClass = {};
        noticeClass.lpfnWndProc = &WindowProc;
        noticeClass.hInstance = instance;
        noticeClass.lpszClassName = kNoticeClass;
        if (RegisterClassA(&noticeClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            Logger::Error("Win32Desktop: window class not registered");
            return;
        }
    }
    // Never shown; a top-level window so that display and settings broadcasts reach it.
    m_window.Reset(CreateWindowExA(WS_EX_TOOLWINDOW, kNoticeClass, "", WS_POPUP, 0, 0, 0, 0,
                                   nullptr, nullptr, instance, nullptr));
    if (!m_window) {
        Logger::Error("Win32Desktop: notice window not created");
        return;
    }
    SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Desktop::~Win32Desktop() {
    m_alive.reset();
    if (m_window) {
        SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, 0);
    }
}

void Win32Desktop::Refresh() {
    m_screen = PixelRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT rect = {};
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &rect, 0)) {
        m_workArea = PixelRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    } else {
        m_workArea = m_screen;
    }
    if (HDC screen = GetDC(nullptr)) {
        int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
        int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        m_twips = TwipsPerPixel{dpiX > 0 ? kTwipsPerInch / dpiX : 15,
                                dpiY > 0 ? kTwipsPerInch / dpiY : 15};
    }
    // The largest frame a window can be given is the system's maximum tracking size; it is
    // never smaller than the screen.
    m_maxWindow = PixelSize{std::max(GetSystemMetrics(SM_CXMAXTRACK), m_screen.width),
                            std::max(GetSystemMetrics(SM_CYMAXTRACK), m_screen.height)};
}

void Win32Desktop::OnChange() {
    Refresh();
    std::weak_ptr<bool> alive = m_alive;
    m_loop.Post([this, alive] {
        if (alive.lock() && m_sink != nullptr) {
            m_sink->OnDisplayChanged();
        }
    });
}

LRESULT CALLBACK Win32Desktop::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* desktop = reinterpret_cast<Win32Desktop*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    bool changed =
        message == WM_DISPLAYCHANGE || (message == WM_SETTINGCHANGE && wParam == SPI_SETWORKAREA);
    if (desktop != nullptr && changed) {
        Guarded("display change", [desktop] { desktop->OnChange(); });
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace ko
