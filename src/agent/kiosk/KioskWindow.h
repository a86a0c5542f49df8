#pragma once

#include <cstdint>
#include <string>

namespace ko {

class ServerLink;
class wsClient;

// The main kiosk window `frmLogon` and its browser, as the rest of the agent drives it.
class KioskWindow {
  public:
    virtual ~KioskWindow() = default;

    // The workstation object and the server link, once the start routine has created them; both
    // null again when the agent stops.
    virtual void SetClient(wsClient* /*client*/, ServerLink* /*link*/) {}

    // The browser.
    virtual void Navigate(const std::string& url) = 0;
    virtual std::string LocationURL() = 0;
    // The file name of the shown page ("wsStopped.htm"), without folder or query.
    virtual std::string LocationName() = 0;
    virtual void SetBodyHtml(const std::string& html) = 0;
    virtual void MoveBrowserToTopLeft() = 0;

    // The window.
    virtual void ShowMainForm() = 0;
    virtual void HideMainForm() = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void DisplayMinimizedWindow() = 0;
    virtual void DispalyNormalWindow() = 0;
    // Places the main window from the page's layout values and the work area.
    virtual void PosForm() = 0;
    virtual void SetWindowFocusTimer(bool enabled) = 0;  // tmrWindowFocus
    virtual void SetMainWindowMinimized(bool minimized) = 0;
    virtual void SetMainPosition(const std::string& vertical, const std::string& horizontal) = 0;

    // For the lock: the main window above every other window (or not), and every form of the
    // agent but the main window unloaded (dialogs, message, network dialog, the time-out strip
    // and advertising).
    virtual void SetMainTopmost(bool topmost) = 0;
    virtual void UnloadForms() = 0;
    // The main window to the front and active, even while another program's window is active.
    virtual void ForceForeground() = 0;
    // Every key of the display to the agent's windows while held (see ScreenWindow::GrabKeyboard);
    // false when the window system refused it or no display shows the kiosk yet (the grab is
    // taken once the window shows).
    virtual bool GrabKeyboard(bool grab) = 0;
    // The agent's form ("frmLogon", "frmHtmlMessage", ...) a top-level window belongs to, by its
    // handle (an HWND; an X window id); empty when it is none of the agent's windows.
    virtual std::string IsOwnWindow(std::uint64_t handle) = 0;
};

}  // namespace ko
