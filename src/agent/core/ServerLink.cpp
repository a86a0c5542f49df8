#include "agent/core/ServerLink.h"

#include "agent/core/AgentGlobals.h"
#include "agent/core/OsVersionText.h"
#include "agent/core/wsClient.h"
#include "agent/messages/Advertising.h"
#include "platform/EventLoop.h"
#include "platform/SystemInfo.h"
#include "shared/Guard.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"
#include "shared/RegistryModule.h"
#include "shared/WireCodec.h"

namespace ko {

namespace {

constexpr std::size_t kMaxComputerName = 512;

// Only the code goes to the log: message texts carry customers' passwords.
std::string CodeOf(const std::string& text) {
    return text.substr(0, text.find('|'));
}

}  // namespace

ServerLink::ServerLink(EventLoop& loop, TcpClientSocket& socket, RegistryModule& registry,
                       SystemInfo& system, AgentGlobals& globals, Advertising& advertising)
    : m_loop(loop),
      m_socket(socket),
      m_registry(registry),
      m_system(system),
      m_globals(globals),
      m_advertising(advertising),
      m_tmrReconnect(loop, [this] { OnReconnectTimer(); }),
      m_tmrSendNext(loop, [this] { SendNextQueued(); }) {
    m_socket.SetHandler(this);
    m_tmrSendNext.SetInterval(kQueuedSendGapMs);
    m_tmrReconnect.SetInterval(kReconnectIntervalMs);
    m_tmrReconnect.SetEnabled(true);
}

ServerLink::~ServerLink() {
    m_socket.SetHandler(nullptr);
}

void ServerLink::SendMessageText(const std::string& text) {
    Logger::Debug("link: send code " + CodeOf(text));
    SendToServer(WireCodec::EncodeMessage(text));
}

bool ServerLink::SendToServer(const std::string& encoded) {
    if (!m_readyToSend || !m_queue.empty()) {
        if (m_queue.size() < kMaxQueuedMessages) {
            m_queue.push_back(encoded);
        } else {
            Logger::Error("link: send queue full, message dropped");
        }
        return false;
    }
    return SendNow(encoded);
}

bool ServerLink::SendNow(const std::string& encoded) {
    m_readyToSend = false;
    if (!m_socket.SendData(encoded)) {
        // No notice will follow a send that failed at once; without this every later message,
        // a customer's logon among them, would be dropped until the next connection.
        m_readyToSend = true;
        Logger::Debug("link: send failed");
        return false;
    }
    return true;
}

void ServerLink::SendNextQueued() {
    m_tmrSendNext.SetEnabled(false);
    if (m_readyToSend && !m_queue.empty()) {
        std::string next = std::move(m_queue.front());
        m_queue.pop_front();
        SendNow(next);
        // When that one failed at once, the next still waits its turn.
        if (m_readyToSend && !m_queue.empty()) {
            m_tmrSendNext.SetEnabled(true);
        }
    }
}

void ServerLink::DropQueue() {
    m_queue.clear();
    m_tmrSendNext.SetEnabled(false);
}

void ServerLink::Reconnect() {
    if (m_client == nullptr) {
        return;
    }
    m_client->oldWsState = -1;
    if (m_client->wsState != -1) {
        return;  // a connected workstation is not reconnected
    }
    m_globals.ServerName = m_registry.ReadSetting("NetConfig", "Server", "");
    m_globals.HttpPort = m_registry.ReadSetting("NetConfig", "HttpPort", "");
    CloseSocket();
    // The port was once read as a signed 16-bit number, which refused every port above 32767;
    // any TCP port from 1 to 65535 is taken now, and anything else still fails the attempt.
    std::optional<std::int32_t> port = NumberRules::ToInt32(
        m_registry.ReadSetting("NetConfig", "Port", "9678"), m_globals.regional);
    std::string server = m_registry.ReadSetting("NetConfig", "Server", "");
    m_globals.WorkstationName =
        m_registry.ReadSetting("NetConfig", "WorkstationName", m_socket.LocalHostName());
    if (!port || *port < 1 || *port > 65535) {
        Logger::Debug("link: the port setting is not a usable port");
        return;
    }
    Logger::Debug("link: connecting to " + server + ":" + NumberRules::Format(std::int64_t{*port}));
    if (!m_socket.Connect(server, static_cast<std::uint16_t>(*port))) {
        Logger::Debug("link: connection attempt failed at once");
    }
}

void ServerLink::CloseSocket() {
    m_socket.Close();
    DropQueue();
    // No notice follows a close, so no send can still be in flight; what the old connection
    // delivered and was not handled yet is no longer the server's word.
    m_readyToSend = true;
    m_received.clear();
}

void ServerLink::OnReconnectTimer() {
    if (m_client == nullptr) {
        return;  // the start routine has not created the workstation object yet
    }
    m_client->Timer += 10;
    if (!m_client->SocketConnection) {
        Reconnect();
    }
    // The server treats a workstation that stays silent for 210 s as gone, and so do we.
    std::optional<std::int32_t> minutes = NumberRules::ToInt32(m_client->Timer / 60.0);
    if (minutes && *minutes >= 4) {
        Logger::Debug("link: no data for 210 s, link lost");
        m_client->SocketConnection = false;
        m_client->wsState = -1;
        m_client->updateState();
    }
}

void ServerLink::OnConnect() {
    Guarded("link connect", [this] {
        if (m_client == nullptr) {
            return;
        }
        m_client->SocketConnection = true;
        std::string computerName = m_system.ComputerName().value_or("");
        if (computerName.size() > kMaxComputerName) {
            computerName.resize(kMaxComputerName);
        }
        std::string localIP = m_socket.LocalIP();
        std::string osText = OsVersionText(m_system);
        if (!m_haveIdentity) {
            m_identity = m_system.MachineIdentity();
            m_haveIdentity = true;
        }
        m_readyToSend = true;
        m_loop.PumpPending();
        SendMessageText("5|" + m_globals.WorkstationName + "|" + computerName + "|" + localIP +
                        "|" + osText + "|" + m_identity + "|");
    });
}

void ServerLink::OnDataArrival(std::size_t /*bytesTotal*/) {
    Guarded("link data", [this] {
        std::string data = m_socket.GetData();
        if (m_client == nullptr) {
            return;
        }
        m_client->SocketConnection = true;
        m_client->Timer = 0;
        // One read may carry several messages that queued up on the way; each is handled on its
        // own.
        for (std::string& piece : WireCodec::SplitReceived(data)) {
            m_received.push_back(std::move(piece));
        }
        HandleReceived();
    });
}

void ServerLink::HandleReceived() {
    while (!m_received.empty() && m_client != nullptr) {
        std::string text = WireCodec::DecodeMessage(m_received.front());
        m_received.pop_front();
        if (!m_received.empty() && !m_handlingPosted) {
            // A message that shows a modal window returns only when the customer has answered;
            // the rest of this read must not wait for that (nor for the server's next data):
            // the loop that runs meanwhile handles it. One such handling waits at a time.
            m_handlingPosted = true;
            m_loop.Post([this, alive = std::weak_ptr<bool>(m_alive)] {
                if (!alive.expired()) {
                    m_handlingPosted = false;
                    Guarded("link messages", [this] { HandleReceived(); });
                }
            });
        }
        Logger::Debug("link: received code " + CodeOf(text));
        // Each message has its own guard: one that fails must not keep the rest of the read
        // waiting for the next one.
        Guarded("link message", [&] { m_client->process(text); });
    }
}

void ServerLink::OnSendComplete() {
    Guarded("link send complete", [this] {
        m_readyToSend = true;
        if (!m_queue.empty()) {
            m_tmrSendNext.SetEnabled(true);
        }
    });
}

void ServerLink::OnClose() {
    Guarded("link close", [this] {
        Logger::Debug("link: closed by the server");
        CloseSocket();
        if (m_client == nullptr) {
            return;
        }
        m_client->SocketConnection = false;
        m_client->wsState = -1;
        m_advertising.DeactivateAdvertisements();
        m_client->updateState();
    });
}

void ServerLink::OnError(int number, const std::string& description) {
    Guarded("link error", [&] {
        Logger::Debug("link: error " + NumberRules::Format(std::int64_t{number}) + " " +
                      description);
        DropQueue();
        m_received.clear();
        m_readyToSend = true;
        if (m_client == nullptr) {
            return;
        }
        m_client->wsState = -1;
        m_client->updateState();
        m_client->SocketConnection = false;
    });
}

}  // namespace ko
