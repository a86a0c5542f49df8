#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ChannelPort.h"
#include "shared/LoopTimer.h"
#include "shared/MessageChannel.h"

namespace ko {
class BrowserTracking;
class EventLoop;
class RegistryModule;
class SessionJobs;
class ShellJobs;
class SystemInfo;
class XmlDocument;
}  // namespace ko

namespace ko::watcher {

class wsClient;

// What the watcher runs on; src/app chooses the adapters.
struct WatcherPlatform {
    EventLoop& loop;
    SystemInfo& system;
    RegistryModule& registry;  // read only: the agent's settings
    XmlDocument& document;
    BrowserTracking& browsers;
    ShellJobs& shell;
    ChannelPort& channel;
};

// The watcher's main form, "Ostrel Exe", never shown: it starts the watcher, finds the agent and
// announces itself, receives the agent's messages and ends the program.
//
// The agent's messages arrive while the agent waits in its send, and some arrive while the
// watcher itself waits in one. So each handler only takes the message's text and queues its work
// to run from the loop after the handler has returned, in the order the messages came: the agent
// is answered at once, and nothing the work does (a browser subscription, a disk search, the end
// of the program) runs beneath a send that is still on the stack.
class frmLogon : public ChannelPort::Receiver {
  public:
    // The agent is looked for every 10 s; after 31 attempts every minute, for as long as the
    // watcher runs: an agent that starts late, or starts again, is still found.
    static constexpr std::uint32_t kConnectIntervalMs = 10000;
    static constexpr std::uint32_t kSlowConnectIntervalMs = 60000;
    static constexpr std::int16_t kQuickAttempts = 31;

    explicit frmLogon(WatcherPlatform& platform);
    ~frmLogon() override;
    frmLogon(const frmLogon&) = delete;
    frmLogon& operator=(const frmLogon&) = delete;

    // The start. False when another copy runs in this session: the program ends at once.
    bool Load();
    // Unloading ends the program: the browsers are let go, the message window given back and the
    // loop told to end. Safe to call twice.
    void Unload();

    // Renews the browser subscription; browsers already followed stay followed.
    void CreateIECollection();

    // The receiving window procedure.
    void OnWindowMessage(const ChannelPort::Incoming& message) override;

    bool ServiceConnected() const { return m_serviceConnected; }
    std::int16_t ConnectAttempts() const { return m_connectAttempts; }
    ChannelPort::WindowHandle OwnWindow() const { return m_ownWindow; }
    ChannelPort::WindowHandle AgentWindow() const { return m_agentWindow; }
    const LoopTimer& tmrServiceConnect() const { return *m_tmrServiceConnect; }
    wsClient* Client() { return m_client.get(); }
    bool Loaded() const { return m_loaded; }

  private:
    // Lets go of the browsers and the message window; false when nothing was loaded.
    bool Release();
    void OnConnectTick();
    void Announce();
    // While connected the agent's window is checked at every tick: an agent that went away and
    // came back (a crash, a recovery) without telling the watcher gets a new window, and the
    // watcher must announce itself to the new one.
    void WatchAgent();
    void MarkConnected(ChannelPort::WindowHandle sender);
    // Runs work from the loop after the current handler, unless the form has been unloaded.
    void Later(const char* what, std::function<void()> work);
    void SendMessageToService(MessageChannel::Message message, const std::string& text);

    WatcherPlatform& m_platform;
    MessageChannel m_channel;
    std::unique_ptr<wsClient> m_client;
    std::unique_ptr<SessionJobs> m_jobs;
    std::unique_ptr<LoopTimer> m_tmrServiceConnect;
    ChannelPort::WindowHandle m_ownWindow = 0;
    ChannelPort::WindowHandle m_agentWindow = 0;
    bool m_serviceConnected = false;
    std::int16_t m_connectAttempts = 0;
    bool m_loaded = false;
    bool m_trackingReported = false;
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

}  // namespace ko::watcher
