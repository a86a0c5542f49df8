#include "agent/core/AgentChannel.h"

#include <optional>

#include "agent/core/AgentWindowHandler.h"
#include "agent/core/wsClient.h"
#include "agent/messages/MessageWindow.h"
#include "agent/messages/WatcherRefusal.h"
#include "platform/EventLoop.h"
#include "platform/Processes.h"
#include "platform/UserSession.h"
#include "shared/AsciiCase.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

using Message = MessageChannel::Message;

// A "|" inside a reported address would shift the fields of the server's message.
std::string EscapeSeparators(const std::string& url) {
    std::string escaped;
    escaped.reserve(url.size());
    for (char c : url) {
        if (c == '|') {
            escaped += "%7C";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

AgentChannel::AgentChannel(EventLoop& loop, ChannelPort& port, MessageWindow& messages,
                           ClientAccess client)
    : m_loop(loop),
      m_port(port),
      m_channel(port),
      m_messages(messages),
      m_client(std::move(client)) {}

AgentChannel::~AgentChannel() {
    // The window's own procedure comes back when the program ends.
    m_port.SetPeerAccountCheck(nullptr);
    m_port.DestroyOwnWindow();
}

void AgentChannel::AdmitSessionUserOf(UserSession* session) {
    if (session == nullptr) {
        m_port.SetPeerAccountCheck(nullptr);
        return;
    }
    // Asked when a process connects: the user may have changed since the last one.
    m_port.SetPeerAccountCheck([session](const std::string& sid) {
        const std::optional<SessionUser> user = session->LoggedOnUser();
        return user && !user->sid.empty() && EqualsIgnoringAsciiCase(user->sid, sid);
    });
}

void AgentChannel::RegisterMessages() {
    if (!m_channel.RegisterAll()) {
        Logger::Error("channel: not every message could be registered; the rest are tried later");
    }
}

void AgentChannel::CreateMessageWindow(const std::string& windowName) {
    if (!m_port.CreateOwnWindow(windowName, this)) {
        Logger::Error("channel: no message window: the watcher cannot reach the agent");
        return;
    }
    AdmitWatcherMessages();
}

void AgentChannel::AdmitWatcherMessages() {
    for (Message message :
         {Message::KOW_CONNECTION, Message::KOW_DISALLOWEDURL, Message::KOW_Disallowed_URL}) {
        if (const std::uint32_t number = m_channel.Number(message); number != 0) {
            m_port.AdmitMessage(number);
        }
    }
}

void AgentChannel::SendMessageToExe(const std::string& messageName, const std::string& text) {
    const auto message = MessageChannel::FromName(messageName);
    if (!message) {
        Logger::Error("channel: no message is named " + messageName);
        return;
    }
    const auto result = m_channel.SendMessageToExe(m_watcherWindow, *message, text);
    if (result == ChannelPort::SendResult::TimedOut) {
        Logger::Error(std::string("channel: the watcher did not answer ") + messageName +
                      " in time");
    } else if (result == ChannelPort::SendResult::Failed) {
        Logger::Info(std::string("channel: ") + messageName + " did not reach the watcher");
    }
}

std::int32_t AgentChannel::CurrentState() {
    wsClient* client = m_client ? m_client() : nullptr;
    // Before the start routine has made the client there is no server: state -1.
    return client != nullptr ? client->wsState : -1;
}

void AgentChannel::OnWindowMessage(const ChannelPort::Incoming& message) {
    // Tested in this order, one after the other; a registration that failed is tried again.
    bool handled = false;
    if (message.number != 0 && message.number == m_channel.Number(Message::KOW_CONNECTION)) {
        handled = true;
        Guarded("KOW_CONNECTION", [&] { OnConnection(message.text, message.wParam); });
    }
    if (message.number != 0 && message.number == m_channel.Number(Message::KOW_DISALLOWEDURL)) {
        handled = true;
        Guarded("KOW_DISALLOWEDURL", [&] { OnRefusedUrl(message.text, message.duringSend); });
    }
    if (message.number != 0 && message.number == m_channel.Number(Message::KOW_Disallowed_URL)) {
        handled = true;
        Guarded("KOW_Disallowed_URL", [&] { OnVisitedUrl(message.text); });
    }
    if (!handled && m_handler != nullptr) {
        Guarded("agent window", [&] { m_handler->OnAgentWindowMessage(message); });
    }
}

void AgentChannel::OnConnection(const std::string& text, std::uintptr_t sender) {
    const auto handle = MessageChannel::NumberOfText(text);
    // A watcher announces its own window, which is also the message's sender; a text naming
    // any other window is not an announcement.
    const auto senderHandle =
        static_cast<ChannelPort::WindowHandle>(static_cast<std::uint32_t>(sender));
    if (!handle || *handle == 0 || *handle != senderHandle || !m_port.IsWindow(*handle)) {
        Logger::Info("channel: an announcement that names no window: " + text);
        return;
    }
    if (m_watcherWindow != 0 && m_watcherWindow != *handle && m_port.IsWindow(m_watcherWindow)) {
        // Another watcher announces itself while the first still runs (a second session): the
        // newer one is served, and the first is told to close rather than left filtering with
        // an old list and never hearing that the agent stops.
        Logger::Info("channel: a new watcher replaces " + std::to_string(m_watcherWindow));
        m_channel.SendMessageToExe(m_watcherWindow, Message::KOW_CLOSEWS, "");
    }
    m_watcherWindow = *handle;
    if (m_processes != nullptr) {
        ProtectWatcher(*handle);
    }
    m_channel.SendMessageToExe(m_watcherWindow, Message::KOW_Update_State,
                               std::to_string(CurrentState()));
}

void AgentChannel::ProtectWatcher(ChannelPort::WindowHandle window) {
    // Any program may announce a window; only the watcher program is kept from being ended, so
    // that a customer's program cannot shield itself by announcing itself.
    const std::uint32_t id = m_port.ProcessOfWindow(window);
    const std::optional<ProcessInfo> process =
        id != 0 ? m_processes->Find(id) : std::optional<ProcessInfo>();
    if (!process) {
        Logger::Info("channel: the watcher's process is unknown; it is not protected");
        return;
    }
    const std::size_t slash = process->executable.find_last_of("\\/");
    const std::string name = AsciiLower(
        slash == std::string::npos ? process->executable : process->executable.substr(slash + 1));
    if (name != "kowatch" && name != "kowatch.exe") {
        Logger::Info("channel: process " + std::to_string(id) + " (" + process->executable +
                     ") announced a watcher but is not the watcher program; it is not protected");
        return;
    }
    m_processes->Protect(id);
    Logger::Debug("channel: the watcher's process " + std::to_string(id) + " is never ended");
}

void AgentChannel::OnRefusedUrl(const std::string& text, bool duringSend) {
    if (text.empty()) {
        return;
    }
    auto show = [this, url = text] { ShowDisallowedUrl(m_messages, url); };
    if (duringSend) {
        // The box is modal: inside our own send it would hold that send, and the watcher's
        // handler under it, until the customer closes it.
        m_loop.Post([show] { Guarded("KOW_DISALLOWEDURL", show); });
    } else {
        show();
    }
}

void AgentChannel::OnVisitedUrl(const std::string& text) {
    wsClient* client = m_client ? m_client() : nullptr;
    if (text.empty() || client == nullptr) {
        return;
    }
    client->ReportUrl(EscapeSeparators(text));
}

}  // namespace ko
