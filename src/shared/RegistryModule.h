#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/RegistryPrimitives.h"

namespace ko {

// A registry value as the agent passes it around: empty, a 16- or 32-bit integer, a string, or
// another kind (a double stands for every other kind; it is never written).
using RegValue = std::variant<std::monostate, std::int16_t, std::int32_t, std::string, double>;

// What LoadUserHive needs to know about the machine and the user whose hive it loads.
struct UserHiveSource {
    bool ntFamily = true;     // platform identifier 2
    int majorVersion = 5;     // the operating system's major version
    std::string nextWinUser;  // the Windows user who logs on next
    // The hive file as the user's profile records it; when empty the file is guessed from the
    // user name under the system's profile folder.
    std::string hiveFile;
};

// The agent's only path to the registry: value and key primitives, the agent settings, the
// desktop policies of a user, and the loading of another user's hive. Nothing here shows or
// raises an error; callers learn a Boolean from the primitives and the default from ReadSetting.
class RegistryModule {
  public:
    explicit RegistryModule(RegistryPrimitives& registry);

    // Primitives. QueryValue reads REG_SZ as its text (up to the first NUL, so a value stored
    // without one reads whole), REG_BINARY as upper-case hex pairs each followed by one blank,
    // REG_DWORD as a 32-bit integer; any other type succeeds and leaves `out` as it was.
    bool QueryValue(RegRoot root, const std::string& path, const std::string& name, RegValue& out);
    // Integers go as REG_DWORD, strings as REG_SZ with their NUL. Any other kind writes nothing
    // and reports success. Never creates the key.
    bool SetValue(RegRoot root, const std::string& path, const std::string& name,
                  const RegValue& value);
    bool CreateKey(RegRoot root, const std::string& path, const std::string& className);
    // A text value, REG_SZ or REG_EXPAND_SZ (unexpanded), up to its first NUL.
    std::optional<std::string> QueryText(RegRoot root, const std::string& path,
                                         const std::string& name);

    // Agent settings under HKEY_LOCAL_MACHINE. Sections "spooldirectory" (read only) and
    // "windowslogon" name system keys, in any letter case; every other section is a sub-key of
    // the settings key, and the empty section is the settings key itself. A missing value gives
    // the default; a value of a type QueryValue does not read (REG_EXPAND_SZ, ...) gives "".
    std::string ReadSetting(std::string_view section, const std::string& name,
                            const std::string& defaultValue);
    void WriteSetting(std::string_view section, const std::string& name, const std::string& value);

    // Desktop policies (REG_DWORD). WritePolicy writes to HKEY_CURRENT_USER, WriteUserPolicy to
    // the hive named by PolicyHive under HKEY_USERS. Section "internetexplorer" (any case) is
    // the browser's restrictions key; every other section goes under the Explorer policies key.
    void WritePolicy(std::string_view section, const std::string& name, std::int32_t value);
    void WriteUserPolicy(std::string_view section, const std::string& name, std::int32_t value);
    // Deletes the six policy keys with everything below them, each tried even when an earlier
    // one fails. ClearUserPolicies clears the hive of the user logged on now (CurrentUserSid),
    // not PolicyHive; without a CurrentUserSid it clears nothing.
    void ClearPolicies();
    void ClearUserPolicies();
    // Deletes the six policy keys of the hive named by PolicyHive, before a profile's policies
    // are written there, so that a value the profile no longer carries does not stay.
    void ClearPolicyHive();

    // Loads the next user's hive file under HKEY_USERS\keyloaded with the backup and restore
    // privileges enabled; every step runs even when the one before failed. Windows 9x has no
    // hive file, so the load fails there. The result codes are kept.
    void LoadUserHive(const UserHiveSource& source);
    void UnloadUserHive();
    void DropPrivileges();

    const std::string& PolicyHive() const { return m_policyHive; }
    void SetPolicyHive(std::string hive) { m_policyHive = std::move(hive); }
    const std::string& CurrentUserSid() const { return m_currentUserSid; }
    void SetCurrentUserSid(std::string sid) { m_currentUserSid = std::move(sid); }
    long LastLoadResult() const { return m_lastLoadResult; }
    long LastUnloadResult() const { return m_lastUnloadResult; }

    // The key paths, for the adapters and the programs that show them.
    static std::string SettingsKey();  // "SOFTWARE\<company>\<product>\<major>"
    static std::string ReadSettingPath(std::string_view section);
    static std::string WriteSettingPath(std::string_view section);
    static std::string PolicyPath(std::string_view section);

    // Conversions between stored data and tagged values, shared with the program settings.
    static bool DecodeValue(const RegData& data, RegValue& out);
    static std::string ValueText(const RegValue& value);

    // The result code kept when there is no hive file to load (ERROR_FILE_NOT_FOUND).
    static constexpr long kNoHiveFile = 2;

  private:
    // SetValue; when that fails, CreateKey with the class string and SetValue once more.
    void WriteWithCreate(RegRoot root, const std::string& path, const std::string& name,
                         const RegValue& value, const std::string& className);
    void ClearPolicyKeys(RegRoot root, const std::string& prefix);

    RegistryPrimitives& m_registry;
    std::string m_policyHive;
    std::string m_currentUserSid;
    long m_lastLoadResult = 0;
    long m_lastUnloadResult = 0;
};

}  // namespace ko
