#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/BrowserWindow.h"
#include "platform/linux/gtk/GtkKioskScreens.h"

namespace ko {

// A kiosk window on X11: a GTK top-level window holding one WebKit view that fills it. Keys and
// mouse reach the window's handlers before the page; clicks come from a script in the page;
// every notice is posted to the loop. Geometry is the outer frame: the window manager's frame is
// taken off before GTK sizes the client area.
class GtkBrowserWindow : public BrowserWindow {
  public:
    GtkBrowserWindow(GtkKioskScreens& screens, const BrowserWindowSpec& spec,
                     BrowserWindowEvents& events);
    ~GtkBrowserWindow() override;
    GtkBrowserWindow(const GtkBrowserWindow&) = delete;
    GtkBrowserWindow& operator=(const GtkBrowserWindow&) = delete;

    // ScreenWindow
    void Show(bool activate) override;
    void Hide() override;
    void Move(std::int32_t left, std::int32_t top) override;
    void Resize(std::int32_t width, std::int32_t height) override;
    void SetTopmost(bool topmost) override;
    void SetCaption(const std::string& caption) override;
    void SetModal(bool modal) override;
    void ForceForeground() override;
    bool GrabKeyboard(bool grab) override;
    std::uint64_t NativeHandle() const override;
    bool IsVisible() const override { return m_visible; }
    bool IsActive() const override { return m_active; }
    PixelRect Bounds() const override { return m_bounds; }

    // BrowserView
    void Navigate(const std::string& url) override;
    void Blank() override;
    void SetBodyHtml(const std::string& html) override;
    void SetInnerTexts(const std::vector<std::pair<std::string, std::string>>& texts) override;
    void Stop() override;
    std::string Location() const override;

    // For the screens.
    WindowKind Kind() const { return m_spec.kind; }
    bool IsMainWindow() const { return m_spec.kind == WindowKind::Standard && !m_spec.framed; }
    bool GrabAsked() const { return m_grabAsked; }
    // The window the keyboard grab goes to: null while it is not on the screen (X refuses a grab
    // on an unviewable window; the map brings the grab).
    GdkWindow* GrabTarget() const;

    // For tests: the GTK window and the web view.
    GtkWindow* NativeWindow() const { return m_window; }
    WebKitWebView* NativeView() const { return m_view; }

  private:
    // Posts a notice; it is dropped if the window is gone when it runs.
    void PostEvent(std::function<void(BrowserWindowEvents&)> notice);
    void CallScript(const std::string& body, GVariant* arguments,
                    std::function<void(JSCValue*)> onResult);
    // The top document completed (or failed): the next generation, posted.
    void Complete(const LayoutValues& layout, bool failed);
    void ApplySize();
    void LearnFrameExtents();
    // An advertisement covers the screen as the desktop has it now.
    void CoverScreen();

    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
    static gboolean OnMotion(GtkWidget*, GdkEventMotion*, gpointer self);
    static gboolean OnButton(GtkWidget*, GdkEventButton* event, gpointer self);
    static gboolean OnScroll(GtkWidget*, GdkEventScroll*, gpointer self);
    static void OnMonitorsChanged(GdkScreen*, gpointer self);
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
    static void OnActiveChanged(GObject*, GParamSpec*, gpointer self);
    static gboolean OnConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer self);
    static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
    static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                  WebKitHitTestResult*, gpointer self);
    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                 gpointer self);
    static void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                gpointer self);
    static gboolean OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                           gpointer self);

    GtkKioskScreens& m_screens;
    BrowserWindowSpec m_spec;
    BrowserWindowEvents& m_events;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    GtkWindow* m_window = nullptr;
    WebKitWebView* m_view = nullptr;
    WebKitUserContentManager* m_content = nullptr;
    GCancellable* m_cancel = nullptr;

    bool m_visible = false;
    bool m_active = false;
    bool m_modal = false;
    bool m_grabAsked = false;
    bool m_mouseMovePosted = false;
    PixelRect m_bounds;
    bool m_sizeRequested = false;
    bool m_positionRequested = false;

    // Where the shown document came from (see Location).
    std::string m_requested;
    bool m_fromRequest = false;
    bool m_awaitingOwnStart = false;
    bool m_ownLoad = false;
    bool m_committed = false;
    std::string m_engineUri;
    // Completed top documents; clicks count only between a completion and the next navigation.
    std::uint32_t m_generation = 0;
    std::uint64_t m_loadSerial = 0;
    bool m_bound = false;
    bool m_loadFailed = false;
};

}  // namespace ko
