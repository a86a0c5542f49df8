#include "agent/core/ServiceLoader.h"

#include "agent/core/AgentGlobals.h"
#include "agent/messages/MessageWindow.h"
#include "platform/ServiceManager.h"
#include "platform/SystemInfo.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"
#include "shared/ProgramSettings.h"

namespace ko {

namespace {

// Booleans in the program-settings store are texts: "True" or any non-zero number is true.
bool SettingToBool(const std::string& text, bool fallback, const RegionalSettings& regional) {
    if (text == "True" || text == "true") {
        return true;
    }
    if (text == "False" || text == "false") {
        return false;
    }
    if (auto number = NumberRules::ToDouble(text, regional)) {
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
    // The service settings go to the service control in every role: the host needs its
    // accepted controls as much as the registration needs the rest.
    m_config = ReadServiceSettings(m_settings, m_system);
    if (!IsServiceRegistered(kServiceName)) {
        if (anotherCopy) {
            SecondInstanceMessage();
            return Role::Close;
        }
        RegisterService();
        StartServiceByName(kServiceName);
        return Role::Close;
    }
    const std::int16_t state = GetServiceState(kServiceName);
    switch (state) {
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
            if (!m_serviceCommandLine.empty()) {
                return StartedByHandInAnyOtherState(state, anotherCopy);
            }
            return Role::ServiceHost;
    }
}

ServiceLoader::Role ServiceLoader::StartedByHandInAnyOtherState(std::int16_t state,
                                                                bool anotherCopy) {
    // The service manager is starting or stopping the service's own copy: a second agent
    // beside it would fight it for the link and the desktop.
    if (state != 0) {
        Logger::Info("the service is starting or stopping; this copy closes");
        return Role::Close;
    }
    // The service manager cannot be asked. Without it nothing runs the agent, so this copy
    // does, unless another copy already runs.
    if (anotherCopy) {
        Logger::Info("another copy of the agent runs; this one closes");
        return Role::Close;
    }
    Logger::Info("the service manager cannot be asked; this copy runs the agent");
    return Role::Direct;
}

ServiceConfig ServiceLoader::ReadServiceSettings(ProgramSettings& settings, SystemInfo& system) {
    const std::string app = system.ExecutableName();
    const RegionalSettings regional = RegionalSettingsOf(system);
    auto get = [&](const char* name, const char* fallback) {
        return settings.GetSetting(app, "ServiceSettings", name, fallback);
    };
    ServiceConfig config;
    config.displayName = get("DisplayName", "Ostrel Service");
    config.serviceName = get("ServiceName", kServiceName);
    config.interactive = SettingToBool(get("Interactive", "True"), true, regional);
    config.startMode = NumberRules::ToInt16(get("StartMode", "2"), regional).value_or(2);
    config.controls = NumberRules::ToInt16(get("Controls", "2"), regional)
                          .value_or(static_cast<std::int16_t>(ServiceControls::kDefault));
    config.account = get("Account", "");
    return config;
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
    ServiceConfig config = m_config;
    // Whatever "ServiceName" says, the service is registered where Load looks for it.
    config.serviceName = kServiceName;
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
