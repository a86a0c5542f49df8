#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/win32/Win32Handles.h"

namespace ko {

class Win32EventLoop;

// A top-level user32 window that holds one browser: the kiosk's main window (undecorated popup)
// or one of its dialogs (framed, caption and close box, fixed size). Geometry is in pixels of the
// outer frame. The frame never destroys itself: its close box and Alt+F4 only report.
class Win32Frame {
  public:
    enum class Style { Main, Dialog };
    struct Events {
        std::function<void()> onCloseBox;
        // The client area changed size: the browser follows it.
        std::function<void()> onResized;
        std::function<void(bool active)> onActivate;
    };

    Win32Frame(Style style, const std::string& caption, Events events);
    ~Win32Frame();
    Win32Frame(const Win32Frame&) = delete;
    Win32Frame& operator=(const Win32Frame&) = delete;

    bool Created() const { return static_cast<bool>(m_window); }
    HWND Handle() const { return m_window.Get(); }
    // True for the frame itself and every window inside it (the browser's own windows).
    bool Contains(HWND window) const;

    void Show(bool activate);
    void Hide();
    bool Visible() const;
    bool Place(int left, int top, int width, int height);
    bool SetTopmost(bool topmost);
    void SetCaption(const std::string& caption);
    // The active window of the program's thread is this frame.
    bool IsActive() const;
    // Shows the frame and runs the loop until done() is true or the frame is hidden or
    // destroyed; meanwhile the program's other windows take no input. The frame may be
    // destroyed while this runs.
    void ShowModal(Win32EventLoop& loop, const std::function<bool()>& done);
    void Destroy();

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UniqueWindow m_window;
    Events m_events;
};

}  // namespace ko
