#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ChannelPort.h"
#include "shared/MessageChannel.h"
#include "shared/WatcherChannel.h"

namespace ko {

class AgentWindowHandler;
class EventLoop;
class MessageWindow;
class Processes;
class UserSession;
class wsClient;

// The agent's end of the channel: its message window, `WatcherWindow`, the receivers of the
// watcher's "KOW_CONNECTION", "KOW_DISALLOWEDURL" and "KOW_Disallowed_URL", and
// SendMessageToExe. Every other message of the window goes to the window handler.
class AgentChannel : public WatcherChannel, private ChannelPort::Receiver {
  public:
    using ClientAccess = std::function<wsClient*()>;

    AgentChannel(EventLoop& loop, ChannelPort& port, MessageWindow& messages, ClientAccess client);
    ~AgentChannel() override;
    AgentChannel(const AgentChannel&) = delete;
    AgentChannel& operator=(const AgentChannel&) = delete;

    // The hooks' handler; null until the workstation control sets it.
    void SetWindowHandler(AgentWindowHandler* handler) { m_handler = handler; }
    // The processes the agent may end: the watcher program's process is protected there once it
    // announces itself, so that closing a customer's programs never ends the session's watcher.
    // Null until set.
    void ProtectWatchersIn(Processes* processes) { m_processes = processes; }
    // Only the logged-on user's processes (and the system's) may reach the agent's window as the
    // watcher, where any local user could. Null: every account may.
    void AdmitSessionUserOf(UserSession* session);

    // WatcherChannel
    void RegisterMessages() override;
    void CreateMessageWindow(const std::string& windowName) override;
    void SendMessageToExe(const std::string& messageName, const std::string& text) override;

    ChannelPort::WindowHandle WatcherWindow() const { return m_watcherWindow; }
    ChannelPort::WindowHandle OwnWindow() const { return m_port.OwnWindow(); }
    MessageChannel& Channel() { return m_channel; }

  private:
    void OnWindowMessage(const ChannelPort::Incoming& message) override;
    void OnConnection(const std::string& text, std::uintptr_t sender);
    void ProtectWatcher(ChannelPort::WindowHandle window);
    void OnRefusedUrl(const std::string& text, bool duringSend);
    void OnVisitedUrl(const std::string& text);
    // The watcher's messages get through a filter that keeps lower-privileged senders out.
    void AdmitWatcherMessages();
    std::int32_t CurrentState();

    EventLoop& m_loop;
    ChannelPort& m_port;
    MessageChannel m_channel;
    MessageWindow& m_messages;
    ClientAccess m_client;
    AgentWindowHandler* m_handler = nullptr;
    Processes* m_processes = nullptr;
    ChannelPort::WindowHandle m_watcherWindow = 0;
};

}  // namespace ko
