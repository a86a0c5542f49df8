#include "shared/ProgramSettings.h"

#include "shared/Logger.h"
#include "shared/RegistryModule.h"

namespace ko {

ProgramSettings::ProgramSettings(RegistryPrimitives& registry) : m_registry(registry) {}

std::string ProgramSettings::KeyPath(const std::string& application, const std::string& section) {
    return std::string("Software\\") + KO_COMPANY + "\\" + application + "\\" + section;
}

std::string ProgramSettings::GetSetting(const std::string& application, const std::string& section,
                                        const std::string& key, const std::string& defaultValue) {
    if (application.empty() || section.empty()) {
        return defaultValue;
    }
    const auto data =
        m_registry.QueryValue(RegRoot::CurrentUser, KeyPath(application, section), key);
    if (!data) {
        return defaultValue;
    }
    RegValue value;
    RegistryModule::DecodeValue(*data, value);
    // A type the store never writes (and cannot show as text) counts as missing.
    if (std::holds_alternative<std::monostate>(value)) {
        return defaultValue;
    }
    return RegistryModule::ValueText(value);
}

bool ProgramSettings::SaveSetting(const std::string& application, const std::string& section,
                                  const std::string& key, const std::string& value) {
    if (application.empty() || section.empty()) {
        return false;
    }
    const std::string path = KeyPath(application, section);
    const RegData data{kRegSz, value + '\0'};
    if (m_registry.SetValue(RegRoot::CurrentUser, path, key, data)) {
        return true;
    }
    if (m_registry.CreateKey(RegRoot::CurrentUser, path, "") &&
        m_registry.SetValue(RegRoot::CurrentUser, path, key, data)) {
        return true;
    }
    Logger::Debug("program settings: cannot write " + path + "\\" + key);
    return false;
}

}  // namespace ko
