#include "agent/kiosk/Kiosk.h"

#include "agent/core/AgentGlobals.h"
#include "agent/core/wsClient.h"
#include "agent/messages/MessageWindow.h"
#include "platform/EventLoop.h"
#include "platform/KioskScreens.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

Kiosk::Kiosk(EventLoop& loop, AgentGlobals& globals, RegistryModule& registry,
             MessageWindow& messages, Advertising& advertising, WatcherChannel& watcher,
             KioskScreensSource* source)
    : m_context{loop, globals, registry, messages, advertising, watcher},
      m_source(source),
      m_logonUser(m_context),
      m_changePassword(m_context),
      m_serviceOrder(m_context),
      m_customerHistory(m_context),
      m_netConfig(m_context),
      m_main(m_context, KioskForms{m_logonUser, m_changePassword, m_serviceOrder, m_customerHistory,
                                   m_netConfig}),
      m_tmrScreens(loop, [this] { OpenScreens(); }) {
    m_tmrScreens.SetInterval(kScreensRetryMs);
    OpenScreens();
}

Kiosk::~Kiosk() {
    if (m_context.screens != nullptr) {
        m_context.screens->GetDesktop().SetEvents(nullptr);
    }
}

void Kiosk::OpenScreens() {
    m_tmrScreens.SetEnabled(false);
    if (m_source == nullptr) {
        return;
    }
    if (m_context.screens == nullptr) {
        switch (m_source->Open()) {
            case KioskScreensSource::Availability::Unsupported:
                m_supported = false;
                Logger::Info("kiosk: no display here, the kiosk screens are not supported");
                return;
            case KioskScreensSource::Availability::NotYet:
                m_supported = true;
                Logger::Debug("kiosk: the display does not answer yet");
                m_tmrScreens.SetEnabled(true);
                return;
            case KioskScreensSource::Availability::Ready:
                break;
        }
        m_supported = true;
        m_context.screens = m_source->Screens();
        if (m_context.screens == nullptr) {
            return;
        }
        m_context.screens->GetDesktop().SetEvents(this);
    }
    if (m_main.Attach()) {
        Logger::Info("kiosk: showing on the display");
    } else {
        m_tmrScreens.SetEnabled(true);  // the main window, again later
    }
}

void Kiosk::SetClient(wsClient* client, ServerLink* link) {
    m_context.client = client;
    m_context.link = link;
}

std::string Kiosk::LocationName() {
    std::string name = LocationURL();
    name = name.substr(0, name.find('?'));
    const auto slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

void Kiosk::UnloadForms() {
    m_logonUser.Unload();
    m_changePassword.Unload();
    m_serviceOrder.Unload();
    m_customerHistory.Unload();
    m_netConfig.Unload();
    m_context.messages.Unload();
    for (const auto& unload : m_otherForms) {
        Guarded("unload form", unload);
    }
}

std::string Kiosk::IsOwnWindow(std::uint64_t handle) {
    return m_context.screens != nullptr ? m_context.screens->FormOfWindow(handle) : std::string();
}

std::vector<std::pair<std::string, std::string>> Kiosk::BillingTexts() const {
    std::vector<std::pair<std::string, std::string>> texts;
    const wsClient* client = m_context.client;
    if (client == nullptr) {
        return texts;
    }
    const RegionalSettings& regional = m_context.globals.regional;
    texts.reserve(8);
    texts.emplace_back("lblLogonTime", client->LogonTime);
    texts.emplace_back("lblElapsedTime", client->ElapsedTime);
    texts.emplace_back("lblAmount", client->amount);
    // A negative remainder shows as a blank; a figure that does not read leaves the label.
    if (auto remaining = NumberRules::ToInt16(client->RemainingTime, regional)) {
        texts.emplace_back("lblRemainingTime", *remaining < 0 ? " " : client->RemainingTime);
    }
    if (auto remaining = NumberRules::ToDouble(client->RemainingAmount, regional)) {
        texts.emplace_back("lblRemainingAmount", *remaining < 0 ? " " : client->RemainingAmount);
    }
    texts.emplace_back("lblTotalBilled", client->TotalBilled);
    texts.emplace_back("lblTotalPayment", client->TotalPayment);
    texts.emplace_back("lblBalance", client->Balance);
    return texts;
}

void Kiosk::UpdateBillingInformation() {
    m_main.SetInnerTexts(BillingTexts());
}

void Kiosk::OnDisplayChanged() {
    Guarded("display changed", [this] { m_main.PosForm(); });
}

void Kiosk::OnDisplayLost() {
    Logger::Error("kiosk: the display is gone; the agent ends so that it can start again");
    m_context.loop.Quit(kDisplayLostExitCode);
}

}  // namespace ko
