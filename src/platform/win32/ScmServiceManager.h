#pragma once

#include "platform/ServiceManager.h"
#include "platform/win32/Win32Registry.h"

namespace ko {

// The service control manager of the local machine.
class ScmServiceManager : public ServiceManager {
  public:
    std::optional<std::string> ImagePath(const std::string& name) override;
    bool Register(const ServiceConfig& config) override;
    bool Start(const std::string& name, std::optional<long>& errorCode) override;
    std::optional<int> QueryState(const std::string& name) override;

    // The command line that runs this program as a service: its own path, quoted so that a
    // folder with blanks cannot be taken for another program.
    static std::string OwnCommandLine();

  private:
    Win32Registry m_registry;
};

}  // namespace ko
