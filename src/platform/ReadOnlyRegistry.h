#pragma once

#include "platform/RegistryPrimitives.h"

namespace ko {

// The registry as the session watcher may use it: values are read from the store below, and every
// change is refused without reaching it. The watcher reads the agent's settings and owns none; a
// program in the customer's session never writes the machine's store.
class ReadOnlyRegistry : public RegistryPrimitives {
  public:
    explicit ReadOnlyRegistry(RegistryPrimitives& store) : m_store(store) {}

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
    bool EnableHivePrivileges() override { return false; }
    bool DropPrivileges() override { return false; }

    // Changes refused so far.
    unsigned Refused() const { return m_refused; }

    static constexpr long kAccessDenied = 5;  // ERROR_ACCESS_DENIED

  private:
    RegistryPrimitives& m_store;
    unsigned m_refused = 0;
};

}  // namespace ko
