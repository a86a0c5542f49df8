#pragma once

#include <memory>

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
