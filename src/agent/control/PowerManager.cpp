#include "agent/control/PowerManager.h"

#include <string>

#include "agent/control/ControlContext.h"
#include "agent/control/hookModule.h"
#include "agent/core/ServerLink.h"
#include "agent/core/wsClient.h"
#include "platform/Power.h"
#include "shared/Logger.h"

namespace ko {

PowerManager::PowerManager(ControlContext& context, hookModule& hooks)
    : m_ctx(context), m_hooks(hooks) {}

void PowerManager::ShutDown() {
    GoDown("shut down", [this] { return m_ctx.power.PowerOff(); });
}

void PowerManager::Restart() {
    GoDown("restart", [this] { return m_ctx.power.Reboot(); });
}

void PowerManager::LogOffUser() {
    const ActionResult result = m_ctx.power.LogOff();
    Logger::Debug("power: log-off: " + std::string(ActionResultText(result)));
}

void PowerManager::GoDown(const char* what, const std::function<ActionResult()>& call) {
    if (m_ctx.link != nullptr) {
        m_ctx.link->CloseSocket();
    }
    m_hooks.RemoveShellHooks();
    const ActionResult result = call();
    Logger::Info(std::string("power: ") + what + ": " + std::string(ActionResultText(result)));
    if (result == ActionResult::Done || m_ctx.stopping) {
        return;
    }
    m_hooks.InstallShellHooks();
    wsClient* client = m_ctx.client;
    if (client == nullptr || m_ctx.link == nullptr) {
        return;
    }
    // The link was closed without a notice: the workstation counts as cut off from the server,
    // as after any lost link, and a new connection starts at once.
    client->SocketConnection = false;
    client->wsState = -1;
    client->updateState();
    m_ctx.link->Reconnect();
}

}  // namespace ko
