#pragma once

#include <cstdint>
#include <string>

namespace ko {

class MessageWindow;
class ProgramSettings;
class ServiceManager;
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
        Direct,       // Windows 9x: no service manager, the process runs the agent itself
    };

    ServiceLoader(ServiceManager& services, SystemInfo& system, ProgramSettings& settings,
                  MessageWindow& messages, std::string serviceCommandLine);

    Role Load();

    bool IsServiceRegistered(const std::string& name);
    // False when the service cannot be opened or started; the service manager's error code is
    // logged when it cannot be reached at all, and the caller goes on.
    bool StartServiceByName(const std::string& name);
    std::int16_t GetServiceState(const std::string& name);

  private:
    bool IsNt();
    void RegisterService();
    void SecondInstanceMessage();

    ServiceManager& m_services;
    SystemInfo& m_system;
    ProgramSettings& m_settings;
    MessageWindow& m_messages;
    std::string m_serviceCommandLine;
};

}  // namespace ko
