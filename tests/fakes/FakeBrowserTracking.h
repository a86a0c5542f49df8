#pragma once

#include <cstddef>
#include <set>
#include <string>

#include "platform/BrowserTracking.h"

namespace ko {

// Plays the session's browsers: a test opens windows and navigates them; each navigation goes
// through the handler as a real browser's would.
class FakeBrowserTracking : public BrowserTracking {
  public:
    void SetHandler(Handler* handler) override { m_handler = handler; }
    Status CreateIECollection() override;
    void Stop() override;
    std::size_t TrackedCount() const override { return m_subscribed ? m_windows.size() : 0; }

    // What CreateIECollection answers (Tracking unless told otherwise).
    void SetStatus(Status status) { m_status = status; }
    std::size_t Subscriptions() const { return m_subscriptions; }
    bool Subscribed() const { return m_subscribed; }

    void OpenWindow(int window) { m_windows.insert(window); }
    void CloseWindow(int window) { m_windows.erase(window); }
    // Navigates window (opened first if needed) to url: asks the handler, then, unless it
    // cancelled, reports completion. Returns true when the navigation went ahead. Nothing is
    // asked while not subscribed: the browser navigates unseen.
    bool Navigate(int window, const std::string& url);
    bool Navigate(const std::string& url) { return Navigate(1, url); }

  private:
    Handler* m_handler = nullptr;
    Status m_status = Status::Tracking;
    std::size_t m_subscriptions = 0;
    bool m_subscribed = false;
    std::set<int> m_windows;
};

}  // namespace ko
