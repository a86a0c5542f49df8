#include "agent/control/WindowsLogonSettings.h"

#include "agent/core/AgentGlobals.h"
#include "platform/XmlNode.h"
#include "shared/AsciiCase.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"
#include "shared/RegistryModule.h"

namespace ko {

namespace {

constexpr const char* kSavedFlag = "Saved";

// The defaults of a value missing at start, in the order of kValueNames.
constexpr std::array<const char*, 5> kDefaults = {"0", "0", "", "", ""};

}  // namespace

WindowsLogonSettings::WindowsLogonSettings(RegistryModule& registry, AgentGlobals& globals)
    : m_registry(registry), m_globals(globals) {}

void WindowsLogonSettings::SetDefaultWindowsLogonSettings() {
    const bool keptFromBefore = m_registry.ReadSetting(kSavedSection, kSavedFlag, "0") == "1";
    for (std::size_t i = 0; i < kValueNames.size(); ++i) {
        m_values[i] = keptFromBefore
                          ? m_registry.ReadSetting(kSavedSection, kValueNames[i], kDefaults[i])
                          : m_registry.ReadSetting("windowslogon", kValueNames[i], kDefaults[i]);
    }
    if (keptFromBefore) {
        Logger::Info(
            "logon settings: the cafe's values of an earlier run were never restored; "
            "they are kept");
    } else {
        for (std::size_t i = 0; i < kValueNames.size(); ++i) {
            m_registry.WriteSetting(kSavedSection, kValueNames[i], m_values[i]);
        }
        m_registry.WriteSetting(kSavedSection, kSavedFlag, "1");
    }
    m_saved = true;
}

void WindowsLogonSettings::ResetWindowsLogonSettings() {
    // A stop that comes before the values were saved has nothing of the cafe's to restore:
    // writing the defaults would switch the cafe's automatic logon off.
    if (!m_saved) {
        return;
    }
    for (std::size_t i = 0; i < kValueNames.size(); ++i) {
        m_registry.WriteSetting("windowslogon", kValueNames[i], m_values[i]);
    }
    m_registry.WriteSetting(kSavedSection, kSavedFlag, "0");
    m_registry.WriteSetting(kSavedSection, "DefaultPassword", "");
}

bool WindowsLogonSettings::SetWindowsLogonSettings(const XmlNode& koDom, std::string& nextWinUser,
                                                   std::string& nextDomain) {
    bool& received = m_globals.options.LogonSettingsReceived;
    received = false;
    const XmlNode* settings = koDom.FirstElement("WindowsSettings");
    if (settings == nullptr) {
        return false;
    }
    for (const XmlNode& entry : settings->children) {
        const XmlNode* nameNode = entry.Child(0);
        const XmlNode* valueNode = entry.Child(1);
        if (nameNode == nullptr || valueNode == nullptr) {
            return false;
        }
        const std::string name = nameNode->Text();
        const std::string value = valueNode->Text();
        bool allowed = false;
        for (const char* known : kValueNames) {
            // Registry names ignore case, so the allowed names do too.
            allowed = allowed || EqualsIgnoringAsciiCase(name, known);
        }
        if (!allowed) {
            Logger::Info("logon settings: the profile's value \"" + name + "\" is not written");
            continue;
        }
        if (name == "DefaultUserName") {
            nextWinUser = value;
        } else if (name == "DefaultDomainName") {
            nextDomain = value;
        }
        m_registry.WriteSetting("windowslogon", name, value);
    }
    received = true;
    return true;
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
