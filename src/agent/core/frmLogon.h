#pragma once

#include <memory>
#include <string>

#include "agent/core/LanguageStore.h"
#include "agent/core/ServerLink.h"
#include "agent/core/wsClient.h"
#include "platform/ServiceManager.h"

namespace ko {

class RegistryModule;
class ProgramSettings;
class WindowsLogonSettings;
struct AgentCapabilities;
struct AgentGlobals;
struct Platform;

// The agent's main form as the service host sees it: the start routine that brings the agent into
// service, the first activation, the stop routine that gives the workstation back, and the input
// the form itself handles. It owns the server link and the workstation object.
class frmLogon : public ServiceHost::Handler {
  public:
    // The window name of the agent's hidden message window, which the watcher looks for.
    static constexpr const char* kMessageWindowName = "Ostrel Workstation - Server";
    static constexpr const char* kWaitBody =
        " <body> <TABLE width=\"100%\" > <TR> <TD vAlign=\"center\" align=\"middle\">Getting data "
        "from the server. Please wait! </TD> </TR> </TABLE> </body>";

    frmLogon(Platform& platform, RegistryModule& registry, ProgramSettings& settings,
             AgentCapabilities& capabilities, AgentGlobals& globals,
             WindowsLogonSettings& logonSettings);
    ~frmLogon() override;

    // Service control events.
    void OnServiceStart(bool& success) override;  // ServiceStart
    void OnServiceStop() override;                // RestoreWorkstation

    void ServiceStart(bool& success);
    void Activate();
    void RestoreWorkstation();
    void StopKoService();
    void Unload();
    // Returns true when the form swallows the key (Alt+F6).
    bool KeyDown(int keyCode, int shift);
    void MouseMove();

    wsClient* Client() { return m_client.get(); }
    ServerLink& Link() { return m_link; }
    bool Stopped() const { return m_stopped; }

  private:
    bool IsNt();

    Platform& m_platform;
    RegistryModule& m_registry;
    AgentCapabilities& m_caps;
    AgentGlobals& m_globals;
    WindowsLogonSettings& m_logonSettings;
    LanguageStore m_language;
    ServerLink m_link;
    std::unique_ptr<wsClient> m_client;
    bool m_firstActivationPending = false;
    bool m_restoring = false;
    bool m_stopped = false;
};

}  // namespace ko
