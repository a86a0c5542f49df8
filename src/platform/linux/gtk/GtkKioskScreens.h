#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/KioskScreens.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/gtk/GlibLoopSource.h"
#include "platform/linux/gtk/GtkDesktop.h"

namespace ko {

class GtkBrowserWindow;

// The kiosk's screens on an X display: GTK driven from the program's loop, one WebKit web
// context (in memory only: a customer finds no cookies or cache on disk) and one web process
// for every page, since each new view is created related to a living one.
class GtkKioskScreens : public KioskScreens {
  public:
    // Opens the display named by DISPLAY (with XAUTHORITY's cookie); null when it does not
    // answer or refuses the program.
    static std::unique_ptr<GtkKioskScreens> Open(LinuxEventLoop& loop);
    ~GtkKioskScreens() override;
    GtkKioskScreens(const GtkKioskScreens&) = delete;
    GtkKioskScreens& operator=(const GtkKioskScreens&) = delete;

    Desktop& GetDesktop() override { return *m_desktop; }
    std::unique_ptr<BrowserWindow> CreateBrowserWindow(const BrowserWindowSpec& spec,
                                                       BrowserWindowEvents& events) override;
    std::unique_ptr<NetConfigDialog> CreateNetConfigDialog(NetConfigEvents& events) override;
    void ShowMessageBox(const std::string& text, const std::string& caption) override;
    std::string FormOfWindow(std::uint64_t handle) const override;

    // The key under which a window's GTK object carries its form name.
    static constexpr const char* kFormKey = "ko-form";

    // For the windows.
    GdkDisplay* Display() const { return m_display; }
    void AddWindow(GtkBrowserWindow* window) { m_windows.push_back(window); }
    void RemoveWindow(GtkBrowserWindow* window);
    // The program's active window, for a dialog to stand over; null when another program's
    // window is active.
    GtkWindow* ActiveWindow() const;
    // The program's main kiosk window (the first living unframed standard window), or null.
    GtkWindow* MainWindow() const;
    // The keyboard grab goes to whoever should hold it now: a shown advertisement window; else,
    // while a shown window asks for it, the program's window the customer was last brought to
    // (a dialog over the kiosk types its own keys: under a grab the window manager cannot move
    // the focus, so the grab moves with it). Called whenever one of them shows, hides, asks,
    // is brought forward or goes.
    void RefreshGrab();
    // Every top-level window of the program: its showing with the focus brings the grab along.
    void TrackToplevel(GtkWindow* window);
    // The window was brought forward with the focus (presented).
    void Activated(GtkWindow* window);
    bool GrabHeldBy(const GtkBrowserWindow& window) const;
    EventLoop& Loop() { return m_loop; }
    WebKitWebContext* Context() { return m_context; }
    // A living view to relate a new one to (same web process), or null.
    WebKitWebView* RelatedView() const;
    void AddView(WebKitWebView* view) { m_views.push_back(view); }
    void RemoveView(WebKitWebView* view);
    // The frame a window manager puts around framed windows, learnt from the first one mapped.
    struct FrameExtents {
        int left = 0, right = 0, top = 0, bottom = 0;
        bool known = false;
    };
    FrameExtents& FramedExtents() { return m_framedExtents; }

  private:
    explicit GtkKioskScreens(LinuxEventLoop& loop, GdkDisplay* display);

    void OnConnectionBroken();

    LinuxEventLoop& m_loop;
    GlibLoopSource m_glib;
    LinuxEventLoop::WatchId m_connectionWatch = 0;
    bool m_displayLost = false;
    GdkDisplay* m_display;
    std::unique_ptr<GtkDesktop> m_desktop;
    WebKitWebContext* m_context = nullptr;
    std::vector<WebKitWebView*> m_views;
    std::vector<GtkBrowserWindow*> m_windows;
    // The window whose GdkWindow holds the keyboard grab now, and how.
    GdkWindow* m_grabWindow = nullptr;
    bool m_grabOwnerEvents = false;
    // The program's top-level windows, and those brought forward with the focus, latest last.
    std::vector<GtkWindow*> m_toplevels;
    std::vector<GtkWindow*> m_focusOrder;
    FrameExtents m_framedExtents;
};

}  // namespace ko
