#include "platform/linux/gtk/GtkBrowserWindow.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "platform/linux/AnsiText.h"
#include "platform/linux/gtk/GtkKeys.h"
#include "platform/linux/gtk/PageScript.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {
namespace {

// A JSC value's text, converted for the core; nothing for undefined and null.
std::optional<std::string> TextOf(JSCValue* value) {
    if (value == nullptr || jsc_value_is_undefined(value) || jsc_value_is_null(value)) {
        return std::nullopt;
    }
    gchar* text = jsc_value_to_string(value);
    std::string result = Utf8ToAnsi(text != nullptr ? text : "");
    g_free(text);
    return result;
}

// A property of a JSC object, owned by the caller.
struct JsProperty {
    JSCValue* value = nullptr;
    JsProperty(JSCValue* object, const char* name)
        : value(jsc_value_is_object(object) ? jsc_value_object_get_property(object, name)
                                            : nullptr) {}
    JsProperty(JSCValue* array, guint index)
        : value(jsc_value_is_object(array) ? jsc_value_object_get_property_at_index(array, index)
                                           : nullptr) {}
    ~JsProperty() {
        if (value != nullptr) {
            g_object_unref(value);
        }
    }
    JsProperty(const JsProperty&) = delete;
    JsProperty& operator=(const JsProperty&) = delete;
};

guint ArrayLength(JSCValue* array) {
    if (array == nullptr || !jsc_value_is_array(array)) {
        return 0;
    }
    JsProperty length(array, "length");
    const std::int32_t count = length.value != nullptr ? jsc_value_to_int32(length.value) : 0;
    return count > 0 ? static_cast<guint>(count) : 0;
}

std::string ToUri(const std::string& url) {
    std::string utf8 = AnsiToUtf8(url);
    if (!utf8.empty() && utf8[0] == '/') {
        gchar* uri = g_filename_to_uri(utf8.c_str(), nullptr, nullptr);
        if (uri != nullptr) {
            utf8 = uri;
            g_free(uri);
        }
    }
    return utf8;
}

// A framed window is a dialog: title and close box, moved but never resized, minimised or
// maximised by the customer (the program sizes it), as a Windows dialog frame without those
// boxes. Told to the window manager through its Motif hints once the window exists.
void AskForDialogFrame(GtkWidget* widget, gpointer) {
    GdkWindow* gdkWindow = gtk_widget_get_window(widget);
    if (gdkWindow == nullptr) {
        return;
    }
    gdk_window_set_decorations(gdkWindow, static_cast<GdkWMDecoration>(
                                              GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
    gdk_window_set_functions(gdkWindow, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
}

// The frame a window manager drew around a mapped window, from GDK's idea of both rectangles.
std::optional<GtkKioskScreens::FrameExtents> MeasureFrame(GtkWindow* window) {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
    if (gdkWindow == nullptr || !gdk_window_is_visible(gdkWindow)) {
        return std::nullopt;
    }
    GdkRectangle frame{};
    gdk_window_get_frame_extents(gdkWindow, &frame);
    gint x = 0;
    gint y = 0;
    gdk_window_get_origin(gdkWindow, &x, &y);
    const int width = gdk_window_get_width(gdkWindow);
    const int height = gdk_window_get_height(gdkWindow);
    GtkKioskScreens::FrameExtents extents;
    extents.left = x - frame.x;
    extents.top = y - frame.y;
    extents.right = frame.x + frame.width - (x + width);
    extents.bottom = frame.y + frame.height - (y + height);
    extents.known = true;
    if (extents.left < 0 || extents.top < 0 || extents.right < 0 || extents.bottom < 0) {
        return std::nullopt;
    }
    return extents;
}

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The four layout values the layout script returns: [width, height, vertical, horizontal].
LayoutValues LayoutFrom(JSCValue* value) {
    LayoutValues layout;
    std::optional<std::string>* slots[] = {&layout.width, &layout.height, &layout.verticalPosition,
                                           &layout.horizontalPosition};
    for (guint i = 0; i < 4 && value != nullptr && jsc_value_is_array(value); ++i) {
        JsProperty item(value, i);
        *slots[i] = TextOf(item.value);
    }
    return layout;
}

struct ScriptCall {
    std::shared_ptr<bool> alive;
    std::function<void(JSCValue*)> onResult;
};

}  // namespace

GtkBrowserWindow::GtkBrowserWindow(GtkKioskScreens& screens, const BrowserWindowSpec& spec,
                                   BrowserWindowEvents& events)
    : m_screens(screens), m_spec(spec), m_events(events), m_cancel(g_cancellable_new()) {
    // The strip reacts to any click: its page never follows one.
    if (spec.kind == WindowKind::Strip) {
        m_spec.cancelClickDefault = true;
    }
    // The strip is a popup the window manager never manages: it cannot focus, move or frame it,
    // so it lies exactly where the program puts it and the customer's window stays active.
    m_window = GTK_WINDOW(
        gtk_window_new(spec.kind == WindowKind::Strip ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL));
    const bool bare = !spec.framed || spec.kind != WindowKind::Standard;
    gtk_window_set_decorated(m_window, bare ? FALSE : TRUE);
    gtk_window_set_title(m_window, AnsiToUtf8(spec.caption).c_str());
    gtk_window_set_gravity(m_window, GDK_GRAVITY_NORTH_WEST);
    g_object_set_data_full(G_OBJECT(m_window), GtkKioskScreens::kFormKey,
                           g_strdup(spec.formName.c_str()), g_free);
    switch (spec.kind) {
        case WindowKind::Strip:
            gtk_window_set_type_hint(m_window, GDK_WINDOW_TYPE_HINT_NOTIFICATION);
            gtk_window_set_accept_focus(m_window, FALSE);
            gtk_window_set_focus_on_map(m_window, FALSE);
            break;
        case WindowKind::Advertisement: {
            // A window group of its own: GTK confines the input of a group to its modal window
            // while one shows, so an advertisement opened over a waiting question (or the box
            // refusing a wrong password) would get none of the keys and clicks that end it, and
            // would cover the question for good. Windows' modal showing leaves a window opened
            // later alone, as this does.
            GtkWindowGroup* group = gtk_window_group_new();
            gtk_window_group_add_window(group, m_window);
            g_object_unref(group);  // the window keeps it
            gtk_window_set_keep_above(m_window, TRUE);
            gtk_window_set_skip_taskbar_hint(m_window, TRUE);
            gtk_window_set_skip_pager_hint(m_window, TRUE);
            gtk_window_fullscreen(m_window);
            g_signal_connect(gdk_display_get_default_screen(screens.Display()), "monitors-changed",
                             G_CALLBACK(OnMonitorsChanged), this);
            g_signal_connect(gdk_display_get_default_screen(screens.Display()), "size-changed",
                             G_CALLBACK(OnMonitorsChanged), this);
            break;
        }
        case WindowKind::Standard:
            if (!bare) {
                g_signal_connect(m_window, "realize", G_CALLBACK(AskForDialogFrame), nullptr);
            }
            break;
    }

    m_content = webkit_user_content_manager_new();
    const std::string signal = std::string("script-message-received::") + PageScript::kClickChannel;
    g_signal_connect(m_content, signal.c_str(), G_CALLBACK(OnScriptMessage), this);
    webkit_user_content_manager_register_script_message_handler_in_world(
        m_content, PageScript::kClickChannel, PageScript::kWorld);
    const std::string clickScript = PageScript::ClickScript(m_spec.cancelClickDefault);
    WebKitUserScript* script = webkit_user_script_new_for_world(
        clickScript.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, PageScript::kWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(m_content, script);
    webkit_user_script_unref(script);

    WebKitSettings* settings = webkit_settings_new();
    g_object_set(settings, "enable-developer-extras", FALSE,
                 "javascript-can-open-windows-automatically", FALSE, "enable-page-cache", FALSE,
                 "default-charset", "windows-1252", "hardware-acceleration-policy",
                 WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER, nullptr);
    // Every view shares one web process: a view related to a living one joins its process.
    WebKitWebView* related = screens.RelatedView();
    GObject* view = nullptr;
    if (related != nullptr) {
        view = G_OBJECT(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related,
                                     "user-content-manager", m_content, "settings", settings,
                                     nullptr));
    } else {
        view = G_OBJECT(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", screens.Context(),
                                     "user-content-manager", m_content, "settings", settings,
                                     nullptr));
    }
    g_object_unref(settings);
    m_view = WEBKIT_WEB_VIEW(g_object_ref_sink(view));
    screens.AddView(m_view);
    gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_view));
    gtk_widget_add_events(GTK_WIDGET(m_view), GDK_POINTER_MOTION_MASK);

    g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(m_window, "notify::is-active", G_CALLBACK(OnActiveChanged), this);
    g_signal_connect(m_window, "configure-event", G_CALLBACK(OnConfigure), this);
    g_signal_connect(m_view, "motion-notify-event", G_CALLBACK(OnMotion), this);
    if (spec.kind == WindowKind::Advertisement) {
        // Connected ahead of the view's own handlers: a click never reaches the page.
        g_signal_connect(m_view, "button-press-event", G_CALLBACK(OnButton), this);
        g_signal_connect(m_view, "button-release-event", G_CALLBACK(OnButton), this);
        g_signal_connect(m_view, "scroll-event", G_CALLBACK(OnScroll), this);
    }
    g_signal_connect(m_view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this);
    g_signal_connect(m_view, "context-menu", G_CALLBACK(OnContextMenu), this);
    g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(m_view, "load-failed", G_CALLBACK(OnLoadFailed), this);
    g_signal_connect(m_view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
    gtk_widget_show(GTK_WIDGET(m_view));
    // The X window exists from now on: its id is the handle the lock asks about.
    gtk_widget_realize(GTK_WIDGET(m_window));
    screens.AddWindow(this);
    screens.TrackToplevel(m_window);
    if (spec.kind == WindowKind::Advertisement) {
        CoverScreen();
    }
}

GtkBrowserWindow::~GtkBrowserWindow() {
    *m_alive = false;
    m_grabAsked = false;
    m_visible = false;
    m_screens.RemoveWindow(this);
    if (m_spec.kind == WindowKind::Advertisement) {
        g_signal_handlers_disconnect_by_data(gdk_display_get_default_screen(m_screens.Display()),
                                             this);
    }
    g_cancellable_cancel(m_cancel);
    g_signal_handlers_disconnect_by_data(m_window, this);
    g_signal_handlers_disconnect_by_data(m_view, this);
    g_signal_handlers_disconnect_by_data(m_content, this);
    webkit_user_content_manager_unregister_script_message_handler_in_world(
        m_content, PageScript::kClickChannel, PageScript::kWorld);
    m_screens.RemoveView(m_view);
    gtk_widget_destroy(GTK_WIDGET(m_window));
    g_object_unref(m_view);
    g_object_unref(m_content);
    g_object_unref(m_cancel);
}

void GtkBrowserWindow::PostEvent(std::function<void(BrowserWindowEvents&)> notice) {
    m_screens.Loop().Post([alive = m_alive, events = &m_events, notice = std::move(notice)] {
        if (*alive) {
            notice(*events);
        }
    });
}

// ---- the window ----

void GtkBrowserWindow::Show(bool activate) {
    const bool wasVisible = m_visible;
    m_visible = true;
    if (m_spec.kind == WindowKind::Strip) {
        // Never activated; raised at every showing over what opened since.
        gtk_widget_show(GTK_WIDGET(m_window));
        if (GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(m_window))) {
            gdk_window_raise(window);
        }
        return;
    }
    if (wasVisible && !activate) {
        return;
    }
    gtk_window_set_focus_on_map(m_window, activate ? TRUE : FALSE);
    gtk_widget_show(GTK_WIDGET(m_window));
    if (activate) {
        gtk_window_present(m_window);
        if (wasVisible) {
            m_screens.Activated(m_window);
        }
    }
}

void GtkBrowserWindow::Hide() {
    m_visible = false;
    m_active = false;
    gtk_widget_hide(GTK_WIDGET(m_window));
    // X ends a grab whose window goes off the screen: hand it to the window that holds it next.
    m_screens.RefreshGrab();
}

void GtkBrowserWindow::ForceForeground() {
    if (!m_visible || m_spec.kind == WindowKind::Strip) {
        return;
    }
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(m_window));
    if (window == nullptr) {
        return;
    }
    // A window manager refuses focus to a request older than the user's last input; the
    // server's own time now is never older.
    const guint32 now = gdk_x11_get_server_time(window);
    gdk_window_raise(window);
    gtk_window_present_with_time(m_window, now);
    m_screens.Activated(m_window);
}

bool GtkBrowserWindow::GrabKeyboard(bool grab) {
    m_grabAsked = grab;
    m_screens.RefreshGrab();
    return !grab || m_screens.GrabHeldBy(*this);
}

std::uint64_t GtkBrowserWindow::NativeHandle() const {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(m_window));
    return window != nullptr && GDK_IS_X11_WINDOW(window) ? GDK_WINDOW_XID(window) : 0;
}

GdkWindow* GtkBrowserWindow::GrabTarget() const {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(m_window));
    return window != nullptr && gdk_window_is_viewable(window) ? window : nullptr;
}

void GtkBrowserWindow::CoverScreen() {
    const PixelRect screen = m_screens.GetDesktop().Screen();
    m_bounds = screen;
    // Fullscreen covers the monitor; the size also holds where a window manager ignores it.
    gtk_window_move(m_window, screen.left, screen.top);
    gtk_window_resize(m_window, std::max(screen.width, 1), std::max(screen.height, 1));
}

void GtkBrowserWindow::Move(std::int32_t left, std::int32_t top) {
    if (m_spec.kind == WindowKind::Advertisement) {
        return;  // it covers the screen on its own
    }
    m_bounds.left = left;
    m_bounds.top = top;
    m_positionRequested = true;
    // With north-west gravity the window manager puts its frame's corner here. X11 carries
    // positions in 16 bits: a larger one would wrap round to the other side of the screen.
    const int limit = GtkDesktop::kMaxX11Extent;
    gtk_window_move(m_window, std::clamp(left, -limit, limit), std::clamp(top, -limit, limit));
}

void GtkBrowserWindow::Resize(std::int32_t width, std::int32_t height) {
    if (width < 1 || height < 1 || m_spec.kind == WindowKind::Advertisement) {
        return;  // the window system refuses such a size
    }
    m_bounds.width = width;
    m_bounds.height = height;
    m_sizeRequested = true;
    ApplySize();
}

void GtkBrowserWindow::ApplySize() {
    GtkKioskScreens::FrameExtents frame;
    if (m_spec.framed) {
        frame = m_screens.FramedExtents();
    }
    const int maxExtent = GtkDesktop::kMaxX11Extent;
    const int width = std::clamp(m_bounds.width - frame.left - frame.right, 1, maxExtent);
    const int height = std::clamp(m_bounds.height - frame.top - frame.bottom, 1, maxExtent);
    // The customer cannot resize a kiosk window; only the program does.
    GdkGeometry hints{};
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    gtk_window_set_geometry_hints(
        m_window, nullptr, &hints,
        static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
    gtk_window_resize(m_window, width, height);
}

void GtkBrowserWindow::LearnFrameExtents() {
    if (!m_spec.framed) {
        return;
    }
    std::optional<GtkKioskScreens::FrameExtents> measured = MeasureFrame(m_window);
    if (!measured) {
        return;
    }
    GtkKioskScreens::FrameExtents& known = m_screens.FramedExtents();
    if (known.known && known.left == measured->left && known.right == measured->right &&
        known.top == measured->top && known.bottom == measured->bottom) {
        return;
    }
    known = *measured;
    // The first framed window was sized before its frame was known: size it again.
    if (m_sizeRequested) {
        ApplySize();
    }
    if (m_positionRequested) {
        gtk_window_move(m_window, m_bounds.left, m_bounds.top);
    }
}

void GtkBrowserWindow::SetTopmost(bool topmost) {
    gtk_window_set_keep_above(m_window, topmost ? TRUE : FALSE);
}

void GtkBrowserWindow::SetCaption(const std::string& caption) {
    gtk_window_set_title(m_window, AnsiToUtf8(caption).c_str());
}

void GtkBrowserWindow::SetModal(bool modal) {
    m_modal = modal;
    // A modal GTK window holds the program's grab while it is shown: the other windows get no
    // clicks, keys or close requests meanwhile.
    gtk_window_set_modal(m_window, modal ? TRUE : FALSE);
    // The window manager keeps it over the kiosk, and the kiosk cannot be raised above it.
    GtkWindow* main = m_screens.MainWindow();
    if (main != m_window) {
        gtk_window_set_transient_for(m_window, modal ? main : nullptr);
    }
}

// ---- the page ----

void GtkBrowserWindow::Navigate(const std::string& url) {
    m_requested = url;
    m_fromRequest = true;
    m_awaitingOwnStart = true;
    webkit_web_view_load_uri(m_view, ToUri(url).c_str());
}

void GtkBrowserWindow::Blank() {
    // The running load ends first: its completion must not follow the empty page's.
    webkit_web_view_stop_loading(m_view);
    Navigate("about:blank");
}

void GtkBrowserWindow::SetBodyHtml(const std::string& html) {
    GVariantDict arguments;
    g_variant_dict_init(&arguments, nullptr);
    g_variant_dict_insert(&arguments, "html", "s", AnsiToUtf8(html).c_str());
    CallScript(PageScript::SetBodyHtmlBody(), g_variant_dict_end(&arguments), nullptr);
}

void GtkBrowserWindow::SetInnerTexts(
    const std::vector<std::pair<std::string, std::string>>& texts) {
    // The engine takes texts but no lists as arguments: the pairs travel as one JSON text that
    // the page script parses.
    std::string json = "[";
    for (const auto& [name, text] : texts) {
        json += (json.size() > 1 ? ",[" : "[") + JsonString(AnsiToUtf8(name)) + "," +
                JsonString(AnsiToUtf8(text)) + "]";
    }
    json += "]";
    GVariantDict arguments;
    g_variant_dict_init(&arguments, nullptr);
    g_variant_dict_insert(&arguments, "pairs", "s", json.c_str());
    CallScript(PageScript::SetInnerTextsBody(), g_variant_dict_end(&arguments), nullptr);
}

void GtkBrowserWindow::Stop() {
    // A request stopped before its document arrived leaves the old document shown.
    if (m_awaitingOwnStart || (m_ownLoad && !m_committed)) {
        m_fromRequest = false;
    }
    m_awaitingOwnStart = false;
    webkit_web_view_stop_loading(m_view);
}

std::string GtkBrowserWindow::Location() const {
    if (m_fromRequest) {
        return m_requested;
    }
    // Before any document of its own the view shows an empty page.
    return m_engineUri.empty() ? std::string("about:blank") : Utf8ToAnsi(m_engineUri);
}

void GtkBrowserWindow::CallScript(const std::string& body, GVariant* arguments,
                                  std::function<void(JSCValue*)> onResult) {
    auto* call = new ScriptCall{m_alive, std::move(onResult)};
    webkit_web_view_call_async_javascript_function(
        m_view, body.c_str(), static_cast<gssize>(body.size()), arguments, PageScript::kWorld,
        nullptr, m_cancel,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
                WEBKIT_WEB_VIEW(source), result, &error);
            if (error != nullptr) {
                Logger::Debug(std::string("kiosk page script failed: ") + error->message);
                g_error_free(error);
            }
            if (*call->alive && call->onResult) {
                Guarded("GtkBrowserWindow script", [&] { call->onResult(value); });
            }
            if (value != nullptr) {
                g_object_unref(value);
            }
        },
        call);
}

void GtkBrowserWindow::Complete(const LayoutValues& layout, bool failed) {
    DocumentInfo info;
    info.generation = ++m_generation;
    info.location = Location();
    info.layout = layout;
    info.failed = failed;
    m_bound = true;
    PostEvent([info](BrowserWindowEvents& events) { events.OnDocumentComplete(info); });
}

// ---- signals ----

gboolean GtkBrowserWindow::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    const KeyInfo key = KeyFromGdk(event->keyval, event->state);
    // A modifier on its own is part of the chord that follows (Alt of Alt+F6), not a key of its
    // own for the kiosk.
    const bool advertisement = window->m_spec.kind == WindowKind::Advertisement;
    if (event->is_modifier != 0 && !advertisement) {
        return FALSE;
    }
    window->PostEvent([key](BrowserWindowEvents& events) { events.OnKeyDown(key); });
    if (advertisement) {
        return TRUE;  // no key reaches an advertisement's page
    }
    const auto& swallowed = window->m_spec.swallowedKeys;
    return std::find(swallowed.begin(), swallowed.end(), key) != swallowed.end() ? TRUE : FALSE;
}

gboolean GtkBrowserWindow::OnMotion(GtkWidget*, GdkEventMotion*, gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    // One notice for a burst of moves: the core only restarts its idle timers.
    if (!window->m_mouseMovePosted) {
        window->m_mouseMovePosted = true;
        window->PostEvent([window](BrowserWindowEvents& events) {
            window->m_mouseMovePosted = false;
            events.OnMouseMove();
        });
    }
    return FALSE;
}

gboolean GtkBrowserWindow::OnButton(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    // One notice per press; the release and double-click events are swallowed as well, so the
    // page sees no part of the click.
    if (event->type == GDK_BUTTON_PRESS) {
        ClickInfo click;
        click.generation = window->m_generation;
        window->PostEvent(
            [click = std::move(click)](BrowserWindowEvents& events) { events.OnClick(click); });
    }
    return TRUE;
}

gboolean GtkBrowserWindow::OnScroll(GtkWidget*, GdkEventScroll*, gpointer) {
    return TRUE;
}

void GtkBrowserWindow::OnMonitorsChanged(GdkScreen*, gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    // After the desktop has read the new screen.
    window->m_screens.Loop().Post([window, alive = window->m_alive] {
        if (*alive) {
            window->CoverScreen();
        }
    });
}

gboolean GtkBrowserWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkBrowserWindow*>(self)->PostEvent(
        [](BrowserWindowEvents& events) { events.OnCloseBox(); });
    return TRUE;  // the core decides; the window stays
}

void GtkBrowserWindow::OnActiveChanged(GObject*, GParamSpec*, gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    const bool active = gtk_window_is_active(window->m_window) != FALSE;
    const bool became = active && !window->m_active;
    window->m_active = active;
    if (became) {
        window->PostEvent([](BrowserWindowEvents& events) { events.OnActivate(); });
    }
}

gboolean GtkBrowserWindow::OnConfigure(GtkWidget*, GdkEventConfigure*, gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    window->LearnFrameExtents();
    return FALSE;
}

gboolean GtkBrowserWindow::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                          WebKitPolicyDecisionType type, gpointer) {
    switch (type) {
        case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
            WebKitNavigationAction* action =
                webkit_navigation_policy_decision_get_navigation_action(
                    WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            // The kiosk keeps no history: back and forward lead nowhere.
            if (webkit_navigation_action_get_navigation_type(action) ==
                WEBKIT_NAVIGATION_TYPE_BACK_FORWARD) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            return FALSE;
        }
        case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
            // A new window would escape the lock.
            webkit_policy_decision_ignore(decision);
            return TRUE;
        case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
            // What the view cannot show would become a download onto the workstation.
            if (webkit_response_policy_decision_is_mime_type_supported(
                    WEBKIT_RESPONSE_POLICY_DECISION(decision)) == FALSE) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

GtkWidget* GtkBrowserWindow::OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) {
    return nullptr;  // window.open is refused
}

gboolean GtkBrowserWindow::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                         WebKitHitTestResult*, gpointer self) {
    return static_cast<GtkBrowserWindow*>(self)->m_spec.blockContextMenu ? TRUE : FALSE;
}

void GtkBrowserWindow::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    switch (event) {
        case WEBKIT_LOAD_STARTED: {
            ++window->m_loadSerial;
            window->m_ownLoad = window->m_awaitingOwnStart;
            window->m_awaitingOwnStart = false;
            window->m_committed = false;
            window->m_loadFailed = false;
            // Clicks of the old document no longer count.
            window->m_bound = false;
            const gchar* uri = webkit_web_view_get_uri(view);
            std::string url =
                window->m_ownLoad ? window->m_requested : Utf8ToAnsi(uri != nullptr ? uri : "");
            window->PostEvent([url](BrowserWindowEvents& events) { events.OnNavigating(url); });
            break;
        }
        case WEBKIT_LOAD_COMMITTED: {
            window->m_committed = true;
            const gchar* uri = webkit_web_view_get_uri(view);
            window->m_engineUri = uri != nullptr ? uri : "";
            window->m_fromRequest = window->m_ownLoad;
            break;
        }
        case WEBKIT_LOAD_FINISHED: {
            if (window->m_loadFailed) {
                break;  // the failure has completed it already
            }
            const std::uint64_t serial = window->m_loadSerial;
            // A server's error page loads like any other: its status tells it apart (local
            // files have none).
            bool failed = false;
            if (WebKitWebResource* resource = webkit_web_view_get_main_resource(view)) {
                WebKitURIResponse* response = webkit_web_resource_get_response(resource);
                failed =
                    response != nullptr && webkit_uri_response_get_status_code(response) >= 400;
            }
            window->CallScript(PageScript::ReadLayoutBody(), nullptr,
                               [window, serial, failed](JSCValue* value) {
                                   if (serial != window->m_loadSerial) {
                                       return;  // another navigation started meanwhile
                                   }
                                   window->Complete(LayoutFrom(value), failed);
                               });
            break;
        }
        default:
            break;
    }
}

gboolean GtkBrowserWindow::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                        gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    const bool cancelled =
        g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) != FALSE;
    if (cancelled) {
        return TRUE;  // another navigation or a stop took its place: only the latest completes
    }
    Logger::Debug(std::string("kiosk page failed to load: ") + Utf8ToAnsi(uri ? uri : "") + ": " +
                  (error != nullptr ? error->message : ""));
    window->m_loadFailed = true;
    // The address asked for is not what is shown: the next status asks for it again. An address
    // the engine refuses outright (a blocked port) fails before its load starts.
    if (window->m_awaitingOwnStart || (window->m_ownLoad && !window->m_committed)) {
        window->m_fromRequest = false;
        window->m_awaitingOwnStart = false;
    }
    // The failed load completes without layout values; the old document stays shown (the
    // engine's own error page would carry the failed address as its location).
    window->Complete(LayoutValues{}, true);
    return TRUE;
}

void GtkBrowserWindow::OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                       gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    if (!window->m_bound) {
        return;  // the document is not complete, or another is on its way
    }
    JSCValue* message = webkit_javascript_result_get_js_value(result);
    ClickInfo click;
    click.generation = window->m_generation;
    JsProperty chain(message, "chain");
    const guint links = std::min<guint>(ArrayLength(chain.value), kMaxClickChain);
    for (guint i = 0; i < links; ++i) {
        JsProperty link(chain.value, i);
        ClickedElement element;
        JsProperty id(link.value, "id");
        element.id = TextOf(id.value).value_or("");
        JsProperty customer(link.value, "koCustomer");
        element.koCustomer = TextOf(customer.value);
        JsProperty fileName(link.value, "fileName");
        element.fileName = TextOf(fileName.value);
        click.chain.push_back(std::move(element));
    }
    JsProperty fields(message, "fields");
    const guint count = ArrayLength(fields.value);
    for (guint i = 0; i < count; ++i) {
        JsProperty field(fields.value, i);
        JsProperty id(field.value, "id");
        JsProperty state(field.value, "state");
        JsProperty value(field.value, "value");
        std::optional<std::string> name = TextOf(id.value);
        if (!name || state.value == nullptr) {
            continue;
        }
        FieldValue read;
        switch (jsc_value_to_int32(state.value)) {
            case 1:
                read = FieldValue::Present(TextOf(value.value).value_or(""));
                break;
            case 2:
                read = FieldValue::Ambiguous();
                break;
            default:
                break;
        }
        click.fields[*name] = std::move(read);
    }
    window->PostEvent(
        [click = std::move(click)](BrowserWindowEvents& events) { events.OnClick(click); });
}

gboolean GtkBrowserWindow::OnWebProcessTerminated(WebKitWebView* view,
                                                  WebKitWebProcessTerminationReason reason,
                                                  gpointer self) {
    auto* window = static_cast<GtkBrowserWindow*>(self);
    Logger::Error("the kiosk's web process ended (reason " + std::to_string(reason) +
                  "); reloading the page");
    // A blank window would leave the customer nothing to click: load the page again.
    window->m_bound = false;
    if (window->m_fromRequest && !window->m_requested.empty()) {
        window->Navigate(window->m_requested);
    } else {
        webkit_web_view_reload(view);
    }
    return FALSE;
}

}  // namespace ko
