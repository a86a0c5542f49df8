#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/TcpClientSocket.h"
#include "shared/LoopTimer.h"

namespace ko {

class Advertising;
class EventLoop;
class RegistryModule;
class SystemInfo;
class wsClient;
struct AgentGlobals;

// The agent's one TCP connection to the cafe server (the socket `sock` and the timer
// `tmrReconnect` of the main form): connect and hello, receive and hand on, send one message at a
// time, reconnect every 10 seconds while the link is down, and treat 210 s of silence as a lost
// link even while TCP says the connection is up.
class ServerLink : private TcpClientSocket::Handler {
  public:
    static constexpr std::uint32_t kReconnectIntervalMs = 10000;
    // Messages waiting for the one send in flight; a link that cannot drain this many is broken.
    static constexpr std::size_t kMaxQueuedMessages = 64;
    // The gap before a waiting message follows the one before it, so that a server that reads the
    // link without framing still gets each message in a read of its own.
    static constexpr std::uint32_t kQueuedSendGapMs = 100;

    ServerLink(EventLoop& loop, TcpClientSocket& socket, RegistryModule& registry,
               SystemInfo& system, AgentGlobals& globals, Advertising& advertising);
    ~ServerLink() override;
    ServerLink(const ServerLink&) = delete;
    ServerLink& operator=(const ServerLink&) = delete;

    // The workstation object, once the start routine has created it; until then the link's
    // handlers do nothing useful.
    void SetClient(wsClient* client) { m_client = client; }

    // Encodes a plain message text and sends it.
    void SendMessageText(const std::string& text);
    // Sends an already encoded text when no send is in flight. A message that arrives while one
    // is in flight waits for it (in order) instead of being dropped, so a ping can no longer eat a
    // customer's logon request. Returns whether the text was handed to the socket now.
    bool SendToServer(const std::string& encoded);
    // Opens a new connection when the workstation is in state -1.
    void Reconnect();
    // Closes the socket without any notice (before shutting down or restarting).
    void CloseSocket();

    bool ReadyToSend() const { return m_readyToSend; }
    void SetReadyToSend(bool ready) { m_readyToSend = ready; }
    std::size_t QueuedMessages() const { return m_queue.size(); }

    // The tick of tmrReconnect, every 10 seconds.
    void OnReconnectTimer();

  private:
    void OnConnect() override;
    void OnDataArrival(std::size_t bytesTotal) override;
    void OnSendComplete() override;
    void OnClose() override;
    void OnError(int number, const std::string& description) override;

    // Handles the received messages in order, each as the server sent it.
    void HandleReceived();
    bool SendNow(const std::string& encoded);
    void SendNextQueued();
    void DropQueue();

    EventLoop& m_loop;
    TcpClientSocket& m_socket;
    RegistryModule& m_registry;
    SystemInfo& m_system;
    AgentGlobals& m_globals;
    Advertising& m_advertising;
    wsClient* m_client = nullptr;
    LoopTimer m_tmrReconnect;
    LoopTimer m_tmrSendNext;
    bool m_readyToSend = true;
    std::deque<std::string> m_queue;
    // Received messages not yet handled. A handler that shows a modal window lets later reads
    // run; they handle what an earlier read left here first, so the server's order holds.
    std::deque<std::string> m_received;
    // Tells a posted handling whether the link still exists.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // A handling of what is left in m_received waits in the loop.
    bool m_handlingPosted = false;
    // The identity text of the hello is read once, on the first connection, and kept.
    bool m_haveIdentity = false;
    std::string m_identity;
};

}  // namespace ko
