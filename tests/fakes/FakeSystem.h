#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ServiceManager.h"
#include "platform/SystemInfo.h"

namespace ko {

class FakeSystemInfo : public SystemInfo {
  public:
    OsVersion Version() override { return version; }
    std::optional<int> ProductType() override { return productType; }
    std::optional<std::string> ComputerName() override { return computerName; }
    bool AnotherInstanceRunning() override { return anotherInstance; }
    std::string ProgramFolder() override { return programFolder; }
    std::string ExecutableName() override { return "koagent"; }
    NumberSeparators Separators() override { return separators; }
    std::string MachineIdentity() override {
        ++identityReads;
        return identity;
    }

    OsVersion version{5, 1, 2600, 2, "Service Pack 3", 3};
    std::optional<int> productType = 1;
    std::optional<std::string> computerName = std::string("PC07");
    bool anotherInstance = false;
    std::string programFolder = "/opt/ostrel";
    std::string identity = "{0f5c2a7e-1111-2222-3333-444455556666}";
    int identityReads = 0;
    NumberSeparators separators;
};

class FakeServiceManager : public ServiceManager {
  public:
    std::optional<std::string> ImagePath(const std::string& name) override;
    bool Register(const ServiceConfig& config) override;
    bool Start(const std::string& name, std::optional<long>& errorCode) override;
    std::optional<int> QueryState(const std::string& name) override;

    struct Service {
        std::string imagePath;
        int state = 1;
    };
    std::map<std::string, Service> services;
    std::vector<ServiceConfig> registered;
    std::vector<std::string> started;
    std::optional<long> managerError;
    // The service manager answers no query (systemd not running, for instance).
    bool unreachable = false;
};

// Records the service host's calls; Start and Stop are delivered by the test.
class FakeServiceHost : public ServiceHost {
  public:
    void Attach(EventLoop&, Handler& handler) override { this->handler = &handler; }
    void SetControls(int value) override { controls = value; }
    void RequestStop() override { ++stopRequests; }
    void ReportStopped(int exitCode) override { stoppedWith = exitCode; }

    Handler* handler = nullptr;
    std::optional<int> controls;
    int stopRequests = 0;
    std::optional<int> stoppedWith;
};

}  // namespace ko
