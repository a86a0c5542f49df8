#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/DesktopWindows.h"
#include "platform/HookLibrary.h"
#include "platform/linux/LinuxEventLoop.h"

namespace ko {

class Processes;

// The other programs' windows on the X display, over an Xlib connection of its own whose
// descriptor the loop watches (the kiosk's toolkit keeps its own connection). Window notices come
// from the root window: gains in _NET_CLIENT_LIST are creations, losses destructions, a new
// _NET_ACTIVE_WINDOW an activation; without a window manager, mapping and destruction of the
// root's children stand in. A window's class is WM_CLASS, its process _NET_WM_PID else the
// X resource extension's client id; hide and show unmap and map it; a polite close is
// WM_DELETE_WINDOW. Without a display every call answers nothing or NotSupported.
class X11DesktopWindows : public DesktopWindows {
  public:
    using NoticeSink = std::function<void(HookNotice, WindowId)>;

    X11DesktopWindows(LinuxEventLoop& loop, Processes& processes);
    ~X11DesktopWindows() override;
    X11DesktopWindows(const X11DesktopWindows&) = delete;
    X11DesktopWindows& operator=(const X11DesktopWindows&) = delete;

    // How often a configured display that does not answer is asked again (as the kiosk does).
    static constexpr std::uint32_t kReopenRetryMs = 10000;

    // Connects to the display (DISPLAY when empty); false headless. The display going away
    // later leaves the adapter without one. The display server and the window manager found
    // here are protected from Processes' Terminate.
    bool Open(const std::string& displayName = std::string());
    // Keeps the watch on the display of DISPLAY for the adapter's life: opened now when it
    // answers, else once it does (the agent may start before the X server or the session), asked
    // every retryMs; a display that goes away is waited for again the same way. Notices flow to
    // the sink and the screen saver stays as last asked across reopenings. Without DISPLAY the
    // agent is headless and nothing is ever asked. True when the display is open now.
    bool KeepOpen(std::uint32_t retryMs = kReopenRetryMs);

    bool Available() override;
    bool Exists(WindowId window) override;
    std::optional<std::string> ClassName(WindowId window) override;
    std::optional<std::string> Title(WindowId window) override;
    std::optional<ProcessId> ProcessOf(WindowId window) override;
    ActionResult Show(WindowId window) override;
    ActionResult Hide(WindowId window) override;
    ActionResult RequestClose(WindowId window) override;
    std::vector<WindowId> TopLevelWindows() override;
    // X desktops have no Start button of the kind the cafe's policy hides.
    ActionResult CloseStartButton() override { return ActionResult::NotSupported; }
    std::vector<ProcessId> DesktopProcesses() override;

    // Where the window notices go; an empty sink stops them.
    void SetNoticeSink(NoticeSink sink);
    // Keeps the screen saver off while on (the screen-saver extension's suspension, which ends
    // with this connection at the latest).
    bool SuspendScreenSaver(bool on);

  private:
    struct Connection;
    class DrainAfter;

    void OnReadable();
    void HandleQueued();
    void ReadClientList(bool notify);
    void ReadActiveWindow(bool notify);
    void Notify(HookNotice notice, WindowId window);
    void ScheduleDrain();
    void Close();
    void Lost();
    void Reopen();
    void ProtectDesktopProcesses();

    LinuxEventLoop& m_loop;
    Processes& m_processes;
    std::unique_ptr<Connection> m_x;
    NoticeSink m_sink;
    bool m_keepOpen = false;
    bool m_saverSuspended = false;  // as last asked, applied again to a reopened display
    EventLoop::TimerId m_reopen = 0;
    std::uint32_t m_retryMs = kReopenRetryMs;
};

}  // namespace ko
