#pragma once

#include "platform/HookLibrary.h"

namespace ko {

class X11DesktopWindows;

// The hook library's duties on Linux, with the display's own means: window notices from the
// root-window watch, the screen saver suspended. The system keys are held by the kiosk's
// keyboard grab on its own connection (a grab on another connection would steal the kiosk's
// keys), so the keyboard calls only record. Headless (no desktop) every call succeeds and no
// notice comes. Nothing is ever missing here: there is no library file to lose.
class LinuxHookLibrary : public HookLibrary {
  public:
    explicit LinuxHookLibrary(X11DesktopWindows* desktop) : m_desktop(desktop) {}
    ~LinuxHookLibrary() override;
    LinuxHookLibrary(const LinuxHookLibrary&) = delete;
    LinuxHookLibrary& operator=(const LinuxHookLibrary&) = delete;

    void SetNoticeHandler(NoticeHandler handler) override;
    bool SetKeyboardHook() override;
    bool UnsetKeyboardHook() override;
    bool SetSaverHook() override;
    bool UnsetSaverHook() override;
    bool SetShellHook() override;
    bool UnsetShellHook() override;
    bool SetCBTHook() override;
    bool UnsetCBTHook() override;
    bool GoOnline() override { return true; }

  private:
    void UpdateSink();

    X11DesktopWindows* m_desktop;
    NoticeHandler m_handler;
    bool m_shell = false;
    bool m_cbt = false;
};

}  // namespace ko
