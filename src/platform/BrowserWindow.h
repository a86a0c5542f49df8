#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/BrowserView.h"
#include "platform/ScreenWindow.h"

namespace ko {

// What sort of top-level window a kiosk window is.
enum class WindowKind : std::uint8_t {
    // The main window or a dialog, as `framed` says.
    Standard,
    // The time-out strip: a bare topmost tool window without a taskbar entry that never takes the
    // focus, whatever Show is asked: the customer's window stays active under it. Clicks are
    // reported and never handled by the page.
    Strip,
    // Advertising: a bare topmost window covering the whole screen, fitted again whenever the
    // display changes (Move and Resize leave it so). Every key and every click is reported, a
    // click with an empty chain and no fields, and none reaches the page (a click never follows
    // a link). While shown it holds the keyboard grab and gives it back to the window that held
    // it before when it hides or goes. A modal window of the program does not keep its input
    // from it: shown over a waiting question, it still takes the key or click that ends it.
    Advertisement,
};

// What a kiosk window does on its own, fixed when it is created: an asynchronous engine cannot
// ask the core in the middle of an event.
struct BrowserWindowSpec {
    std::string caption;
    // Caption bar, border and close box (the dialogs); false: a bare frame (the main window, the
    // time-out strip, advertising).
    bool framed = true;
    // No context menu on the page.
    bool blockContextMenu = true;
    // The page's own handling of every click (following a link, submitting a form) is cancelled;
    // the click is still reported.
    bool cancelClickDefault = false;
    // Keys the window swallows before the page sees them; they are still reported.
    std::vector<KeyInfo> swallowedKeys;
    WindowKind kind = WindowKind::Standard;
    // The agent's form the window belongs to ("frmLogon", "frmHtmlMessage"): what
    // KioskScreens::FormOfWindow answers for it.
    std::string formName;
};

// The notices of one kiosk window. The adapter posts each to the loop: none ever runs inside an
// engine or window-system callback, so a handler may navigate, show a modal window or destroy the
// window. Once the window is destroyed no notice of it arrives, even one posted before.
class BrowserWindowEvents {
  public:
    virtual ~BrowserWindowEvents() = default;
    // A top-level navigation starts (asked by the core or by the page); clicks of the old
    // document no longer count.
    virtual void OnNavigating(const std::string& /*url*/) {}
    virtual void OnDocumentComplete(const DocumentInfo& /*document*/) {}
    virtual void OnClick(const ClickInfo& /*click*/) {}
    // A key pressed in the page or on the window (swallowed keys included).
    virtual void OnKeyDown(const KeyInfo& /*key*/) {}
    // The mouse moved over the window or its page.
    virtual void OnMouseMove() {}
    // The window became the active window.
    virtual void OnActivate() {}
    // The user asked to close the window (close box, Alt+F4); the window stays until the core
    // hides or destroys it.
    virtual void OnCloseBox() {}
};

// One kiosk window with its browser. Created hidden; destroying it (from the loop) closes it and
// ends its notices. New windows that a page opens (window.open, target="_blank") are refused:
// they would escape the lock.
class BrowserWindow : public ScreenWindow, public BrowserView {};

}  // namespace ko
