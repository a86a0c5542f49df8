#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/BrowserTracking.h"
#include "shared/MessageChannel.h"
#include "watcher/LogonSettingsDocument.h"
#include "watcher/ReportLimiter.h"

namespace ko {
class EventLoop;
class XmlDocument;
}  // namespace ko

namespace ko::watcher {

// Where the watcher finds the cafe server's pages and who it is there, read once at start.
struct WatcherSettings {
    std::string server;
    std::string httpPort;
    std::string workstationName;
};

// The watcher's workstation client: the agent's workstation state as the agent last told it,
// the logon settings document of the customer session with its list of disallowed addresses,
// and the filter every browser navigation goes through.
class wsClient : public BrowserTracking::Handler {
  public:
    // Sends one of the registered messages with its text to the agent.
    using Send = std::function<void(MessageChannel::Message message, const std::string& text)>;

    // createIECollection renews the browser subscription; closeClient unloads the main form.
    wsClient(EventLoop& loop, XmlDocument& document, WatcherSettings settings, Send send,
             std::function<void()> createIECollection, std::function<void()> closeClient);

    std::int16_t wsState = -1;
    std::int16_t oldWsState = -1;

    // A change to state 1 starts a customer session: the browsers are subscribed anew and the
    // session's logon settings are fetched. Any other change keeps the list in force.
    void updateState(std::int16_t newState);
    // The agent is stopping: the watcher ends.
    void CloseClient() { m_closeClient(); }

    // Refuses a navigation whose address holds a disallowed text, tested on the whole address as
    // the browser gave it and as a server would read it. The agent is told of a refusal (at most
    // one notice in 10 s), after this returns: the browser must not wait for the customer to
    // close the agent's box.
    void URLNavigation(const std::string& address, bool& cancel);
    // Reports a completed navigation to the agent, which passes it on to the server when the
    // cafe wants visited addresses.
    void NavigateComplete(const std::string& address) override;
    void BeforeNavigate(const std::string& url, bool& cancel) override {
        URLNavigation(url, cancel);
    }

    // "http://" + server + ":" + port + "/ws/wsLogonSettings.asp?wsName=" + the workstation name.
    std::string LogonSettingsAddress() const;
    const LogonSettingsDocument& koDom() const { return m_document; }
    const ReportLimiter& Reports() const { return m_reports; }
    const NoticeLimiter& Notices() const { return m_notices; }

  private:
    EventLoop& m_loop;
    WatcherSettings m_settings;
    Send m_send;
    std::function<void()> m_createIECollection;
    std::function<void()> m_closeClient;
    LogonSettingsDocument m_document;
    ReportLimiter m_reports;
    NoticeLimiter m_notices;
    // Tells a posted notice whether this object still exists.
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

}  // namespace ko::watcher
