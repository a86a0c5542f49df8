#pragma once

#include "platform/ScreenGeometry.h"

namespace ko {

// Notices of the display, posted to the loop.
class DesktopEvents {
  public:
    virtual ~DesktopEvents() = default;
    // The resolution, the DPI or the work area (a moved or resized taskbar) changed.
    virtual void OnDisplayChanged() {}
    // The display went away for good (the X server ended): the program cannot show its lock.
    virtual void OnDisplayLost() {}
};

// The screen the kiosk shows on. The queries answer from what the adapter holds and keeps
// current as the display changes.
class Desktop {
  public:
    virtual ~Desktop() = default;
    // The screen without the taskbar and docked panels, in desktop pixels.
    virtual PixelRect WorkArea() const = 0;
    // The whole screen, in desktop pixels.
    virtual PixelRect Screen() const = 0;
    virtual TwipsPerPixel Twips() const = 0;
    // The largest outer frame the window system accepts.
    virtual PixelSize MaxWindowSize() const = 0;
    // Where the notices go; null stops them.
    virtual void SetEvents(DesktopEvents* events) = 0;
};

}  // namespace ko
