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

constexpr guint kEngineMemoryLimitMiB = 100;
constexpr double kEngineMemoryPollSeconds = 5.0;

// Xlib calls this when the display's connection breaks and ends the program when it returns;
// GTK cannot go on without its display either. The connection watch normally sees the break
// first and lets the core end the program; this is for a break found while writing (the core's
// own ending destroys its windows). Either way the agent ends with the display-lost code and
// systemd starts it again, to wait for a display.
int OnDisplayConnectionLost(Display*) {
    Logger::Error("the X display went away; ending so that the service starts again");
    ::_exit(kExitDisplayLost);
}

// The engine's caches grow with the pages a process has seen, up to a share of the machine's
// memory, and are only given back when the process feels pressure. A kiosk shows a few small
// pages from the local network, so the web and network processes are told they have little to
// spend: above a third of the limit they drop caches they can rebuild, above half everything
// they can. No kill threshold: a killed web process would leave the lock screen blank.
WebKitMemoryPressureSettings* NewMemoryPressureSettings() {
    WebKitMemoryPressureSettings* settings = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(settings, kEngineMemoryLimitMiB);
    webkit_memory_pressure_settings_set_conservative_threshold(settings, 0.33);
    webkit_memory_pressure_settings_set_strict_threshold(settings, 0.5);
    webkit_memory_pressure_settings_set_poll_interval(settings, kEngineMemoryPollSeconds);
    return settings;
}

// In memory only: a customer finds no cookies or cache on disk.
WebKitWebContext* NewWebContext() {
    // The network process takes its settings when it starts, which is with the first context.
    static const bool networkConfigured = [] {
        WebKitMemoryPressureSettings* settings = NewMemoryPressureSettings();
        webkit_website_data_manager_set_memory_pressure_settings(settings);
        webkit_memory_pressure_settings_free(settings);
        return true;
    }();
    (void)networkConfigured;
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
    WebKitMemoryPressureSettings* settings = NewMemoryPressureSettings();
    auto* context =
        WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data,
                                        "memory-pressure-settings", settings, nullptr));
    webkit_memory_pressure_settings_free(settings);
    g_object_unref(data);
    return context;
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
    m_context = NewWebContext();
    // The kiosk's pages come from the cafe server on the local network: no page cache is worth
    // the memory.
    webkit_web_context_set_cache_model(m_context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    // Starting the web and network processes takes most of the time to the first page: start
    // them now, with an empty page in a view of no window, while the agent sets itself up. The
    // first kiosk window joins that process; the empty view goes when it does.
    m_warmView = WEBKIT_WEB_VIEW(g_object_ref_sink(webkit_web_view_new_with_context(m_context)));
    webkit_web_view_load_uri(m_warmView, "about:blank");
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
    DropWarmView();
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
    return m_views.empty() ? m_warmView : m_views.front();
}

void GtkKioskScreens::AddView(WebKitWebView* view) {
    m_views.push_back(view);
    // The new view shares the warm view's process and keeps it alive.
    DropWarmView();
}

void GtkKioskScreens::RemoveView(WebKitWebView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

void GtkKioskScreens::DropWarmView() {
    if (m_warmView != nullptr) {
        g_object_unref(m_warmView);
        m_warmView = nullptr;
    }
}

}  // namespace ko
