#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ServiceManager.h"

namespace ko {

// What running a program gave: its exit code and standard output, or the errno that kept it from
// starting at all (startError non-zero, for instance ENOENT when systemctl is not installed).
struct CommandResult {
    int exitCode = -1;
    std::string output;
    int startError = 0;
};

// The service manager on Linux is systemd: a registered service is an installed unit file, and
// systemctl starts and queries it. The service "KoService" is the unit koagent.service.
class SystemdServiceManager : public ServiceManager {
  public:
    // Runs argv (argv[0] looked up in PATH, no shell) and waits for it.
    using CommandRunner = std::function<CommandResult(const std::vector<std::string>& argv)>;

    // The folders beside the administrator's own where systemd finds units, in its order: a
    // package installs its unit under /lib/systemd/system.
    static std::vector<std::string> SystemUnitDirs();

    // Units are written to unitDir; a unit counts as installed when it is there or in one of
    // otherUnitDirs, the first found wins, as in systemd.
    explicit SystemdServiceManager(std::string unitDir = "/etc/systemd/system",
                                   CommandRunner runner = RunCommand,
                                   std::vector<std::string> otherUnitDirs = SystemUnitDirs());

    std::optional<std::string> ImagePath(const std::string& name) override;
    // Writes the unit file, reloads systemd and enables the unit when it starts automatically.
    // A failing systemctl makes it return false; the unit file stays.
    bool Register(const ServiceConfig& config) override;
    bool Start(const std::string& name, std::optional<long>& errorCode) override;
    std::optional<int> QueryState(const std::string& name) override;

    static std::string UnitName(const std::string& serviceName);
    // The default runner: spawns the program with stdin and stderr on /dev/null and collects
    // its standard output.
    static CommandResult RunCommand(const std::vector<std::string>& argv);

  private:
    std::string UnitPath(const std::string& serviceName) const;
    // The installed unit file that systemd would load, or nothing.
    std::optional<std::string> FindUnit(const std::string& serviceName) const;

    std::string m_unitDir;
    CommandRunner m_runner;
    std::vector<std::string> m_otherUnitDirs;
};

}  // namespace ko
