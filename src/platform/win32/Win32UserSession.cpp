#include "platform/win32/Win32UserSession.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <userenv.h>

#include "platform/win32/AnsiText.h"
#include "platform/win32/Win32Accounts.h"
#include "platform/win32/Win32ConsoleShell.h"
#include "platform/win32/Win32Handles.h"
#include "shared/AsciiCase.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr DWORD kShellTokenAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE;

class TokenImpersonation : public ImpersonationScope {
  public:
    ~TokenImpersonation() override { RevertToSelf(); }
};

std::unique_ptr<ImpersonationScope> ImpersonateToken(HANDLE token) {
    if (!ImpersonateLoggedOnUser(token)) {
        Logger::Error("user session: cannot act as the logged-on user (error " +
                      std::to_string(GetLastError()) + ")");
        return nullptr;
    }
    return std::make_unique<TokenImpersonation>();
}

std::optional<std::string> DocumentsOf(HANDLE token) {
    char path[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, token, SHGFP_TYPE_CURRENT, path))) {
        return std::nullopt;
    }
    return std::string(path);
}

std::optional<std::string> ProfileOf(HANDLE token) {
    char path[MAX_PATH * 2];
    DWORD length = sizeof(path);
    if (!GetUserProfileDirectoryA(token, path, &length)) {
        return std::nullopt;
    }
    return std::string(path);
}

// Lower case by the ANSI code page's rules, as the file system compares names.
std::string Lower(std::string text) {
    if (!text.empty()) {
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    }
    return text;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    if (length == 0 || length >= sizeof(full)) {
        return {};
    }
    std::string result(full, length);
    while (result.size() > 3 && (result.back() == '\\' || result.back() == '/')) {
        result.pop_back();
    }
    return result;
}

// The documents folder must lie inside the user's profile and must not itself be a link:
// deleting through a redirected or linked folder could reach anybody's files.
bool InsideProfile(const std::string& folder, const std::string& profile) {
    std::string inner = Lower(FullPath(folder));
    std::string outer = Lower(FullPath(profile));
    if (inner.empty() || outer.empty() || inner.size() <= outer.size() + 1 ||
        inner.compare(0, outer.size(), outer) != 0 || inner[outer.size()] != '\\') {
        return false;
    }
    DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The files at the top of the folder: no folders, no names starting with ".", no links.
std::vector<std::string> TopLevelFiles(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    UniqueFindHandle find(FindFirstFileA((folder + "\\*.*").c_str(), &found));
    if (!find) {
        return names;
    }
    do {
        const std::string name = found.cFileName;
        if (name.empty() || name[0] == '.' ||
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
            continue;
        }
        names.push_back(name);
    } while (FindNextFileA(find.Get(), &found));
    return names;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::optional<SessionUser> Win32UserSession::LoggedOnUser() {
    std::optional<ConsoleShell> shell = FindConsoleShell(PROCESS_QUERY_INFORMATION, TOKEN_QUERY);
    if (!shell) {
        return std::nullopt;
    }
    SessionUser user;
    user.shellProcess = shell->processId;
    user.sid = TokenUserSid(shell->token.Get()).value_or(std::string());
    if (std::optional<AccountName> account = TokenUserAccount(shell->token.Get())) {
        user.name = account->name;
        // A local account's domain is the computer itself.
        if (!EqualsIgnoringAsciiCase(account->domain, ComputerName())) {
            user.domain = account->domain;
        }
    }
    return user;
}

std::optional<std::string> Win32UserSession::AccountSid(const std::string& domain,
                                                        const std::string& user) {
    if (user.empty()) {
        return std::nullopt;
    }
    // An account named like the computer would find the computer's own account: name the local
    // account in full. A domain account is named with its domain, which the local system's
    // lookup forwards to the domain.
    std::string account = user;
    if (!domain.empty()) {
        account = domain + "\\" + user;
    } else if (EqualsIgnoringAsciiCase(user, ComputerName())) {
        account = ComputerName() + "\\" + user;
    }
    auto lookup = [&](const char* system) -> std::optional<std::string> {
        alignas(DWORD) BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof(sid);
        char foundDomain[256];
        DWORD domainSize = sizeof(foundDomain);
        SID_NAME_USE use;
        if (!LookupAccountNameA(system, account.c_str(), sid, &sidSize, foundDomain, &domainSize,
                                &use)) {
            return std::nullopt;
        }
        // Only a user has a hive; a group or a computer of that name is not the account.
        if (use != SidTypeUser) {
            return std::nullopt;
        }
        return SidText(sid);
    };
    if (std::optional<std::string> sid = lookup(nullptr)) {
        return sid;
    }
    if (domain.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> controller = DomainControllerName(domain);
    if (!controller) {
        return std::nullopt;
    }
    return lookup(controller->c_str());
}

std::optional<std::string> Win32UserSession::DomainControllerName(const std::string& domain) {
    // netapi32 is loaded only when a domain is asked for: workstations in a workgroup never
    // need it.
    UniqueModule netapi(LoadLibraryA("netapi32.dll"));
    if (!netapi) {
        return std::nullopt;
    }
    using GetDcName = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, LPBYTE*);
    using BufferFree = DWORD(WINAPI*)(LPVOID);
    auto getDcName = reinterpret_cast<GetDcName>(
        reinterpret_cast<void*>(GetProcAddress(netapi.Get(), "NetGetDCName")));
    auto bufferFree = reinterpret_cast<BufferFree>(
        reinterpret_cast<void*>(GetProcAddress(netapi.Get(), "NetApiBufferFree")));
    if (getDcName == nullptr || bufferFree == nullptr) {
        return std::nullopt;
    }
    std::wstring wideDomain = AnsiToWide(domain);
    LPBYTE buffer = nullptr;
    if (getDcName(nullptr, wideDomain.c_str(), &buffer) != 0 || buffer == nullptr) {
        return std::nullopt;
    }
    std::string name = WideToAnsi(std::wstring_view(reinterpret_cast<const wchar_t*>(buffer)));
    bufferFree(buffer);
    if (name.empty()) {
        return std::nullopt;
    }
    return name;
}

std::unique_ptr<ImpersonationScope> Win32UserSession::Impersonate() {
    std::optional<ConsoleShell> shell =
        FindConsoleShell(PROCESS_QUERY_INFORMATION, kShellTokenAccess);
    if (!shell) {
        return nullptr;
    }
    return ImpersonateToken(shell->token.Get());
}

std::optional<std::string> Win32UserSession::DocumentsFolder() {
    std::optional<ConsoleShell> shell =
        FindConsoleShell(PROCESS_QUERY_INFORMATION, kShellTokenAccess);
    if (!shell) {
        return std::nullopt;
    }
    return DocumentsOf(shell->token.Get());
}

DocumentsDeletion Win32UserSession::DeleteDocuments() {
    DocumentsDeletion deletion;
    std::optional<ConsoleShell> shell =
        FindConsoleShell(PROCESS_QUERY_INFORMATION, kShellTokenAccess);
    if (!shell) {
        return deletion;
    }
    std::optional<std::string> folder = DocumentsOf(shell->token.Get());
    std::optional<std::string> profile = ProfileOf(shell->token.Get());
    if (!folder || !profile) {
        return deletion;
    }
    deletion.folder = *folder;
    std::unique_ptr<ImpersonationScope> asUser = ImpersonateToken(shell->token.Get());
    if (!asUser) {
        return deletion;
    }
    if (!InsideProfile(*folder, *profile)) {
        Logger::Error("documents: " + *folder + " is not inside the profile " + *profile +
                      ", nothing deleted");
        return deletion;
    }
    std::vector<std::string> names = TopLevelFiles(*folder);
    if (DryRunRequested()) {
        for (const std::string& name : names) {
            Logger::Info("dry run: would delete " + *folder + "\\" + name);
        }
        deletion.deleted = names;
        deletion.result = ActionResult::DryRun;
        return deletion;
    }
    if (!names.empty()) {
        // All at once first; never a dialog, not even for a file in use (an error box would wait
        // for a click nobody gives and stop the agent).
        std::string from;
        for (const std::string& name : names) {
            from += *folder + "\\" + name;
            from += '\0';
        }
        from += '\0';
        SHFILEOPSTRUCTA operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_SIMPLEPROGRESS | FOF_NOERRORUI;
        SHFileOperationA(&operation);
    }
    // The shell stops at the first file that cannot go: the rest one by one.
    for (const std::string& name : names) {
        const std::string path = *folder + "\\" + name;
        if (Exists(path)) {
            DWORD attributes = GetFileAttributesA(path.c_str());
            if (attributes & FILE_ATTRIBUTE_READONLY) {
                SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
            }
            DeleteFileA(path.c_str());
        }
        (Exists(path) ? deletion.failed : deletion.deleted).push_back(name);
    }
    deletion.result = deletion.failed.empty() ? ActionResult::Done : ActionResult::Failed;
    return deletion;
}

ActionResult Win32UserSession::RestartShell() {
    std::optional<ConsoleShell> shell =
        FindConsoleShell(PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, TOKEN_QUERY);
    if (!shell) {
        return ActionResult::Failed;
    }
    if (DryRunRequested()) {
        Logger::Info("dry run: would end the shell, process " + std::to_string(shell->processId));
        return ActionResult::DryRun;
    }
    // The system starts the shell again by itself.
    return TerminateProcess(shell->process.Get(), 0) ? ActionResult::Done : ActionResult::Failed;
}

}  // namespace ko
