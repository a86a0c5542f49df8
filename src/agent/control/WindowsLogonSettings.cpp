#include "agent/control/WindowsLogonSettings.h"

#include "agent/core/AgentGlobals.h"
#include "shared/NumberRules.h"
#include "shared/RegistryModule.h"

namespace ko {

WindowsLogonSettings::WindowsLogonSettings(RegistryModule& registry, AgentGlobals& globals)
    : m_registry(registry), m_globals(globals) {}

void WindowsLogonSettings::SetDefaultWindowsLogonSettings() {
    m_autoAdminLogon = m_registry.ReadSetting("windowslogon", "AutoAdminLogon", "0");
    m_forceAutoLogon = m_registry.ReadSetting("windowslogon", "ForceAutoLogon", "0");
    m_defaultUserName = m_registry.ReadSetting("windowslogon", "DefaultUserName", "");
    m_defaultPassword = m_registry.ReadSetting("windowslogon", "DefaultPassword", "");
    m_defaultDomainName = m_registry.ReadSetting("windowslogon", "DefaultDomainName", "");
}

void WindowsLogonSettings::ResetWindowsLogonSettings() {
    m_registry.WriteSetting("windowslogon", "AutoAdminLogon", m_autoAdminLogon);
    m_registry.WriteSetting("windowslogon", "ForceAutoLogon", m_forceAutoLogon);
    m_registry.WriteSetting("windowslogon", "DefaultUserName", m_defaultUserName);
    m_registry.WriteSetting("windowslogon", "DefaultPassword", m_defaultPassword);
    m_registry.WriteSetting("windowslogon", "DefaultDomainName", m_defaultDomainName);
}

void WindowsLogonSettings::SaveSecurityOptions(std::int16_t wsSecureWorkstation,
                                               const std::string& wsSecurityPassword) {
    m_globals.options.wsSecureWorkstation = wsSecureWorkstation;
    m_globals.options.wsSecurityPassword = wsSecurityPassword;
    m_registry.WriteSetting("NetConfig", "left",
                            NumberRules::Format(std::int64_t{wsSecureWorkstation}));
    m_registry.WriteSetting("NetConfig", "window", wsSecurityPassword);
}

}  // namespace ko
