#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "platform/Desktop.h"
#include "platform/EventLoop.h"

namespace ko {

// The X display's screen as the kiosk sees it: the work area is the primary monitor without the
// panels the window manager reserves (_NET_WORKAREA), twips per pixel come from the display's
// resolution (Xft.dpi, else 96 DPI). Changes of the screen, the monitors or the work area are
// posted to the loop.
class GtkDesktop : public Desktop {
  public:
    GtkDesktop(EventLoop& loop, GdkDisplay* display);
    ~GtkDesktop() override;
    GtkDesktop(const GtkDesktop&) = delete;
    GtkDesktop& operator=(const GtkDesktop&) = delete;

    PixelRect WorkArea() const override { return m_workArea; }
    PixelRect Screen() const override { return m_screen; }
    TwipsPerPixel Twips() const override { return m_twips; }
    PixelSize MaxWindowSize() const override;
    void SetEvents(DesktopEvents* events) override { m_events = events; }

    // The display connection broke: the notice goes to the core, which ends the program; without
    // a listener the loop ends with the display-lost code itself.
    void PostLost();

    // X11 carries sizes and positions in 16 bits; a larger window is refused with an error.
    static constexpr std::int32_t kMaxX11Extent = 32767;

  private:
    static void OnScreenChanged(GdkScreen*, gpointer self);
    static GdkFilterReturn OnRootEvent(GdkXEvent* xevent, GdkEvent*, gpointer self);
    void Refresh();
    void PostChanged();

    EventLoop& m_loop;
    GdkDisplay* m_display;
    GdkScreen* m_screen_ = nullptr;
    GdkWindow* m_root = nullptr;
    DesktopEvents* m_events = nullptr;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    bool m_changePosted = false;
    PixelRect m_workArea;
    PixelRect m_screen;
    TwipsPerPixel m_twips;
};

}  // namespace ko
