#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/Win32Handles.h"

namespace ko {

// A top-level user32 window that holds one browser: the kiosk's main window (undecorated popup),
// one of its dialogs (framed, caption and close box, fixed size), the time-out strip (a topmost
// tool popup that is never activated) or the advertisement (a topmost popup over the screen).
// Geometry is in pixels of the outer frame. The frame never destroys itself: its close box and
// Alt+F4 only report.
class Win32Frame {
  public:
    enum class Style { Main, Dialog, Strip, Advertisement };
    struct Events {
        std::function<void()> onCloseBox;
        // The client area changed size: the browser follows it.
        std::function<void()> onResized;
        std::function<void(bool active)> onActivate;
        // The resolution or the work area changed.
        std::function<void()> onDisplayChanged;
    };

    // The window property that carries a frame's form name, and the frames' window class.
    static constexpr const char* kFormProperty = "OstrelForm";
    static constexpr const char* kClassName = "OstrelKioskFrame";
    // The window property that keeps a frame (the advertisement) enabled while another is modal.
    static constexpr const char* kOverModalProperty = "OstrelOverModal";
    // The form name of one of this program's frames; empty for any other window.
    static std::string FormOf(HWND window);

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
    bool Move(int left, int top);
    bool Resize(int width, int height);
    // The outer frame as the window system has it.
    RECT Bounds() const;
    bool SetTopmost(bool topmost);
    void SetCaption(const std::string& caption);
    // The name FormOf answers; it must outlive the frame.
    void SetFormName(const std::string* name);
    // To the front and active even while another program is active: the foreground window's
    // thread shares its input state with ours for the moment of the switch, which the window
    // system's guard against focus stealing lets through.
    void ForceForeground();
    // The active window of the program's thread is this frame.
    bool IsActive() const;
    // While modal, the program's other windows (of this thread) take no input, the advertisement
    // excepted; the caller runs the nested loop. Ending the modal showing, or destroying the frame,
    // gives them input back.
    void SetModal(bool modal);
    void Destroy();

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UniqueWindow m_window;
    Style m_style;
    Events m_events;
    // The windows this frame disabled while modal.
    std::vector<HWND> m_disabled;
};

}  // namespace ko
