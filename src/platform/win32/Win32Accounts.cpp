#include "platform/win32/Win32Accounts.h"

#include <vector>

namespace ko {

std::string SidText(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) {
        return {};
    }
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    const BYTE* value = authority->Value;
    std::string text = "S-" + std::to_string(static_cast<const SID*>(sid)->Revision) + "-";
    if (value[0] == 0 && value[1] == 0) {
        unsigned long low = (static_cast<unsigned long>(value[2]) << 24) |
                            (static_cast<unsigned long>(value[3]) << 16) |
                            (static_cast<unsigned long>(value[4]) << 8) | value[5];
        text += std::to_string(low);
    } else {
        static const char kHex[] = "0123456789ABCDEF";
        text += "0x";
        for (int i = 0; i < 6; ++i) {
            text += kHex[value[i] >> 4];
            text += kHex[value[i] & 0xF];
        }
    }
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    for (UCHAR i = 0; i < count; ++i) {
        text += "-" + std::to_string(static_cast<unsigned long>(*GetSidSubAuthority(sid, i)));
    }
    return text;
}

namespace {

// The token's TOKEN_USER record, in a buffer of the size the token asks for.
std::vector<BYTE> TokenUserRecord(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) {
        return {};
    }
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    return buffer;
}

std::string Trimmed(const char* text) {
    std::string result(text);
    result.erase(0, result.find_first_not_of(' '));
    result.erase(result.find_last_not_of(' ') + 1);
    return result;
}

}  // namespace

std::optional<std::string> TokenUserSid(HANDLE token) {
    std::vector<BYTE> record = TokenUserRecord(token);
    if (record.empty()) {
        return std::nullopt;
    }
    std::string text = SidText(reinterpret_cast<TOKEN_USER*>(record.data())->User.Sid);
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

std::optional<AccountName> TokenUserAccount(HANDLE token) {
    std::vector<BYTE> record = TokenUserRecord(token);
    if (record.empty()) {
        return std::nullopt;
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(record.data())->User.Sid;
    char name[256];
    char domain[256];
    DWORD nameLength = sizeof(name);
    DWORD domainLength = sizeof(domain);
    SID_NAME_USE use;
    if (!LookupAccountSidA(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        return std::nullopt;
    }
    // Cut at the first NUL: not every system leaves it out of the lengths it returns.
    name[sizeof(name) - 1] = '\0';
    domain[sizeof(domain) - 1] = '\0';
    return AccountName{Trimmed(name), Trimmed(domain)};
}

std::optional<LUID> TokenLogonSession(HANDLE token) {
    TOKEN_STATISTICS statistics;
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenStatistics, &statistics, sizeof(statistics), &size)) {
        return std::nullopt;
    }
    return statistics.AuthenticationId;
}

bool EnableProcessPrivilege(const char* name) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.Put())) {
        return false;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) {
        return false;
    }
    // The call succeeds even when the token lacks the privilege; the last error tells.
    if (!AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr)) {
        return false;
    }
    return GetLastError() == ERROR_SUCCESS;
}

std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = sizeof(name);
    if (!GetComputerNameA(name, &length)) {
        return {};
    }
    name[sizeof(name) - 1] = '\0';
    return std::string(name);
}

std::optional<DWORD> SessionOfProcess(DWORD processId) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(processId, &session)) {
        return std::nullopt;
    }
    return session;
}

std::string FileNamePart(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace ko
