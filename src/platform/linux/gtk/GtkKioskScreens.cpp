#include "platform/linux/gtk/GtkKioskScreens.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "platform/linux/KioskModule.h"
#include "platform/linux/gtk/GtkBrowserWindow.h"
#include "platform/linux/gtk/GtkNetConfigDialog.h"
#include "shared/Logger.h"

namespace ko {
namespace {

// Xlib calls this when the display's connection breaks and ends the program when it returns;
// GTK cannot go on without its display either. The connection watch normally sees the break
// first and lets the core end the program; this is for a break found while writing (the core's
// own ending destroys its windows). Either way the agent ends with the display-lost code and
// systemd starts it again, to wait for a display.
int OnDisplayConnectionLost(Display*) {
    Logger::Error("the X display went away; ending so that the service starts again");
    ::_exit(kExitDisplayLost);
}

}  // namespace

std::unique_ptr<GtkKioskScreens> GtkKioskScreens::Open(LinuxEventLoop& loop) {
    // GTK must stay on X11 (the kiosk's keyboard grab and placement need it) and must not try a
    // D-Bus accessibility bus that a service does not have.
    // Once: GDK keeps each list it is given (and a later one would change nothing).
    static const bool configured = [] {
        gdk_set_allowed_backends("x11");
        g_setenv("NO_AT_BRIDGE", "1", FALSE);
        return true;
    }();
    (void)configured;
    if (gtk_init_check(nullptr, nullptr) == FALSE) {
        return nullptr;
    }
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) {
        return nullptr;
    }
    // Writing to a display that went away must fail, not kill the program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    XSetIOErrorHandler(OnDisplayConnectionLost);
    return std::unique_ptr<GtkKioskScreens>(new GtkKioskScreens(loop, display));
}

GtkKioskScreens::GtkKioskScreens(LinuxEventLoop& loop, GdkDisplay* display)
    : m_loop(loop), m_glib(loop), m_display(display) {
    m_desktop = std::make_unique<GtkDesktop>(loop, display);
    m_context = webkit_web_context_new_ephemeral();
    // The kiosk's pages come from the cafe server on the local network: no page cache is worth
    // the memory.
    webkit_web_context_set_cache_model(m_context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    // A display that goes away hangs up the connection. Seen here first, GTK never gets to read
    // the broken connection (that would end the program at once) and the core hears of it.
    const int connection = ConnectionNumber(gdk_x11_display_get_xdisplay(display));
    m_connectionWatch =
        m_loop.WatchFd(connection, POLLRDHUP, [this](short) { OnConnectionBroken(); });
}

void GtkKioskScreens::OnConnectionBroken() {
    if (m_displayLost) {
        return;
    }
    m_displayLost = true;
    Logger::Error("the X display went away");
    m_loop.UnwatchFd(m_connectionWatch);
    m_connectionWatch = 0;
    m_glib.Detach();
    m_desktop->PostLost();
}

GtkKioskScreens::~GtkKioskScreens() {
    if (m_connectionWatch != 0) {
        m_loop.UnwatchFd(m_connectionWatch);
    }
    m_desktop.reset();
    g_object_unref(m_context);
}

std::unique_ptr<BrowserWindow> GtkKioskScreens::CreateBrowserWindow(const BrowserWindowSpec& spec,
                                                                    BrowserWindowEvents& events) {
    return std::make_unique<GtkBrowserWindow>(*this, spec, events);
}

std::unique_ptr<NetConfigDialog> GtkKioskScreens::CreateNetConfigDialog(NetConfigEvents& events) {
    return std::make_unique<GtkNetConfigDialog>(m_loop, events);
}

WebKitWebView* GtkKioskScreens::RelatedView() const {
    return m_views.empty() ? nullptr : m_views.front();
}

void GtkKioskScreens::RemoveView(WebKitWebView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

}  // namespace ko
