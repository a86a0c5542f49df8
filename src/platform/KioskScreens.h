#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/BrowserWindow.h"
#include "platform/Desktop.h"
#include "platform/NetConfigDialog.h"

namespace ko {

// The kiosk's screens on one display: the desktop and the windows the kiosk creates on it. A
// program has them only where a display can show them (Windows; Linux with an X display); headless
// there are none and the kiosk reports itself not supported.
class KioskScreens {
  public:
    virtual ~KioskScreens() = default;
    virtual Desktop& GetDesktop() = 0;
    // Null when the window cannot be created. `events` must outlive the window.
    virtual std::unique_ptr<BrowserWindow> CreateBrowserWindow(const BrowserWindowSpec& spec,
                                                               BrowserWindowEvents& events) = 0;
    virtual std::unique_ptr<NetConfigDialog> CreateNetConfigDialog(NetConfigEvents& events) = 0;

    // A plain system message box with an OK button ("Wrong password"), over the program's active
    // window. Returns once the user closed it or the loop quits; the loop's events run meanwhile,
    // as in RunUntil, and the program's other windows take no input while it shows. Windows:
    // MessageBoxA; X11: a GTK message dialog on the loop (never a private GTK main loop).
    virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;
    // The form (BrowserWindowSpec::formName; "frmNetConfig" for the network dialog) of a living
    // window of the program, by its top-level handle (ScreenWindow::NativeHandle); empty when the
    // handle is none of the program's windows.
    virtual std::string FormOfWindow(std::uint64_t handle) const = 0;
};

// How a program obtains its screens. src/app creates the source for its platform and asks it at
// start; NotYet (a display is configured but does not answer yet) is asked again every 10 s
// while the agent keeps its link.
class KioskScreensSource {
  public:
    enum class Availability { Unsupported, NotYet, Ready };
    virtual ~KioskScreensSource() = default;
    virtual Availability Open() = 0;
    // Valid after Open() returned Ready, for the source's life.
    virtual KioskScreens* Screens() = 0;
};

}  // namespace ko
