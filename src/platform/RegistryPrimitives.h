#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ko {

enum class RegRoot { CurrentUser, LocalMachine, Users };

// The registry types the system reads or writes.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// A raw value: its type and its bytes as stored (REG_SZ with its terminating NUL, REG_DWORD as
// four little-endian bytes).
struct RegData {
    std::uint32_t type = 0;
    std::string bytes;
};

// The registry primitives: the Windows registry on Windows, a REGEDIT4 store file on Linux.
// Key paths use backslashes; names compare without regard to case.
class RegistryPrimitives {
  public:
    virtual ~RegistryPrimitives() = default;

    // Opens the key for reading and reads the value; nothing when the key or value is missing.
    virtual std::optional<RegData> QueryValue(RegRoot root, const std::string& path,
                                              const std::string& name) = 0;
    // Writes a value into an existing key; fails when the key does not exist (it never creates).
    virtual bool SetValue(RegRoot root, const std::string& path, const std::string& name,
                          const RegData& data) = 0;
    // Creates the key (and missing parents) with the class string, flushes it. True if it exists
    // now.
    virtual bool CreateKey(RegRoot root, const std::string& path, const std::string& className) = 0;
    // Deletes a key without sub-keys; fails on a missing key or one with sub-keys.
    virtual bool DeleteKey(RegRoot root, const std::string& path) = 0;
    // Deletes a key with its values and every sub-key below it; fails on a missing key and on a
    // root. A failure part-way leaves what could not be deleted.
    virtual bool DeleteKeyTree(RegRoot root, const std::string& path) = 0;
    virtual bool DeleteValue(RegRoot root, const std::string& path, const std::string& name) = 0;

    // Loading another user's hive under HKEY_USERS. They return the system's result code
    // (0 is success); Linux has no user hives and answers kNotSupported.
    virtual long LoadKey(RegRoot root, const std::string& subKey, const std::string& file) = 0;
    virtual long UnloadKey(RegRoot root, const std::string& subKey) = 0;
    // Enables the backup and restore privileges of the process token (hive loading needs them),
    // and disables all privileges again.
    virtual bool EnableHivePrivileges() = 0;
    virtual bool DropPrivileges() = 0;

    static constexpr long kNotSupported = 50;  // ERROR_NOT_SUPPORTED
};

}  // namespace ko
