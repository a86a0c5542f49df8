#include "shared/RegistryModule.h"

#include <array>

#include "shared/AsciiCase.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"

#define KO_TEXT_OF(x) #x
#define KO_TEXT(x) KO_TEXT_OF(x)

namespace ko {

namespace {

constexpr const char* kPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
constexpr const char* kWinlogonKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\";
constexpr const char* kExplorerPoliciesKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
constexpr const char* kBrowserRestrictionsKey =
    "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions\\";
constexpr const char* kSettingsClass = "1";
constexpr const char* kPolicyClass = "4";
constexpr const char* kLoadedHiveName = "keyloaded";

// The policy keys a clear removes, in the order it removes them.
constexpr std::array<const char*, 6> kPolicyKeys = {
    "Software\\Microsoft\\windows\\currentVersion\\Policies\\Network",
    "Software\\Microsoft\\windows\\currentVersion\\Policies\\System",
    "Software\\Microsoft\\windows\\currentVersion\\Policies\\ActiveDesktop",
    "Software\\Microsoft\\windows\\currentVersion\\Policies\\Explorer",
    "Software\\Microsoft\\windows\\currentVersion\\Policies\\Uninstall",
    "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions",
};

std::string DwordBytes(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    return bytes;
}

}  // namespace

RegistryModule::RegistryModule(RegistryPrimitives& registry) : m_registry(registry) {}

std::string RegistryModule::SettingsKey() {
    return std::string("SOFTWARE\\") + KO_COMPANY + "\\" + KO_PRODUCT + "\\" + KO_TEXT(KO_MAJOR);
}

std::string RegistryModule::ReadSettingPath(std::string_view section) {
    if (EqualsIgnoringAsciiCase(section, "spooldirectory")) {
        return kPrintersKey;
    }
    return WriteSettingPath(section);
}

std::string RegistryModule::WriteSettingPath(std::string_view section) {
    if (EqualsIgnoringAsciiCase(section, "windowslogon")) {
        return kWinlogonKey;
    }
    std::string path = SettingsKey();
    if (!section.empty()) {
        path += '\\';
        path += section;
    }
    return path;
}

std::string RegistryModule::PolicyPath(std::string_view section) {
    if (EqualsIgnoringAsciiCase(section, "internetexplorer")) {
        return kBrowserRestrictionsKey;
    }
    std::string path = kExplorerPoliciesKey;
    path += section;
    return path;
}

bool RegistryModule::DecodeValue(const RegData& data, RegValue& out) {
    switch (data.type) {
        case kRegSz: {
            // The text ends at its terminating NUL; a value written without one still reads whole.
            const std::size_t end = data.bytes.find('\0');
            out = data.bytes.substr(0, end);
            return true;
        }
        case kRegBinary: {
            static constexpr char kHex[] = "0123456789ABCDEF";
            std::string text;
            text.reserve(data.bytes.size() * 3);
            for (const char c : data.bytes) {
                const auto byte = static_cast<unsigned char>(c);
                text += kHex[byte >> 4];
                text += kHex[byte & 0x0F];
                text += ' ';
            }
            out = std::move(text);
            return true;
        }
        case kRegDword: {
            // A short DWORD (which only a broken writer leaves) reads as its bytes padded with
            // zeros rather than past its end.
            std::uint32_t bits = 0;
            for (std::size_t i = 0; i < 4 && i < data.bytes.size(); ++i) {
                bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(data.bytes[i]))
                        << (8 * i);
            }
            out = static_cast<std::int32_t>(bits);
            return true;
        }
        default:
            return true;
    }
}

std::string RegistryModule::ValueText(const RegValue& value) {
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(std::int16_t v) const {
            return NumberRules::Format(std::int64_t{v});
        }
        std::string operator()(std::int32_t v) const {
            return NumberRules::Format(std::int64_t{v});
        }
        std::string operator()(const std::string& v) const { return v; }
        std::string operator()(double v) const { return NumberRules::Format(v); }
    };
    return std::visit(Visitor{}, value);
}

bool RegistryModule::QueryValue(RegRoot root, const std::string& path, const std::string& name,
                                RegValue& out) {
    const auto data = m_registry.QueryValue(root, path, name);
    if (!data) {
        return false;
    }
    return DecodeValue(*data, out);
}

bool RegistryModule::SetValue(RegRoot root, const std::string& path, const std::string& name,
                              const RegValue& value) {
    RegData data;
    if (const auto* v16 = std::get_if<std::int16_t>(&value)) {
        data = RegData{kRegDword, DwordBytes(*v16)};
    } else if (const auto* v32 = std::get_if<std::int32_t>(&value)) {
        data = RegData{kRegDword, DwordBytes(*v32)};
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        data = RegData{kRegSz, *text + '\0'};
    } else {
        // Empty and other kinds have never been written; callers count on the success.
        return true;
    }
    return m_registry.SetValue(root, path, name, data);
}

std::optional<std::string> RegistryModule::QueryText(RegRoot root, const std::string& path,
                                                     const std::string& name) {
    constexpr std::uint32_t kRegExpandSz = 2;
    const auto data = m_registry.QueryValue(root, path, name);
    if (!data || (data->type != kRegSz && data->type != kRegExpandSz)) {
        return std::nullopt;
    }
    return data->bytes.substr(0, data->bytes.find('\0'));
}

bool RegistryModule::CreateKey(RegRoot root, const std::string& path,
                               const std::string& className) {
    return m_registry.CreateKey(root, path, className);
}

void RegistryModule::WriteWithCreate(RegRoot root, const std::string& path, const std::string& name,
                                     const RegValue& value, const std::string& className) {
    if (SetValue(root, path, name, value)) {
        return;
    }
    if (!CreateKey(root, path, className)) {
        Logger::Debug("registry: cannot create key " + path);
        return;
    }
    if (!SetValue(root, path, name, value)) {
        Logger::Debug("registry: cannot write " + path + "\\" + name);
    }
}

std::string RegistryModule::ReadSetting(std::string_view section, const std::string& name,
                                        const std::string& defaultValue) {
    RegValue value;
    if (!QueryValue(RegRoot::LocalMachine, ReadSettingPath(section), name, value)) {
        return defaultValue;
    }
    return ValueText(value);
}

void RegistryModule::WriteSetting(std::string_view section, const std::string& name,
                                  const std::string& value) {
    WriteWithCreate(RegRoot::LocalMachine, WriteSettingPath(section), name, RegValue{value},
                    kSettingsClass);
}

void RegistryModule::WritePolicy(std::string_view section, const std::string& name,
                                 std::int32_t value) {
    WriteWithCreate(RegRoot::CurrentUser, PolicyPath(section), name, RegValue{value}, kPolicyClass);
}

void RegistryModule::WriteUserPolicy(std::string_view section, const std::string& name,
                                     std::int32_t value) {
    WriteWithCreate(RegRoot::Users, m_policyHive + "\\" + PolicyPath(section), name,
                    RegValue{value}, kPolicyClass);
}

void RegistryModule::ClearPolicyKeys(RegRoot root, const std::string& prefix) {
    for (const char* key : kPolicyKeys) {
        // Missing keys are normal and do not stop the rest. The whole tree goes: a policy left
        // in a sub-key would outlive the agent.
        m_registry.DeleteKeyTree(root, prefix + key);
    }
}

void RegistryModule::ClearPolicies() {
    ClearPolicyKeys(RegRoot::CurrentUser, "");
}

void RegistryModule::ClearUserPolicies() {
    // Without a user the prefix would be the root of HKEY_USERS.
    if (m_currentUserSid.empty()) {
        return;
    }
    ClearPolicyKeys(RegRoot::Users, m_currentUserSid + "\\");
}

void RegistryModule::ClearPolicyHive() {
    if (m_policyHive.empty()) {
        return;
    }
    ClearPolicyKeys(RegRoot::Users, m_policyHive + "\\");
}

void RegistryModule::LoadUserHive(const UserHiveSource& source) {
    m_policyHive = kLoadedHiveName;
    std::string hiveFile;
    if (source.ntFamily && !source.hiveFile.empty()) {
        hiveFile = source.hiveFile;
    } else if (source.ntFamily) {
        hiveFile = source.majorVersion > 4
                       ? "C:\\Documents and Settings\\" + source.nextWinUser + "\\NTUser.dat"
                       : "C:\\WinNt\\Profiles\\" + source.nextWinUser + "\\NTUser.dat";
    }
    if (!m_registry.EnableHivePrivileges()) {
        Logger::Debug("registry: cannot enable the hive privileges");
    }
    if (hiveFile.empty()) {
        // Windows 9x keeps no per-user hive file to load; asking the registry to load an unnamed
        // file is pointless, so the failure is recorded directly.
        m_lastLoadResult = kNoHiveFile;
        return;
    }
    m_lastLoadResult = m_registry.LoadKey(RegRoot::Users, m_policyHive, hiveFile);
    if (m_lastLoadResult != 0) {
        Logger::Debug("registry: hive load failed with " +
                      NumberRules::Format(std::int64_t{m_lastLoadResult}));
    }
}

void RegistryModule::UnloadUserHive() {
    m_lastUnloadResult = m_registry.UnloadKey(RegRoot::Users, m_policyHive);
}

void RegistryModule::DropPrivileges() {
    m_registry.DropPrivileges();
}

}  // namespace ko
