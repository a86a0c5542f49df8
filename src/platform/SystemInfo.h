#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ko {

// Version information as the operating system reports it.
struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t platformId = 2;  // 1 Windows 9x, 2 NT family
    std::string servicePack;       // as reported, possibly with a NUL and junk after it
    std::uint16_t servicePackMajor = 0;
    // False where the numbers are not Windows' own (Linux reports its kernel release): they
    // name no Windows product then.
    bool windows = true;
};

// The separators of the user's regional number format.
struct NumberSeparators {
    char decimal = '.';
    char group = ',';
};

class SystemInfo {
  public:
    virtual ~SystemInfo() = default;

    virtual OsVersion Version() = 0;
    // The product type of the extended version information (1 workstation, 2 domain
    // controller, 3 server); nothing when the system does not offer it.
    virtual std::optional<int> ProductType() = 0;
    virtual std::optional<std::string> ComputerName() = 0;
    // The previous-instance test: true when another copy of this program runs. The first call
    // claims the marker for this process's lifetime.
    virtual bool AnotherInstanceRunning() = 0;
    // The folder of the running program, without a trailing separator.
    virtual std::string ProgramFolder() = 0;
    // The running program's file name without folder and extension ("koagent").
    virtual std::string ExecutableName() = 0;
    // A text that identifies this machine: the machine GUID on Windows, /etc/machine-id on Linux.
    virtual std::string MachineIdentity() = 0;
    // The regional number format that server figures are read with.
    virtual NumberSeparators Separators() = 0;
};

}  // namespace ko
