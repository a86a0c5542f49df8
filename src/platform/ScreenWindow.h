#pragma once

#include <cstdint>
#include <string>

#include "platform/ScreenGeometry.h"

namespace ko {

// A top-level window of the kiosk. Every call carries its data in and returns at once; the
// queries answer from what the adapter holds, never by asking the window system or an engine
// synchronously, so the screens can later run in another process. Everything runs on the loop's
// thread.
class ScreenWindow {
  public:
    virtual ~ScreenWindow() = default;

    // Shows the window; with activate it also becomes the active window and takes the keyboard
    // focus, else the active window keeps it (a strip that slides up over the customer's work).
    virtual void Show(bool activate) = 0;
    virtual void Hide() = 0;
    // Outer frame (caption and borders included), desktop pixels. The browser fills the client
    // area. A mapped window moves and resizes in place: it is never unmapped to do so, which
    // would drop a keyboard grab. The core only passes sizes of 1 pixel or more, within the
    // desktop's MaxWindowSize.
    virtual void Move(std::int32_t left, std::int32_t top) = 0;
    virtual void Resize(std::int32_t width, std::int32_t height) = 0;
    // Above every window that is not topmost itself.
    virtual void SetTopmost(bool topmost) = 0;
    // ANSI text.
    virtual void SetCaption(const std::string& caption) = 0;
    // While modal, the program's other windows take no input (clicks, keys, close boxes); the
    // core runs the loop's RunUntil meanwhile and ends the modal showing itself.
    virtual void SetModal(bool modal) = 0;

    // Brings the window to the front and makes it the active window even while another program's
    // window is active (the window system's guard against a background program taking the focus
    // is passed the way the lock must: input queues joined on Windows, a current timestamp on X).
    virtual void ForceForeground() = 0;
    // While held, every key of the display comes to the program: to the program's window the
    // customer was last brought to (a dialog over the kiosk, the message box), else to this one.
    // The grab is kept across hiding and showing (taken again whenever the window is shown) until
    // released; only one window holds it. X11: an active grab on the program's own display
    // connection (a grab from another connection would take the window's keys away from it).
    // Windows has no such grab: the keyboard hook keeps the keys inside, and this only records the
    // wish. False when the window system refuses (another program holds the keyboard); the grab is
    // then tried again at the next showing.
    virtual bool GrabKeyboard(bool grab) = 0;
    // The window system's handle of the top-level window: the HWND on Windows, the X window id
    // (the client window that _NET_CLIENT_LIST lists, not the window manager's frame) on X11.
    virtual std::uint64_t NativeHandle() const = 0;

    virtual bool IsVisible() const = 0;
    // True while this window is the active window (it has the keyboard focus).
    virtual bool IsActive() const = 0;
    // The outer frame as last moved and sized (or as the window system placed it).
    virtual PixelRect Bounds() const = 0;
};

}  // namespace ko
