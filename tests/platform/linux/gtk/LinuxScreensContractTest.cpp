// The screens' contract, on GTK and WebKit under the test display: the pages come over HTTP in
// the workstation's code page, and the user's clicks and keys come through the X server.

#include <httplib.h>

#include <map>
#include <mutex>
#include <thread>

#include "ScreenTestSupport.h"
#include "platform/linux/AnsiText.h"

namespace ko {
namespace {

std::string KeyName(std::int32_t keyCode) {
    if (keyCode >= 112 && keyCode <= 135) {
        return "F" + std::to_string(keyCode - 111);
    }
    if ((keyCode >= 'A' && keyCode <= 'Z') || (keyCode >= '0' && keyCode <= '9')) {
        return std::string(1, static_cast<char>(std::tolower(keyCode)));
    }
    switch (keyCode) {
        case 13:
            return "Return";
        case 9:
            return "Tab";
        case 27:
            return "Escape";
        default:
            return "space";
    }
}

class LinuxScreensHarness : public KioskScreensHarness {
  public:
    LinuxScreensHarness() {
        m_screens = GtkKioskScreens::Open(m_loop);
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_pages.find(request.path);
            if (it == m_pages.end()) {
                response.status = 404;
                return;
            }
            response.set_content(it->second, "text/html; charset=windows-1252");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // A server stopped before it listens would listen for ever.
        while (m_port > 0 && !m_server.is_running()) {
            std::this_thread::yield();
        }
    }
    ~LinuxScreensHarness() override {
        m_server.stop();
        m_thread.join();
        m_screens.reset();
    }
    bool Ready() const { return m_screens != nullptr && m_port > 0; }

    EventLoop& Loop() override { return m_loop; }
    KioskScreens& Screens() override { return *m_screens; }

    std::string Serve(const std::string& path, const FakeDocument& page) override {
        const std::string route = path.substr(0, path.find('?'));
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pages[route] = page.ToHtml();
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string Unreachable() override {
        return "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/ws/wsMain.asp";
    }
    bool RunUntil(const std::function<bool()>& done, int timeoutMs) override {
        return RunFor(m_loop, timeoutMs, done);
    }

    bool Click(BrowserWindow& window, const std::string& id) override {
        auto& gtk = static_cast<GtkBrowserWindow&>(window);
        if (!WaitMapped(m_loop, gtk.NativeWindow())) {
            return false;
        }
        const std::string rect = EvaluateInPage(
            m_loop, gtk.NativeView(),
            "(function () { var e = document.getElementById('" + id +
                "'); if (!e) return ''; e.scrollIntoView(); var r = e.getBoundingClientRect();"
                " return Math.round(r.left + Math.min(r.width / 2, 5)) + ' ' +"
                " Math.round(r.top + Math.min(r.height / 2, 5)); })()");
        int x = 0;
        int y = 0;
        if (std::sscanf(rect.c_str(), "%d %d", &x, &y) != 2) {
            return false;
        }
        int left = 0;
        int top = 0;
        ClientOrigin(gtk.NativeWindow(), left, top);
        RunCommand("xdotool mousemove " + std::to_string(left + x) + " " + std::to_string(top + y) +
                   " click 1");
        return true;
    }

    bool PressKey(BrowserWindow& window, std::int32_t keyCode, std::int32_t shift) override {
        auto& gtk = static_cast<GtkBrowserWindow&>(window);
        if (!WaitMapped(m_loop, gtk.NativeWindow())) {
            return false;
        }
        std::string chord;
        if ((shift & 2) != 0) {
            chord += "ctrl+";
        }
        if ((shift & 4) != 0) {
            chord += "alt+";
        }
        if ((shift & 1) != 0) {
            chord += "shift+";
        }
        const std::string xid = std::to_string(XidOf(gtk.NativeWindow()));
        RunCommand("xdotool windowactivate --sync " + xid + " key " + chord + KeyName(keyCode));
        return true;
    }

    std::optional<std::string> InnerText(BrowserWindow& window, const std::string& id) override {
        auto& gtk = static_cast<GtkBrowserWindow&>(window);
        const std::string text = EvaluateInPage(
            m_loop, gtk.NativeView(),
            "(function () { var e = document.querySelector('[id=\"" + id + "\"],[name=\"" + id +
                "\"]'); return e ? '+' + e.innerText : '-'; })()");
        if (text.empty() || text[0] != '+') {
            return std::nullopt;
        }
        return Utf8ToAnsi(text.substr(1));
    }

  private:
    LinuxEventLoop m_loop;
    std::unique_ptr<GtkKioskScreens> m_screens;
    httplib::Server m_server;
    int m_port = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_pages;
};

std::unique_ptr<KioskScreensHarness> MakeLinuxHarness() {
    auto harness = std::make_unique<LinuxScreensHarness>();
    if (!harness->Ready()) {
        return nullptr;
    }
    return harness;
}

INSTANTIATE_TEST_SUITE_P(Linux, KioskScreensContract,
                         testing::Values(KioskScreensHarnessFactory(MakeLinuxHarness)));

}  // namespace
}  // namespace ko
