#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ko {

class RegistryModule;
struct AgentGlobals;
struct XmlNode;

// The Windows logon values of the machine (saved at start, put back at stop) and the two security
// options of the workstation. The profile's own logon values are applied with the profile.
//
// The values found at the first start are the cafe's own. They are kept under the settings key
// until a stop restores them: a start after a shut-down that skipped the stop would otherwise
// take the customer account's values for the cafe's and keep them for good.
class WindowsLogonSettings {
  public:
    // The settings section that keeps the cafe's values between a start and the stop.
    static constexpr const char* kSavedSection = "SavedWindowsLogon";
    // The only Winlogon values a profile may write. Others ("Shell", "Userinit", ...) would run
    // a program for every user of the machine and are never restored, so they are refused.
    static constexpr std::array<const char*, 5> kValueNames = {"AutoAdminLogon", "ForceAutoLogon",
                                                               "DefaultUserName", "DefaultPassword",
                                                               "DefaultDomainName"};

    WindowsLogonSettings(RegistryModule& registry, AgentGlobals& globals);

    void SetDefaultWindowsLogonSettings();
    void ResetWindowsLogonSettings();
    // Writes the profile's "WindowsSettings" into the Winlogon key and takes the next account
    // from it. Sets LogonSettingsReceived; false (and nothing more written) at the first entry
    // without a name and a value, or when the profile has no such element.
    bool SetWindowsLogonSettings(const XmlNode& koDom, std::string& nextWinUser,
                                 std::string& nextDomain);
    // Server message 35: keeps both options and stores them under "NetConfig".
    void SaveSecurityOptions(std::int16_t wsSecureWorkstation,
                             const std::string& wsSecurityPassword);

  private:
    RegistryModule& m_registry;
    AgentGlobals& m_globals;
    bool m_saved = false;
    // In the order of kValueNames.
    std::array<std::string, 5> m_values;
};

}  // namespace ko
