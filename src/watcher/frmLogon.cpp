#include "watcher/frmLogon.h"

#include "platform/BrowserTracking.h"
#include "platform/EventLoop.h"
#include "platform/SessionJobs.h"
#include "platform/SystemInfo.h"
#include "shared/Guard.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"
#include "shared/RegistryModule.h"
#include "watcher/wsClient.h"

namespace ko::watcher {

using Message = MessageChannel::Message;

frmLogon::frmLogon(WatcherPlatform& platform) : m_platform(platform), m_channel(platform.channel) {}

frmLogon::~frmLogon() {
    Release();
}

bool frmLogon::Load() {
    // Another copy in this session already follows its browsers and the agent's messages.
    if (m_platform.system.AnotherInstanceRunning()) {
        Logger::Info("another copy of the watcher runs in this session");
        return false;
    }
    RegistryModule& registry = m_platform.registry;
    WatcherSettings settings;
    settings.server = registry.ReadSetting("NetConfig", "Server", "");
    settings.httpPort = registry.ReadSetting("NetConfig", "HttpPort", "");
    m_platform.browsers.SetHandler(nullptr);
    CreateIECollection();
    settings.workstationName = registry.ReadSetting("NetConfig", "WorkstationName", "");
    m_client = std::make_unique<wsClient>(
        m_platform.loop, m_platform.document, std::move(settings),
        [this](Message message, const std::string& text) { SendMessageToService(message, text); },
        [this] { CreateIECollection(); }, [this] { Unload(); });
    m_platform.browsers.SetHandler(m_client.get());
    // The agent records there the full path of every program whose window it has seen.
    m_jobs = std::make_unique<SessionJobs>(m_platform.loop, m_platform.shell,
                                           [&registry](const std::string& fileName) {
                                               return registry.ReadSetting("AppPath", fileName, "");
                                           });
    // The numbers of the messages that will arrive must be known before the first arrives.
    m_channel.RegisterAll();
    if (m_platform.channel.CreateOwnWindow(MessageChannel::kWatcherWindowName, this)) {
        m_ownWindow = m_platform.channel.OwnWindow();
    } else {
        Logger::Error("the watcher's message window could not be made");
    }
    m_connectAttempts = 0;
    m_serviceConnected = false;
    m_tmrServiceConnect = std::make_unique<LoopTimer>(
        m_platform.loop, [this] { Guarded("tmrServiceConnect", [this] { OnConnectTick(); }); });
    m_tmrServiceConnect->SetInterval(kConnectIntervalMs);
    m_tmrServiceConnect->SetEnabled(true);
    m_loaded = true;
    Logger::Info("watcher started; looking for the agent every " +
                 std::to_string(kConnectIntervalMs / 1000) + " s");
    return true;
}

void frmLogon::Unload() {
    if (Release()) {
        m_platform.loop.Quit(0);
        Logger::Info("watcher ended");
    }
}

bool frmLogon::Release() {
    if (!m_loaded) {
        return false;
    }
    m_loaded = false;
    m_life.reset();  // work queued by this form no longer runs
    if (m_tmrServiceConnect) {
        m_tmrServiceConnect->SetEnabled(false);
    }
    m_platform.browsers.SetHandler(nullptr);
    m_platform.browsers.Stop();
    m_platform.channel.DestroyOwnWindow();
    m_ownWindow = 0;
    return true;
}

void frmLogon::CreateIECollection() {
    const BrowserTracking::Status status = m_platform.browsers.CreateIECollection();
    // The adapter says itself where a platform cannot follow browsers at all.
    if (status == BrowserTracking::Status::Failed && !m_trackingReported) {
        m_trackingReported = true;
        Logger::Info("the session's browser windows cannot be followed");
    }
}

void frmLogon::OnConnectTick() {
    if (m_serviceConnected) {
        WatchAgent();
        return;
    }
    Announce();
}

void frmLogon::Announce() {
    if (m_connectAttempts < INT16_MAX) {
        ++m_connectAttempts;
    }
    if (m_connectAttempts == kQuickAttempts) {
        // From here on once a minute: a watcher that started long before the agent still finds it.
        m_tmrServiceConnect->SetInterval(kSlowConnectIntervalMs);
    }
    m_agentWindow = m_platform.channel.FindPeerWindow(MessageChannel::kAgentWindowName);
    SendMessageToService(Message::KOW_CONNECTION, std::to_string(m_ownWindow));
}

void frmLogon::WatchAgent() {
    const bool alive = m_platform.channel.IsWindow(m_agentWindow);
    const ChannelPort::WindowHandle current =
        m_platform.channel.FindPeerWindow(MessageChannel::kAgentWindowName);
    if (alive && current == m_agentWindow) {
        return;
    }
    Logger::Info("the agent's window changed; announcing the watcher again");
    m_serviceConnected = false;
    m_connectAttempts = 0;
    m_tmrServiceConnect->SetInterval(kConnectIntervalMs);
    if (current != 0) {
        Announce();
    }
}

void frmLogon::MarkConnected(ChannelPort::WindowHandle sender) {
    if (!m_serviceConnected) {
        Logger::Info("connected to the agent");
    }
    m_serviceConnected = true;
    if (sender != 0) {
        m_agentWindow = sender;
    }
    // The timer goes on at the quick pace, now only to notice an agent that went away.
    m_tmrServiceConnect->SetInterval(kConnectIntervalMs);
}

void frmLogon::SendMessageToService(Message message, const std::string& text) {
    const MessageChannel::SendResult result =
        m_channel.SendMessageToService(m_agentWindow, message, text);
    if (result != MessageChannel::SendResult::Delivered &&
        result != MessageChannel::SendResult::NoPeer) {
        Logger::Debug(std::string("sending ") + MessageChannel::Name(message) + " failed");
    }
}

void frmLogon::Later(const char* what, std::function<void()> work) {
    m_platform.loop.Post([life = std::weak_ptr<int>(m_life), what, work = std::move(work)] {
        if (life.lock()) {
            Guarded(what, work);
        }
    });
}

void frmLogon::OnWindowMessage(const ChannelPort::Incoming& incoming) {
    Guarded("frmLogon message", [&] {
        std::optional<Message> message = m_channel.Identify(incoming.number);
        if (!message && m_channel.RegisterAll()) {
            // A name that failed to register at the start may have a number by now.
            message = m_channel.Identify(incoming.number);
        }
        if (!message || !m_loaded) {
            return;
        }
        const auto sender = static_cast<ChannelPort::WindowHandle>(incoming.wParam);
        switch (*message) {
            case Message::KOW_Update_State: {
                MarkConnected(sender);
                // A state that is not a number reaches nothing: it would name no state.
                const std::optional<std::int16_t> state = NumberRules::ToInt16(incoming.text);
                if (!state) {
                    Logger::Debug("KOW_Update_State without a state: " + incoming.text);
                    return;
                }
                Later("updateState", [this, value = *state] { m_client->updateState(value); });
                return;
            }
            case Message::KOW_DELETE_IEC:
                Later("DeleteUrlCache", [this] { m_jobs->DeleteUrlCache(); });
                return;
            case Message::KOW_DELETE_IEH:
                Later("ClearUrlHistory", [this] { m_jobs->ClearUrlHistory(); });
                return;
            case Message::KOW_CLOSEWS:
                Later("CloseClient", [this] { m_client->CloseClient(); });
                return;
            case Message::KOW_CUPOLICY:
                MarkConnected(sender);
                Later("CreateIECollection", [this] { CreateIECollection(); });
                return;
            case Message::KOW_Run_Application:
                Later("KoRunScript",
                      [this, command = incoming.text] { m_jobs->KoRunScript(command); });
                return;
            default:
                return;  // the agent's own messages are not for this window
        }
    });
}

}  // namespace ko::watcher
