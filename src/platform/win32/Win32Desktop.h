#pragma once

#include <windows.h>

#include <memory>

#include "platform/Desktop.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Handles.h"

namespace ko {

// The desktop the kiosk windows sit on: the work area (SPI_GETWORKAREA: the screen without the
// taskbar), the screen, twips per pixel (1440 / LOGPIXELSX and Y). The answers are held and
// refreshed when the display mode or the work area changes; the notice of such a change comes
// through a hidden top-level window (message-only windows get no broadcasts) and is posted.
class Win32Desktop final : public Desktop {
  public:
    explicit Win32Desktop(Win32EventLoop& loop);
    ~Win32Desktop() override;
    Win32Desktop(const Win32Desktop&) = delete;
    Win32Desktop& operator=(const Win32Desktop&) = delete;

    PixelRect WorkArea() const override { return m_workArea; }
    PixelRect Screen() const override { return m_screen; }
    TwipsPerPixel Twips() const override { return m_twips; }
    PixelSize MaxWindowSize() const override { return m_maxWindow; }
    void SetEvents(DesktopEvents* events) override { m_sink = events; }

    HWND NoticeWindow() const { return m_window.Get(); }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Refresh();
    void OnChange();

    Win32EventLoop& m_loop;
    DesktopEvents* m_sink = nullptr;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    UniqueWindow m_window;
    PixelRect m_workArea;
    PixelRect m_screen;
    TwipsPerPixel m_twips;
    PixelSize m_maxWindow;
};

}  // namespace ko
