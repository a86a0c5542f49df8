#include "fakes/FakeBrowserTracking.h"

namespace ko {

BrowserTracking::Status FakeBrowserTracking::CreateIECollection() {
    ++m_subscriptions;
    m_subscribed = m_status == Status::Tracking;
    return m_status;
}

void FakeBrowserTracking::Stop() {
    m_subscribed = false;
}

bool FakeBrowserTracking::Navigate(int window, const std::string& url) {
    m_windows.insert(window);
    if (!m_subscribed || m_handler == nullptr) {
        return true;
    }
    bool cancel = false;
    m_handler->BeforeNavigate(url, cancel);
    if (cancel) {
        return false;
    }
    m_handler->NavigateComplete(url);
    return true;
}

}  // namespace ko
