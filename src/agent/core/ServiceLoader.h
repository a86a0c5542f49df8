#pragma once

#include <cstdint>
#include <string>

#include "platform/ServiceManager.h"

namespace ko {

class MessageWindow;
class ProgramSettings;
class SystemInfo;

// The Load decision of the agent's program: which role this copy plays. A copy started by hand
// registers or starts the service and closes; the copy that the service manager starts becomes
// the service host.
class ServiceLoader {
  public:
    // The agent checks, starts and registers its own service under this name, whatever the
    // "ServiceName" setting says.
    static constexpr const char* kServiceName = "KoService";

    enum class Role {
        Close,        // this copy has done its job (or must not run) and ends
        Idle,         // the service runs and no other copy is seen: stay loaded, hidden and idle
        ServiceHost,  // the service manager is starting this process: run as the service
        Direct,       // no service manager runs the agent: the process runs it itself
    };

    // serviceCommandLine is what the service manager runs to host the service. Empty means this
    // program as it is (Windows): the manager's start comes through Load. A command line of its
    // own (Linux's --foreground) never comes through Load, so a copy that gets here was started
    // by hand whatever the service's state.
    ServiceLoader(ServiceManager& services, SystemInfo& system, ProgramSettings& settings,
                  MessageWindow& messages, std::string serviceCommandLine);

    Role Load();
    // The service settings that Load applied (NT only; the defaults otherwise). The host roles
    // take their accepted controls from here.
    const ServiceConfig& Settings() const { return m_config; }

    // The service settings of the per-user program-settings store, numbers in the
    // workstation's regional format.
    static ServiceConfig ReadServiceSettings(ProgramSettings& settings, SystemInfo& system);

    bool IsServiceRegistered(const std::string& name);
    // False when the service cannot be opened or started; the service manager's error code is
    // logged when it cannot be reached at all, and the caller goes on.
    bool StartServiceByName(const std::string& name);
    std::int16_t GetServiceState(const std::string& name);

  private:
    bool IsNt();
    Role StartedByHandInAnyOtherState(std::int16_t state, bool anotherCopy);
    void RegisterService();
    void SecondInstanceMessage();

    ServiceManager& m_services;
    SystemInfo& m_system;
    ProgramSettings& m_settings;
    MessageWindow& m_messages;
    std::string m_serviceCommandLine;
    ServiceConfig m_config;
};

}  // namespace ko
