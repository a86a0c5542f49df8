#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/RegistryPrimitives.h"

namespace ko {

// An in-memory registry with the semantics the agent relies on: key and value names compare
// without regard to case and keep the case they were created with, SetValue needs an existing
// key, CreateKey creates missing parents, DeleteKey refuses keys with sub-keys. Every call is
// recorded, and any operation can be told to fail its next calls.
class FakeRegistry : public RegistryPrimitives {
  public:
    enum class Operation {
        QueryValue,
        SetValue,
        CreateKey,
        DeleteKey,
        DeleteKeyTree,
        DeleteValue,
        LoadKey,
        UnloadKey,
        EnableHivePrivileges,
        DropPrivileges,
    };

    struct Call {
        Operation operation;
        RegRoot root;
        std::string path;
        std::string name;  // value name, class string or hive file, by operation
        bool succeeded;
    };

    FakeRegistry();

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

    // The next `count` calls of the operation fail without touching the store (LoadKey and
    // UnloadKey then answer 5, access denied).
    void FailNext(Operation operation, int count = 1);
    // The code LoadKey answers when it is not told to fail; 0 loads an empty hive under the
    // sub-key.
    void SetLoadResult(long code) { m_loadResult = code; }

    // Direct access for arranging and checking a test; not recorded, never failing.
    void Put(RegRoot root, const std::string& path, const std::string& name, const RegData& data);
    void PutString(RegRoot root, const std::string& path, const std::string& name,
                   const std::string& text);  // stored with its terminating NUL
    std::optional<RegData> Get(RegRoot root, const std::string& path,
                               const std::string& name) const;
    bool HasKey(RegRoot root, const std::string& path) const;
    std::optional<std::string> ClassOf(RegRoot root, const std::string& path) const;
    // Names as stored, in case-insensitive order.
    std::vector<std::string> ValueNames(RegRoot root, const std::string& path) const;
    std::vector<std::string> SubKeyNames(RegRoot root, const std::string& path) const;

    const std::vector<Call>& Calls() const { return m_calls; }
    std::vector<Call> CallsOf(Operation operation) const;
    void ClearCalls() { m_calls.clear(); }
    bool PrivilegesEnabled() const { return m_privilegesEnabled; }

  private:
    struct Value {
        std::string name;
        RegData data;
    };
    struct Key {
        std::string name;
        std::string className;
        std::map<std::string, Value> values;  // by lower-case name
        std::map<std::string, Key> subKeys;   // by lower-case name
    };

    static std::optional<std::vector<std::string>> SplitPath(const std::string& path);
    static std::string Lower(const std::string& text);
    Key* Find(RegRoot root, const std::string& path);
    const Key* Find(RegRoot root, const std::string& path) const;
    Key* Create(RegRoot root, const std::string& path, const std::string& className);
    bool Erase(RegRoot root, const std::string& path, bool withSubKeys);
    bool ShouldFail(Operation operation);
    void Record(Operation operation, RegRoot root, const std::string& path, const std::string& name,
                bool succeeded);

    std::map<RegRoot, Key> m_roots;
    std::map<Operation, int> m_failures;
    std::vector<Call> m_calls;
    long m_loadResult = 0;
    bool m_privilegesEnabled = false;
};

}  // namespace ko
