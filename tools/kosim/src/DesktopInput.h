#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ko {

// Real input on the workstation's X display, through xdotool: the pointer and the keyboard as
// a customer uses them, so the window system decides which window gets a click or a key (a
// dialog hidden under the kiosk does not get it). kosim and the workstation share a display
// in the demo and the end-to-end runs; DISPLAY names it.
class DesktopInput {
  public:
    virtual ~DesktopInput() = default;
    // The shown window whose title matches the regular expression, if any.
    virtual std::optional<std::string> FindWindow(const std::string& titlePattern);
    // A left click at x, y of the window's client area.
    virtual bool Click(const std::string& window, int x, int y);
    // Keys by their X names ("Tab", "Return", "ctrl+a") to whatever has the focus.
    virtual bool Keys(const std::vector<std::string>& keys);
    // A text typed into whatever has the focus.
    virtual bool Type(const std::string& text);

    // The title of the window that shows a page of the given lower-case file name.
    static std::string TitleFor(const std::string& page);

  protected:
    // Runs xdotool with the arguments; its output in out. False when it failed.
    virtual bool Run(const std::vector<std::string>& args, std::string* out);
};

}  // namespace ko
