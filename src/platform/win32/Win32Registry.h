#pragma once

#include <windows.h>

#include "platform/RegistryPrimitives.h"
#include "platform/win32/Win32Handles.h"

namespace ko {

// The registry primitives over the ANSI registry functions of advapi32.
class Win32Registry : public RegistryPrimitives {
  public:
    // Access masks: query value, enumerate sub-keys and notify for reading; every key-specific
    // right for writing and creating.
    static constexpr REGSAM kReadAccess = 0x19;
    static constexpr REGSAM kWriteAccess = 0x3F;

    std::optional<RegData> QueryValue(RegRoot root, const std::string& path,
                                      const std::string& name) override;
    bool SetValue(RegRoot root, const std::string& path, const std::string& name,
                  const RegData& data) override;
    bool CreateKey(RegRoot root, const std::string& path, const std::string& className) override;
    bool DeleteKey(RegRoot root, const std::string& path) override;
    bool DeleteKeyTree(RegRoot root, const std::string& path) override;
    bool DeleteValue(RegRoot root, const std::string& path, const std::string& name) override;

    long LoadKey(RegRoot root, const std::string& subKey, const std::string& file) override;
    long UnloadKey(RegRoot root, const std::string& subKey) override;
    bool EnableHivePrivileges() override;
    bool DropPrivileges() override;

    static HKEY RootKey(RegRoot root);

  private:
    // The process token whose privileges EnableHivePrivileges raised; DropPrivileges lowers them
    // on the same token.
    UniqueHandle m_token;
};

}  // namespace ko
