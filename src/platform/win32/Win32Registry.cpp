#include "platform/win32/Win32Registry.h"

#include <vector>

namespace ko {

namespace {

// Two privileges in one record: TOKEN_PRIVILEGES declares room for only one.
struct TwoPrivileges {
    DWORD count;
    LUID_AND_ATTRIBUTES privileges[2];
};

}  // namespace

HKEY Win32Registry::RootKey(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case RegRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RegRoot::Users:
            return HKEY_USERS;
    }
    return HKEY_CURRENT_USER;
}

std::optional<RegData> Win32Registry::QueryValue(RegRoot root, const std::string& path,
                                                 const std::string& name) {
    UniqueRegKey key;
    if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, kReadAccess, key.Put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The value may grow between asking for its size and reading it; ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::vector<BYTE> buffer(size + 1);
        DWORD readSize = size;
        LONG result =
            RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, buffer.data(), &readSize);
        if (result == ERROR_MORE_DATA) {
            continue;
        }
        if (result != ERROR_SUCCESS) {
            return std::nullopt;
        }
        RegData data;
        data.type = type;
        data.bytes.assign(reinterpret_cast<const char*>(buffer.data()), readSize);
        return data;
    }
    return std::nullopt;
}

bool Win32Registry::SetValue(RegRoot root, const std::string& path, const std::string& name,
                             const RegData& data) {
    UniqueRegKey key;
    if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, kWriteAccess, key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.Get(), name.c_str(), 0, data.type,
                          reinterpret_cast<const BYTE*>(data.bytes.data()),
                          static_cast<DWORD>(data.bytes.size())) == ERROR_SUCCESS;
}

bool Win32Registry::CreateKey(RegRoot root, const std::string& path, const std::string& className) {
    // The class parameter is not const in the system's declaration.
    std::vector<char> classBuffer(className.begin(), className.end());
    classBuffer.push_back('\0');
    UniqueRegKey key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(RootKey(root), path.c_str(), 0, classBuffer.data(), REG_OPTION_NON_VOLATILE,
                        kWriteAccess, nullptr, key.Put(), &disposition) != ERROR_SUCCESS) {
        return false;
    }
    RegFlushKey(key.Get());
    return true;
}

bool Win32Registry::DeleteKey(RegRoot root, const std::string& path) {
    // An empty path would name the root itself.
    if (path.empty()) {
        return false;
    }
    return RegDeleteKeyA(RootKey(root), path.c_str()) == ERROR_SUCCESS;
}

namespace {

// RegDeleteKeyA removes only keys without sub-keys on the NT family, and RegDeleteTreeA needs
// Vista: delete the sub-keys first, deepest first. The registry nests at most 512 levels; a
// deeper walk means the tree changes under us, and it stops.
bool DeleteSubTree(HKEY parent, const std::string& name, int depth) {
    if (depth > 512) {
        return false;
    }
    UniqueRegKey key;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE,
                      key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    // A sub-key that cannot go is stepped over, so the walk ends; the key then stays too.
    DWORD index = 0;
    while (true) {
        char subName[256];
        DWORD length = sizeof(subName);
        const LONG result =
            RegEnumKeyExA(key.Get(), index, subName, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS ||
            !DeleteSubTree(key.Get(), std::string(subName, length), depth + 1)) {
            ++index;
        }
    }
    key.Reset();
    return RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

}  // namespace

bool Win32Registry::DeleteKeyTree(RegRoot root, const std::string& path) {
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\') {
        trimmed.pop_back();
    }
    // An empty path would name the root itself.
    if (trimmed.empty()) {
        return false;
    }
    return DeleteSubTree(RootKey(root), trimmed, 0);
}

bool Win32Registry::DeleteValue(RegRoot root, const std::string& path, const std::string& name) {
    UniqueRegKey key;
    if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, kWriteAccess, key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    return RegDeleteValueA(key.Get(), name.c_str()) == ERROR_SUCCESS;
}

long Win32Registry::LoadKey(RegRoot root, const std::string& subKey, const std::string& file) {
    return RegLoadKeyA(RootKey(root), subKey.c_str(), file.c_str());
}

long Win32Registry::UnloadKey(RegRoot root, const std::string& subKey) {
    return RegUnLoadKeyA(RootKey(root), subKey.c_str());
}

bool Win32Registry::EnableHivePrivileges() {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          m_token.Put())) {
        return false;
    }
    // A privilege that does not look up is left out; the hive load then fails by itself.
    TwoPrivileges record = {};
    bool allFound = true;
    for (const char* name : {"SeRestorePrivilege", "SeBackupPrivilege"}) {
        LUID luid;
        if (!LookupPrivilegeValueA(nullptr, name, &luid)) {
            allFound = false;
            continue;
        }
        record.privileges[record.count].Luid = luid;
        record.privileges[record.count].Attributes = SE_PRIVILEGE_ENABLED;
        ++record.count;
    }
    if (record.count == 0) {
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    BOOL adjusted = AdjustTokenPrivileges(
        m_token.Get(), FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&record), 0, nullptr, nullptr);
    // The call succeeds even when the token lacks a privilege; only the last error tells.
    return adjusted && GetLastError() == ERROR_SUCCESS && allFound;
}

bool Win32Registry::DropPrivileges() {
    if (!m_token) {
        return false;
    }
    BOOL dropped = AdjustTokenPrivileges(m_token.Get(), TRUE, nullptr, 0, nullptr, nullptr);
    m_token.Reset();
    return dropped != FALSE;
}

}  // namespace ko
