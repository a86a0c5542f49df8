#include "platform/ReadOnlyRegistry.h"

namespace ko {

std::optional<RegData> ReadOnlyRegistry::QueryValue(RegRoot root, const std::string& path,
                                                    const std::string& name) {
    return m_store.QueryValue(root, path, name);
}

bool ReadOnlyRegistry::SetValue(RegRoot, const std::string&, const std::string&, const RegData&) {
    ++m_refused;
    return false;
}

bool ReadOnlyRegistry::CreateKey(RegRoot, const std::string&, const std::string&) {
    ++m_refused;
    return false;
}

bool ReadOnlyRegistry::DeleteKey(RegRoot, const std::string&) {
    ++m_refused;
    return false;
}

bool ReadOnlyRegistry::DeleteKeyTree(RegRoot, const std::string&) {
    ++m_refused;
    return false;
}

bool ReadOnlyRegistry::DeleteValue(RegRoot, const std::string&, const std::string&) {
    ++m_refused;
    return false;
}

long ReadOnlyRegistry::LoadKey(RegRoot, const std::string&, const std::string&) {
    ++m_refused;
    return kAccessDenied;
}

long ReadOnlyRegistry::UnloadKey(RegRoot, const std::string&) {
    ++m_refused;
    return kAccessDenied;
}

}  // namespace ko
