#include "ScreenTestSupport.h"

#include <arpa/inet.h>
#include <gdk/gdkx.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ko {

std::string EvaluateInPage(LinuxEventLoop& loop, WebKitWebView* view, const std::string& script) {
    struct Result {
        bool done = false;
        std::string text;
    } result;
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* async, gpointer data) {
            auto* out = static_cast<Result*>(data);
            JSCValue* value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), async, nullptr);
            if (value != nullptr) {
                gchar* text = jsc_value_to_string(value);
                out->text = text != nullptr ? text : "";
                g_free(text);
                g_object_unref(value);
            }
            out->done = true;
        },
        &result);
    RunFor(loop, 10000, [&] { return result.done; });
    return result.text;
}

bool WaitMapped(LinuxEventLoop& loop, GtkWindow* window) {
    GtkWidget* widget = GTK_WIDGET(window);
    bool mapped = RunFor(loop, 5000, [&] { return gtk_widget_get_mapped(widget) != FALSE; });
    // The window manager reparents and places the window after the map.
    RunFor(loop, 300, [] { return false; });
    return mapped;
}

unsigned long XidOf(GtkWindow* window) {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
    return gdkWindow != nullptr ? GDK_WINDOW_XID(gdkWindow) : 0;
}

void ClientOrigin(GtkWindow* window, int& x, int& y) {
    x = y = 0;
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
    if (gdkWindow != nullptr) {
        gdk_window_get_origin(gdkWindow, &x, &y);
    }
}

int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

void ScreenTest::SetUp() {
    m_screens = GtkKioskScreens::Open(m_loop);
    ASSERT_NE(m_screens, nullptr) << "the test display does not answer";
    char folder[] = "/tmp/ko-screens-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    m_folder = folder;
}

void ScreenTest::TearDown() {
    m_windows.clear();
    m_screens.reset();
    RunCommand("rm -rf '" + m_folder + "'");
}

std::string ScreenTest::WritePage(const std::string& name, const std::string& html) {
    const std::string path = m_folder + "/" + name;
    std::ofstream(path, std::ios::binary) << html;
    return path;
}

GtkBrowserWindow& ScreenTest::CreateWindow(RecordedWindow& events, BrowserWindowSpec spec) {
    m_windows.push_back(m_screens->CreateBrowserWindow(spec, events));
    return static_cast<GtkBrowserWindow&>(*m_windows.back());
}

bool ScreenTest::Load(GtkBrowserWindow& window, RecordedWindow& events, const std::string& url) {
    const std::size_t before = events.completed.size();
    window.Navigate(url);
    return RunFor(m_loop, 15000, [&] { return events.completed.size() > before; });
}

}  // namespace ko
