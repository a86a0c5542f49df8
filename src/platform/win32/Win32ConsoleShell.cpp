#include "platform/win32/Win32ConsoleShell.h"

#include <tlhelp32.h>

#include <string>

#include "platform/win32/Win32Accounts.h"
#include "shared/AsciiCase.h"

namespace ko {

namespace {
const std::string kLocalSystem = "S-1-5-18";
}  // namespace

std::optional<DWORD> ConsoleSession() {
    // XP has the call; a console without a session (while one is being attached) answers
    // 0xFFFFFFFF.
    DWORD session = WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) {
        return std::nullopt;
    }
    return session;
}

std::optional<ConsoleShell> FindConsoleShell(DWORD processAccess, DWORD tokenAccess) {
    std::optional<DWORD> console = ConsoleSession();
    if (!console) {
        return std::nullopt;
    }
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return std::nullopt;
    }
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more;
         more = Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self ||
            !EqualsIgnoringAsciiCase(FileNamePart(entry.szExeFile), "explorer.exe") ||
            SessionOfProcess(entry.th32ProcessID) != console) {
            continue;
        }
        ConsoleShell shell;
        shell.processId = entry.th32ProcessID;
        shell.process.Reset(OpenProcess(processAccess, FALSE, entry.th32ProcessID));
        if (!shell.process ||
            !OpenProcessToken(shell.process.Get(), tokenAccess | TOKEN_QUERY, shell.token.Put())) {
            continue;
        }
        // A shell that runs as the system account is no user's.
        if (TokenUserSid(shell.token.Get()).value_or(kLocalSystem) == kLocalSystem) {
            continue;
        }
        return shell;
    }
    return std::nullopt;
}

}  // namespace ko
