#include "platform/linux/gtk/GtkDesktop.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <cmath>

#include "platform/linux/KioskModule.h"

namespace ko {
namespace {

PixelRect ToRect(const GdkRectangle& r) {
    return PixelRect{r.x, r.y, r.width, r.height};
}

std::int32_t TwipsFromDpi(double dpi) {
    if (!(dpi > 0)) {
        dpi = 96;
    }
    const auto twips = static_cast<std::int32_t>(std::lround(1440.0 / dpi));
    return twips < 1 ? 1 : twips;
}

}  // namespace

GtkDesktop::GtkDesktop(EventLoop& loop, GdkDisplay* display)
    : m_loop(loop), m_display(display), m_screen_(gdk_display_get_default_screen(display)) {
    Refresh();
    g_signal_connect(m_screen_, "size-changed", G_CALLBACK(OnScreenChanged), this);
    g_signal_connect(m_screen_, "monitors-changed", G_CALLBACK(OnScreenChanged), this);
    // The work area moves with the panels; GDK tells nothing of it, the root window's
    // _NET_WORKAREA property does.
    m_root = gdk_screen_get_root_window(m_screen_);
    gdk_window_set_events(m_root, static_cast<GdkEventMask>(gdk_window_get_events(m_root) |
                                                            GDK_PROPERTY_CHANGE_MASK));
    gdk_window_add_filter(m_root, OnRootEvent, this);
}

GtkDesktop::~GtkDesktop() {
    *m_alive = false;
    gdk_window_remove_filter(m_root, OnRootEvent, this);
    g_signal_handlers_disconnect_by_data(m_screen_, this);
}

PixelSize GtkDesktop::MaxWindowSize() const {
    return PixelSize{kMaxX11Extent, kMaxX11Extent};
}

void GtkDesktop::Refresh() {
    GdkMonitor* monitor = gdk_display_get_primary_monitor(m_display);
    if (monitor == nullptr) {
        monitor = gdk_display_get_monitor(m_display, 0);
    }
    if (monitor != nullptr) {
        GdkRectangle geometry{};
        gdk_monitor_get_geometry(monitor, &geometry);
        GdkRectangle work{};
        gdk_monitor_get_workarea(monitor, &work);
        m_screen = ToRect(geometry);
        m_workArea = ToRect(work);
    }
    const std::int32_t twips = TwipsFromDpi(gdk_screen_get_resolution(m_screen_));
    m_twips = TwipsPerPixel{twips, twips};
}

void GtkDesktop::PostChanged() {
    Refresh();
    if (m_changePosted) {
        return;  // one notice for a burst of changes
    }
    m_changePosted = true;
    m_loop.Post([this, alive = m_alive] {
        if (!*alive) {
            return;
        }
        m_changePosted = false;
        Refresh();
        if (m_events != nullptr) {
            m_events->OnDisplayChanged();
        }
    });
}

void GtkDesktop::PostLost() {
    m_loop.Post([this, alive = m_alive] {
        if (!*alive) {
            return;
        }
        if (m_events != nullptr) {
            m_events->OnDisplayLost();
        } else {
            m_loop.Quit(kExitDisplayLost);
        }
    });
}

void GtkDesktop::OnScreenChanged(GdkScreen*, gpointer self) {
    static_cast<GtkDesktop*>(self)->PostChanged();
}

GdkFilterReturn GtkDesktop::OnRootEvent(GdkXEvent* xevent, GdkEvent*, gpointer self) {
    auto* event = static_cast<XEvent*>(xevent);
    auto* desktop = static_cast<GtkDesktop*>(self);
    if (event->type == PropertyNotify &&
        event->xproperty.atom ==
            gdk_x11_get_xatom_by_name_for_display(desktop->m_display, "_NET_WORKAREA")) {
        desktop->PostChanged();
    }
    return GDK_FILTER_CONTINUE;
}

}  // namespace ko
