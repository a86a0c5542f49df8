#pragma once

#include <windows.h>

#include <functional>

#include "platform/win32/Win32Handles.h"

namespace ko {

// The desktop the kiosk windows sit on: the work area (the screen without the taskbar), the
// screen's twips per pixel, and a notice when either changes (display mode, taskbar moved).
// The notice comes through a hidden top-level window: message-only windows get no broadcasts.
class Win32Desktop {
  public:
    struct Area {
        int left = 0;
        int top = 0;
        int width = 0;
        int height = 0;
    };

    explicit Win32Desktop(std::function<void()> onChange);
    ~Win32Desktop();
    Win32Desktop(const Win32Desktop&) = delete;
    Win32Desktop& operator=(const Win32Desktop&) = delete;

    // In pixels.
    static Area WorkArea();
    // 1440 / DPI, horizontal and vertical; 15 on a 96-DPI screen.
    static int TwipsPerPixelX();
    static int TwipsPerPixelY();

    HWND NoticeWindow() const { return m_window.Get(); }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::function<void()> m_onChange;
    UniqueWindow m_window;
};

}  // namespace ko
