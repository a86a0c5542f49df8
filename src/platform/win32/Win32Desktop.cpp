#include "platform/win32/Win32Desktop.h"

#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr const char* kNoticeClass = "OstrelDesktopNotice";
constexpr int kTwipsPerInch = 1440;

int TwipsPerPixel(int axis) {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return 15;
    }
    int dpi = GetDeviceCaps(screen, axis);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? kTwipsPerInch / dpi : 15;
}

}  // namespace

Win32Desktop::Win32Desktop(std::function<void()> onChange) : m_onChange(std::move(onChange)) {
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
    if (m_window) {
        SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, 0);
    }
}

Win32Desktop::Area Win32Desktop::WorkArea() {
    RECT rect = {};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &rect, 0)) {
        // Without an answer the whole primary screen is the best guess.
        rect.right = GetSystemMetrics(SM_CXSCREEN);
        rect.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    return Area{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

int Win32Desktop::TwipsPerPixelX() {
    return TwipsPerPixel(LOGPIXELSX);
}

int Win32Desktop::TwipsPerPixelY() {
    return TwipsPerPixel(LOGPIXELSY);
}

LRESULT CALLBACK Win32Desktop::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* desktop = reinterpret_cast<Win32Desktop*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    bool changed =
        message == WM_DISPLAYCHANGE || (message == WM_SETTINGCHANGE && wParam == SPI_SETWORKAREA);
    if (desktop != nullptr && changed && desktop->m_onChange) {
        Guarded("display change", desktop->m_onChange);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace ko
