#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/SystemInfo.h"
#include "platform/linux/UniqueFd.h"

namespace ko {

// System information from uname, gethostname, /proc/self/exe and /etc/machine-id. Linux is
// reported as the NT family. The previous-instance marker is an flock on a lock file named
// after the program, held for the life of this object.
class LinuxSystemInfo : public SystemInfo {
  public:
    explicit LinuxSystemInfo(std::string argv0);

    OsVersion Version() override;
    std::optional<int> ProductType() override { return 1; }
    std::optional<std::string> ComputerName() override;
    bool AnotherInstanceRunning() override;
    std::string ProgramFolder() override;
    std::string ExecutableName() override;
    std::string MachineIdentity() override;
    // Linux has no per-user regional format of the Windows kind: the point and the comma.
    NumberSeparators Separators() override { return {}; }

    // Major, minor and build from a kernel release text such as "6.1.0-13-amd64".
    static OsVersion ParseRelease(std::string_view release);

  private:
    std::string ProgramPath() const;
    std::string InstanceFolder() const;

    std::string m_argv0;
    UniqueFd m_instanceLock;
    std::optional<bool> m_anotherInstance;
};

}  // namespace ko
