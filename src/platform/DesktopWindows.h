#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ActionResult.h"
#include "platform/Processes.h"

namespace ko {

// A top-level window of the desktop: a window handle on Windows (its low 32 bits, which is all a
// handle carries even on 64-bit Windows), an X window id on Linux. 0 is no window.
using WindowId = std::uint32_t;

// The top-level windows of other programs on the user's desktop. Without a display (Linux
// headless) every query answers nothing and every action NotSupported.
class DesktopWindows {
  public:
    virtual ~DesktopWindows() = default;

    // False when the desktop cannot be reached (no display): the window steps are skipped.
    virtual bool Available() = 0;
    virtual bool Exists(WindowId window) = 0;
    // The window class (at most 200 characters; on Linux the class part of WM_CLASS).
    virtual std::optional<std::string> ClassName(WindowId window) = 0;
    // The current title, read again at every call.
    virtual std::optional<std::string> Title(WindowId window) = 0;
    // The process that owns the window.
    virtual std::optional<ProcessId> ProcessOf(WindowId window) = 0;

    // Shows or hides the window (on Linux: map and unmap).
    virtual ActionResult Show(WindowId window) = 0;
    virtual ActionResult Hide(WindowId window) = 0;
    // Asks the window to close, as its close box would (WM_CLOSE, WM_DELETE_WINDOW); it may
    // refuse. Honours OSTREL_DRY_RUN.
    virtual ActionResult RequestClose(WindowId window) = 0;

    // Every top-level window, visible or hidden, topmost first (the agent's own among them).
    virtual std::vector<WindowId> TopLevelWindows() = 0;
    // Closes the Start button of the logged-on user's taskbar (the caller impersonates that
    // user). NotSupported where there is no such button.
    virtual ActionResult CloseStartButton() = 0;
    // The processes that draw the desktop itself (the display server and the window manager on
    // Linux); nothing of theirs is ever ended.
    virtual std::vector<ProcessId> DesktopProcesses() = 0;
};

}  // namespace ko
