#pragma once

#include <cstdint>
#include <string>

namespace ko {

class RegistryModule;
struct AgentGlobals;

// The Windows logon values of the machine (saved at start, put back at stop) and the two security
// options of the workstation. The profile's own logon values are applied with the profile.
class WindowsLogonSettings {
  public:
    WindowsLogonSettings(RegistryModule& registry, AgentGlobals& globals);

    void SetDefaultWindowsLogonSettings();
    void ResetWindowsLogonSettings();
    // Server message 35: keeps both options and stores them under "NetConfig".
    void SaveSecurityOptions(std::int16_t wsSecureWorkstation,
                             const std::string& wsSecurityPassword);

  private:
    RegistryModule& m_registry;
    AgentGlobals& m_globals;
    std::string m_autoAdminLogon = "0";
    std::string m_forceAutoLogon = "0";
    std::string m_defaultUserName;
    std::string m_defaultPassword;
    std::string m_defaultDomainName;
};

}  // namespace ko
