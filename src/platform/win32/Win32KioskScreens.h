#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/KioskScreens.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32EventLoop.h"

namespace ko {

// The kiosk's screens on Windows: user32 windows holding the WebBrowser control, the desktop and
// the network dialog. It is its own source: Windows always has a desktop to show on, so Open()
// only fails when OLE, which the hosted control needs, cannot start on the loop's thread.
class Win32KioskScreens final : public KioskScreensSource, public KioskScreens {
  public:
    explicit Win32KioskScreens(Win32EventLoop& loop) : m_loop(loop) {}
    ~Win32KioskScreens() override;
    Win32KioskScreens(const Win32KioskScreens&) = delete;
    Win32KioskScreens& operator=(const Win32KioskScreens&) = delete;

    // KioskScreensSource
    Availability Open() override;
    KioskScreens* Screens() override { return m_desktop ? this : nullptr; }

    // KioskScreens
    Desktop& GetDesktop() override { return *m_desktop; }
    std::unique_ptr<BrowserWindow> CreateBrowserWindow(const BrowserWindowSpec& spec,
                                                       BrowserWindowEvents& events) override;
    std::unique_ptr<NetConfigDialog> CreateNetConfigDialog(NetConfigEvents& events) override;
    void ShowMessageBox(const std::string& text, const std::string& caption) override;
    std::string FormOfWindow(std::uint64_t handle) const override;

  private:
    Win32EventLoop& m_loop;
    bool m_oleStarted = false;
    HWND m_netConfigWindow = nullptr;
    std::unique_ptr<Win32Desktop> m_desktop;
};

}  // namespace ko
