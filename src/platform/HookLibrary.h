#pragma once

#include <cstdint>
#include <functional>

#include "platform/DesktopWindows.h"

namespace ko {

// The notices the hook library posts about top-level windows, with their message numbers.
enum class HookNotice : std::uint32_t {
    WindowCreated = 1027,
    WindowActivated = 1029,  // never for "no window"
    WindowDestroyed = 1032,
};

// The hook library: keyboard, screen-saver, shell and window-creation hooks. On Windows the
// native hook.dll beside the program; on Linux the display's own means (the kiosk grabs the
// keyboard, the screen saver is suspended, the root window is watched), or nothing headless.
//
// Every call answers false when the library or its function is missing; the agent then shows its
// "missing configuration files" message. The Linux adapter never answers false.
class HookLibrary {
  public:
    using NoticeHandler = std::function<void(HookNotice, WindowId)>;

    virtual ~HookLibrary() = default;

    // Where the shell and window-creation hooks' notices go; they arrive from the loop, one at
    // a time. An empty handler drops them.
    virtual void SetNoticeHandler(NoticeHandler handler) = 0;

    // Swallows the system keys (Windows keys, Alt+Tab, Alt+Esc, Ctrl+Esc) for the agent's UI
    // thread until UnsetKeyboardHook.
    virtual bool SetKeyboardHook() = 0;
    virtual bool UnsetKeyboardHook() = 0;
    // Keeps the screen saver from starting until UnsetSaverHook.
    virtual bool SetSaverHook() = 0;
    virtual bool UnsetSaverHook() = 0;
    // The two hooks that together produce the notices: installed once per run, shell first.
    virtual bool SetShellHook() = 0;
    virtual bool UnsetShellHook() = 0;
    virtual bool SetCBTHook() = 0;
    virtual bool UnsetCBTHook() = 0;
    // Restores the library's online state before the agent ends or the machine goes down.
    virtual bool GoOnline() = 0;
};

}  // namespace ko
