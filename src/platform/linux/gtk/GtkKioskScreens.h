#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>
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

    // For the windows.
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
    FrameExtents m_framedExtents;
};

}  // namespace ko
