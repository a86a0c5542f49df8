#include "platform/linux/gtk/GtkKioskScreens.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <string>

#include "platform/linux/AnsiText.h"
#include "platform/linux/KioskModule.h"
#include "platform/linux/gtk/GtkBrowserWindow.h"
#include "platform/linux/gtk/GtkNetConfigDialog.h"
#include "shared/Logger.h"

namespace ko {
namespace {

// Xlib calls this when a display connection breaks. GTK cannot go on without its display: the
// connection watch normally sees the kiosk's break first and lets the core end the program; this
// is for a break found while writing (the core's own ending destroys its windows). Either way the
// agent ends with the display-lost code and systemd starts it again, to wait for a display.
// The handler is one per process: another connection's break (the window control's, which waits
// for the display to return) is left to that connection's exit handler, which ends the program
// unless its owner set one of its own. GDK's handler, replaced here, would end it for any.
Display* g_kioskConnection = nullptr;

int OnDisplayConnectionLost(Display* connection) {
    if (connection != g_kioskConnection) {
        return 0;
    }
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
    g_kioskConnection = gdk_x11_display_get_xdisplay(display);
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
    for (GtkWindow* window : m_toplevels) {
        g_signal_handlers_disconnect_by_data(window, this);
    }
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
    auto dialog = std::make_unique<GtkNetConfigDialog>(m_loop, events);
    g_object_set_data(G_OBJECT(dialog->NativeWindow()), kFormKey,
                      const_cast<char*>("frmNetConfig"));
    TrackToplevel(dialog->NativeWindow());
    return dialog;
}

void GtkKioskScreens::TrackToplevel(GtkWindow* window) {
    m_toplevels.push_back(window);
    g_signal_connect(window, "map-event",
                     G_CALLBACK(+[](GtkWidget* widget, GdkEvent*, gpointer self) {
                         auto* window = GTK_WINDOW(widget);
                         // Mapped to take the focus (not a strip, not shown behind the others).
                         if (gtk_window_get_accept_focus(window) != FALSE &&
                             gtk_window_get_focus_on_map(window) != FALSE) {
                             static_cast<GtkKioskScreens*>(self)->Activated(window);
                         } else {
                             static_cast<GtkKioskScreens*>(self)->RefreshGrab();
                         }
                         return FALSE;
                     }),
                     this);
    g_signal_connect(window, "unmap-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         static_cast<GtkKioskScreens*>(self)->RefreshGrab();
                         return FALSE;
                     }),
                     this);
    g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget* widget, gpointer self) {
                         auto* screens = static_cast<GtkKioskScreens*>(self);
                         auto* window = GTK_WINDOW(widget);
                         auto drop = [window](std::vector<GtkWindow*>& list) {
                             list.erase(std::remove(list.begin(), list.end(), window), list.end());
                         };
                         drop(screens->m_toplevels);
                         drop(screens->m_focusOrder);
                         GdkWindow* gdkWindow = gtk_widget_get_window(widget);
                         if (gdkWindow != nullptr && gdkWindow == screens->m_grabWindow) {
                             screens->m_grabWindow = nullptr;  // X ends it with the window
                         }
                         screens->RefreshGrab();
                     }),
                     this);
}

void GtkKioskScreens::Activated(GtkWindow* window) {
    m_focusOrder.erase(std::remove(m_focusOrder.begin(), m_focusOrder.end(), window),
                       m_focusOrder.end());
    m_focusOrder.push_back(window);
    RefreshGrab();
}

void GtkKioskScreens::RemoveWindow(GtkBrowserWindow* window) {
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
    RefreshGrab();
}

GtkWindow* GtkKioskScreens::ActiveWindow() const {
    GList* toplevels = gtk_window_list_toplevels();
    GtkWindow* active = nullptr;
    for (GList* item = toplevels; item != nullptr && active == nullptr; item = item->next) {
        auto* window = GTK_WINDOW(item->data);
        if (gtk_window_is_active(window) != FALSE) {
            active = window;
        }
    }
    g_list_free(toplevels);
    return active;
}

GtkWindow* GtkKioskScreens::MainWindow() const {
    for (GtkBrowserWindow* window : m_windows) {
        if (window->IsMainWindow()) {
            return window->NativeWindow();
        }
    }
    return nullptr;
}

std::string GtkKioskScreens::FormOfWindow(std::uint64_t handle) const {
    if (handle == 0) {
        return {};
    }
    std::string form;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item != nullptr; item = item->next) {
        GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(item->data));
        if (gdkWindow != nullptr && GDK_IS_X11_WINDOW(gdkWindow) &&
            GDK_WINDOW_XID(gdkWindow) == handle) {
            const auto* name =
                static_cast<const char*>(g_object_get_data(G_OBJECT(item->data), kFormKey));
            form = name != nullptr ? name : "";
            break;
        }
    }
    g_list_free(toplevels);
    return form;
}

void GtkKioskScreens::RefreshGrab() {
    GtkBrowserWindow* holder = nullptr;
    for (GtkBrowserWindow* window : m_windows) {
        if (window->IsVisible() && window->Kind() == WindowKind::Advertisement) {
            holder = window;
        }
    }
    for (GtkBrowserWindow* window : m_windows) {
        if (holder == nullptr && window->IsVisible() && window->GrabAsked()) {
            holder = window;
        }
    }
    GdkWindow* target = nullptr;
    const bool ownerEvents = holder != nullptr && holder->Kind() != WindowKind::Advertisement;
    if (ownerEvents) {
        for (auto it = m_focusOrder.rbegin(); it != m_focusOrder.rend() && target == nullptr;
             ++it) {
            GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(*it));
            if (window != nullptr && gdk_window_is_viewable(window)) {
                target = window;
            }
        }
    }
    if (target == nullptr && holder != nullptr) {
        target = holder->GrabTarget();
    }
    if (target == m_grabWindow && ownerEvents == m_grabOwnerEvents) {
        return;
    }
    GdkSeat* seat = gdk_display_get_default_seat(m_display);
    if (seat == nullptr) {
        return;
    }
    if (target == nullptr) {
        gdk_seat_ungrab(seat);
        m_grabWindow = nullptr;
        return;
    }
    // One connection holds one grab: taking it for another of our windows moves it there, and
    // no other program's grab can slip in between. An advertisement takes every key itself.
    const GdkGrabStatus status =
        gdk_seat_grab(seat, target, GDK_SEAT_CAPABILITY_KEYBOARD, ownerEvents ? TRUE : FALSE,
                      nullptr, nullptr, nullptr, nullptr);
    if (status == GDK_GRAB_SUCCESS) {
        m_grabWindow = target;
        m_grabOwnerEvents = ownerEvents;
    } else {
        Logger::Info("the keyboard grab was refused (status " + std::to_string(status) + ")");
        m_grabWindow = nullptr;
    }
}

bool GtkKioskScreens::GrabHeldBy(const GtkBrowserWindow& window) const {
    return m_grabWindow != nullptr && m_grabWindow == window.GrabTarget();
}

void GtkKioskScreens::ShowMessageBox(const std::string& text, const std::string& caption) {
    GtkWindow* parent = ActiveWindow();
    if (parent == nullptr) {
        parent = MainWindow();
    }
    GtkWidget* dialog = gtk_message_dialog_new(
        parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", AnsiToUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), AnsiToUtf8(caption).c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    // The box is answered on the program's loop: a private GTK main loop would starve the
    // agent's sockets and timers while it shows.
    struct State {
        bool answered = false;
        bool destroyed = false;
    } state;
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, gint, gpointer data) {
                         static_cast<State*>(data)->answered = true;
                     }),
                     &state);
    // Its parent may go while it shows (the window it stands over is unloaded).
    g_signal_connect(dialog, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                         static_cast<State*>(data)->destroyed = true;
                     }),
                     &state);
    TrackToplevel(GTK_WINDOW(dialog));
    g_object_ref(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
    m_loop.RunUntil([&] { return state.answered || state.destroyed || m_displayLost; });
    g_signal_handlers_disconnect_matched(dialog, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                         &state);
    if (!state.destroyed) {
        gtk_widget_destroy(dialog);
    }
    g_object_unref(dialog);
}

WebKitWebView* GtkKioskScreens::RelatedView() const {
    return m_views.empty() ? nullptr : m_views.front();
}

void GtkKioskScreens::RemoveView(WebKitWebView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

}  // namespace ko
