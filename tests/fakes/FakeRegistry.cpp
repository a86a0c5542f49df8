#include "fakes/FakeRegistry.h"

namespace ko {

namespace {
constexpr long kAccessDenied = 5;
}

FakeRegistry::FakeRegistry() {
    m_roots[RegRoot::CurrentUser];
    m_roots[RegRoot::LocalMachine];
    m_roots[RegRoot::Users];
}

std::string FakeRegistry::Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

// Splits "A\B\C" into its parts. One trailing backslash is allowed, as the registry allows it;
// an empty part anywhere else (a leading or doubled backslash) makes the path invalid.
std::optional<std::vector<std::string>> FakeRegistry::SplitPath(const std::string& path) {
    std::string trimmed = path;
    if (!trimmed.empty() && trimmed.back() == '\\') {
        trimmed.pop_back();
    }
    std::vector<std::string> parts;
    if (trimmed.empty()) {
        return parts;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = trimmed.find('\\', start);
        std::string part = trimmed.substr(start, end - start);
        if (part.empty()) {
            return std::nullopt;
        }
        parts.push_back(std::move(part));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return parts;
}

const FakeRegistry::Key* FakeRegistry::Find(RegRoot root, const std::string& path) const {
    const auto parts = SplitPath(path);
    if (!parts) {
        return nullptr;
    }
    const Key* key = &m_roots.at(root);
    for (const auto& part : *parts) {
        const auto it = key->subKeys.find(Lower(part));
        if (it == key->subKeys.end()) {
            return nullptr;
        }
        key = &it->second;
    }
    return key;
}

FakeRegistry::Key* FakeRegistry::Find(RegRoot root, const std::string& path) {
    return const_cast<Key*>(static_cast<const FakeRegistry*>(this)->Find(root, path));
}

FakeRegistry::Key* FakeRegistry::Create(RegRoot root, const std::string& path,
                                        const std::string& className) {
    const auto parts = SplitPath(path);
    if (!parts) {
        return nullptr;
    }
    Key* key = &m_roots.at(root);
    for (const auto& part : *parts) {
        auto [it, created] = key->subKeys.try_emplace(Lower(part));
        if (created) {
            it->second.name = part;
            it->second.className = className;
        }
        key = &it->second;
    }
    return key;
}

bool FakeRegistry::ShouldFail(Operation operation) {
    auto it = m_failures.find(operation);
    if (it == m_failures.end() || it->second <= 0) {
        return false;
    }
    --it->second;
    return true;
}

void FakeRegistry::Record(Operation operation, RegRoot root, const std::string& path,
                          const std::string& name, bool succeeded) {
    m_calls.push_back(Call{operation, root, path, name, succeeded});
}

std::optional<RegData> FakeRegistry::QueryValue(RegRoot root, const std::string& path,
                                                const std::string& name) {
    std::optional<RegData> result;
    if (!ShouldFail(Operation::QueryValue)) {
        result = Get(root, path, name);
    }
    Record(Operation::QueryValue, root, path, name, result.has_value());
    return result;
}

bool FakeRegistry::SetValue(RegRoot root, const std::string& path, const std::string& name,
                            const RegData& data) {
    Key* key = ShouldFail(Operation::SetValue) ? nullptr : Find(root, path);
    if (key != nullptr) {
        auto [it, created] = key->values.try_emplace(Lower(name));
        if (created) {
            it->second.name = name;
        }
        it->second.data = data;
    }
    Record(Operation::SetValue, root, path, name, key != nullptr);
    return key != nullptr;
}

bool FakeRegistry::CreateKey(RegRoot root, const std::string& path, const std::string& className) {
    const bool ok = !ShouldFail(Operation::CreateKey) && Create(root, path, className) != nullptr;
    Record(Operation::CreateKey, root, path, className, ok);
    return ok;
}

bool FakeRegistry::DeleteKey(RegRoot root, const std::string& path) {
    const bool ok = !ShouldFail(Operation::DeleteKey) && Erase(root, path, false);
    Record(Operation::DeleteKey, root, path, "", ok);
    return ok;
}

bool FakeRegistry::DeleteKeyTree(RegRoot root, const std::string& path) {
    const bool ok = !ShouldFail(Operation::DeleteKeyTree) && Erase(root, path, true);
    Record(Operation::DeleteKeyTree, root, path, "", ok);
    return ok;
}

bool FakeRegistry::Erase(RegRoot root, const std::string& path, bool withSubKeys) {
    bool ok = false;
    {
        const auto parts = SplitPath(path);
        if (parts && !parts->empty()) {
            std::string parentPath;
            for (std::size_t i = 0; i + 1 < parts->size(); ++i) {
                parentPath += (*parts)[i] + "\\";
            }
            Key* parent = Find(root, parentPath);
            if (parent != nullptr) {
                const auto it = parent->subKeys.find(Lower(parts->back()));
                if (it != parent->subKeys.end() && (withSubKeys || it->second.subKeys.empty())) {
                    parent->subKeys.erase(it);
                    ok = true;
                }
            }
        }
    }
    return ok;
}

bool FakeRegistry::DeleteValue(RegRoot root, const std::string& path, const std::string& name) {
    bool ok = false;
    if (!ShouldFail(Operation::DeleteValue)) {
        Key* key = Find(root, path);
        ok = key != nullptr && key->values.erase(Lower(name)) > 0;
    }
    Record(Operation::DeleteValue, root, path, name, ok);
    return ok;
}

long FakeRegistry::LoadKey(RegRoot root, const std::string& subKey, const std::string& file) {
    long code = ShouldFail(Operation::LoadKey) ? kAccessDenied : m_loadResult;
    if (code == 0) {
        const auto parts = SplitPath(subKey);
        if (!parts || parts->size() != 1 || Find(root, subKey) != nullptr) {
            code = kAccessDenied;  // a hive loads as one new top-level key
        } else {
            Create(root, subKey, "");
        }
    }
    Record(Operation::LoadKey, root, subKey, file, code == 0);
    return code;
}

long FakeRegistry::UnloadKey(RegRoot root, const std::string& subKey) {
    long code = ShouldFail(Operation::UnloadKey) ? kAccessDenied : 0;
    if (code == 0) {
        const auto parts = SplitPath(subKey);
        if (!parts || parts->size() != 1 || Find(root, subKey) == nullptr) {
            code = kAccessDenied;
        } else {
            m_roots.at(root).subKeys.erase(Lower(parts->front()));
        }
    }
    Record(Operation::UnloadKey, root, subKey, "", code == 0);
    return code;
}

bool FakeRegistry::EnableHivePrivileges() {
    const bool ok = !ShouldFail(Operation::EnableHivePrivileges);
    if (ok) {
        m_privilegesEnabled = true;
    }
    Record(Operation::EnableHivePrivileges, RegRoot::LocalMachine, "", "", ok);
    return ok;
}

bool FakeRegistry::DropPrivileges() {
    const bool ok = !ShouldFail(Operation::DropPrivileges);
    if (ok) {
        m_privilegesEnabled = false;
    }
    Record(Operation::DropPrivileges, RegRoot::LocalMachine, "", "", ok);
    return ok;
}

void FakeRegistry::FailNext(Operation operation, int count) {
    m_failures[operation] = count;
}

void FakeRegistry::Put(RegRoot root, const std::string& path, const std::string& name,
                       const RegData& data) {
    Key* key = Create(root, path, "");
    if (key == nullptr) {
        return;
    }
    auto [it, created] = key->values.try_emplace(Lower(name));
    if (created) {
        it->second.name = name;
    }
    it->second.data = data;
}

void FakeRegistry::PutString(RegRoot root, const std::string& path, const std::string& name,
                             const std::string& text) {
    Put(root, path, name, RegData{kRegSz, text + '\0'});
}

std::optional<RegData> FakeRegistry::Get(RegRoot root, const std::string& path,
                                         const std::string& name) const {
    const Key* key = Find(root, path);
    if (key == nullptr) {
        return std::nullopt;
    }
    const auto it = key->values.find(Lower(name));
    if (it == key->values.end()) {
        return std::nullopt;
    }
    return it->second.data;
}

bool FakeRegistry::HasKey(RegRoot root, const std::string& path) const {
    return Find(root, path) != nullptr;
}

std::optional<std::string> FakeRegistry::ClassOf(RegRoot root, const std::string& path) const {
    const Key* key = Find(root, path);
    if (key == nullptr) {
        return std::nullopt;
    }
    return key->className;
}

std::vector<std::string> FakeRegistry::ValueNames(RegRoot root, const std::string& path) const {
    std::vector<std::string> names;
    if (const Key* key = Find(root, path)) {
        for (const auto& [lower, value] : key->values) {
            names.push_back(value.name);
        }
    }
    return names;
}

std::vector<std::string> FakeRegistry::SubKeyNames(RegRoot root, const std::string& path) const {
    std::vector<std::string> names;
    if (const Key* key = Find(root, path)) {
        for (const auto& [lower, subKey] : key->subKeys) {
            names.push_back(subKey.name);
        }
    }
    return names;
}

std::vector<FakeRegistry::Call> FakeRegistry::CallsOf(Operation operation) const {
    std::vector<Call> calls;
    for (const auto& call : m_calls) {
        if (call.operation == operation) {
            calls.push_back(call);
        }
    }
    return calls;
}

}  // namespace ko
