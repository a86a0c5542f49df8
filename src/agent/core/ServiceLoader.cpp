#include "agent/core/ServiceLoader.h"

#include "agent/messages/MessageWindow.h"
#include "platform/ServiceManager.h"
#include "platform/SystemInfo.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"
#include "shared/ProgramSettings.h"

namespace ko {

namespace {

// Booleans in the program-settings store are texts: "True" or any non-zero number is true.
bool SettingToBool(const std::string& text, bool fallback) {
    if (text == "True" || text == "true") {
        return true;
    }
    if (text == "False" || text == "false") {
        return false;
    }
    if (auto number = NumberRules::ToDouble(text)) {
        return *number != 0;
    }
    return fallback;
}

}  // namespace

ServiceLoader::ServiceLoader(ServiceManager& services, SystemInfo& system,
                             ProgramSettings& settings, MessageWindow& messages,
                             std::string serviceCommandLine)
    : m_services(services),
      m_system(system),
      m_settings(settings),
      m_messages(messages),
      m_serviceCommandLine(std::move(serviceCommandLine)) {}

bool ServiceLoader::IsNt() {
    return (m_system.Version().platformId & 2) != 0;
}

ServiceLoader::Role ServiceLoader::Load() {
    // Claiming the instance marker first makes this copy visible to any copy started later.
    const bool anotherCopy = m_system.AnotherInstanceRunning();
    if (!IsNt()) {
        return Role::Direct;
    }
    if (!IsServiceRegistered(kServiceName)) {
        if (anotherCopy) {
            SecondInstanceMessage();
            return Role::Close;
        }
        RegisterService();
        StartServiceByName(kServiceName);
        return Role::Close;
    }
    switch (GetServiceState(kServiceName)) {
        case 1:  // stopped
            if (anotherCopy) {
                SecondInstanceMessage();
            } else {
                StartServiceByName(kServiceName);
            }
            return Role::Close;
        case 4:  // running
            return anotherCopy ? Role::Close : Role::Idle;
        default:
            return Role::ServiceHost;
    }
}

bool ServiceLoader::IsServiceRegistered(const std::string& name) {
    if (!IsNt()) {
        return true;
    }
    std::optional<std::string> path = m_services.ImagePath(name);
    return path && !path->empty();
}

bool ServiceLoader::StartServiceByName(const std::string& name) {
    std::optional<long> error;
    bool started = m_services.Start(name, error);
    if (error) {
        Logger::Debug("service manager not reachable, error " +
                      NumberRules::Format(std::int64_t{*error}));
    }
    return started;
}

std::int16_t ServiceLoader::GetServiceState(const std::string& name) {
    std::string trimmed = name;
    trimmed.erase(0, trimmed.find_first_not_of(' '));
    trimmed.erase(trimmed.find_last_not_of(' ') + 1);
    std::optional<int> state = m_services.QueryState(trimmed);
    if (!state) {
        return 0;
    }
    switch (*state) {
        case 1:
        case 32:
            return 1;
        case 2:
        case 7:
            return 7;
        case 3:
        case 4:
        case 5:
        case 6:
            return static_cast<std::int16_t>(*state);
        case 16:
            return 2;
        default:
            return 0;
    }
}

void ServiceLoader::RegisterService() {
    const std::string app = m_system.ExecutableName();
    ServiceConfig config;
    config.displayName =
        m_settings.GetSetting(app, "ServiceSettings", "DisplayName", "Ostrel Service");
    config.serviceName = kServiceName;
    config.interactive =
        SettingToBool(m_settings.GetSetting(app, "ServiceSettings", "Interactive", "True"), true);
    config.startMode =
        NumberRules::ToInt16(m_settings.GetSetting(app, "ServiceSettings", "StartMode", "2"))
            .value_or(2);
    config.controls =
        NumberRules::ToInt16(m_settings.GetSetting(app, "ServiceSettings", "Controls", "2"))
            .value_or(2);
    config.account = m_settings.GetSetting(app, "ServiceSettings", "Account", "");
    config.commandLine = m_serviceCommandLine;
    if (!m_services.Register(config)) {
        Logger::Debug("service registration failed");
    }
}

void ServiceLoader::SecondInstanceMessage() {
    Logger::Info("another copy of the agent runs; this one closes");
    m_messages.ShowForm("ShowMessage", "A second instance of Ko Client not allowed!", "1000", "",
                        1);
}

}  // namespace ko
