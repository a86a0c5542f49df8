#pragma once

#include <windows.h>

#include <exdisp.h>

#include <map>
#include <memory>

#include "platform/BrowserTracking.h"
#include "platform/win32/ComPtr.h"

namespace ko {

class EventLoop;
class BrowserEventSink;
class ShellWindowsEventSink;

// Follows the browser and shell windows of the session through the shell's window list
// (ShellWindows) and each window's navigation events. Every browser in the list is followed
// exactly once: on every registration the list is walked and the browsers not followed yet are
// taken, so the windows open before the subscription are followed too, and a registration can
// never attach a second sink to a window already followed. The calling thread must have entered
// a COM apartment.
class Win32BrowserTracking : public BrowserTracking {
  public:
    explicit Win32BrowserTracking(EventLoop& loop);
    ~Win32BrowserTracking() override;
    Win32BrowserTracking(const Win32BrowserTracking&) = delete;
    Win32BrowserTracking& operator=(const Win32BrowserTracking&) = delete;

    void SetHandler(Handler* handler) override { m_handler = handler; }
    Status CreateIECollection() override;
    void Stop() override;
    std::size_t TrackedCount() const override { return m_browsers.size(); }

    // From the sinks, inside the browser's and the shell's own callbacks.
    void OnBeforeNavigate(const std::string& url, bool& cancel);
    void OnNavigateComplete(const std::string& url);
    void OnQuit(IUnknown* identity);
    void OnWindowRegistered(long cookie);
    void OnWindowRevoked(long cookie);

  private:
    // Logs a failure of the subscription the first time it happens in this run.
    void WarnOnce(const char* text);
    void ReleaseShellWindows();
    // Takes every browser of the list not followed yet; drops those no longer in it when
    // dropMissing.
    void Sync(bool dropMissing);
    void Drop(IUnknown* identity);

    EventLoop& m_loop;
    Handler* m_handler = nullptr;
    ComPtr<IShellWindows> m_shellWindows;
    ComPtr<IConnectionPoint> m_shellEvents;
    DWORD m_shellCookie = 0;
    ComPtr<ShellWindowsEventSink> m_shellSink;
    // KoWebBrowsers: the followed browsers by their COM identity.
    std::map<IUnknown*, ComPtr<BrowserEventSink>> m_browsers;
    // The registration cookie of each browser the shell announced, to drop it on revocation.
    std::map<long, IUnknown*> m_cookies;
    bool m_failureLogged = false;
    // Posted work of a tracker that is gone (or stopped) sees false.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace ko
