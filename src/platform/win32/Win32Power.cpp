#include "platform/win32/Win32Power.h"

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/Win32Accounts.h"
#include "platform/win32/Win32ConsoleShell.h"
#include "platform/win32/Win32Handles.h"
#include "shared/Logger.h"

namespace ko {

namespace {

ActionResult EndWindowsSession(UINT flags, const char* what) {
    // A service may run at a raised priority; the shut-down should not.
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    if (DryRunRequested()) {
        Logger::Info(std::string("dry run: would ") + what);
        return ActionResult::DryRun;
    }
    if (!EnableProcessPrivilege(SE_SHUTDOWN_NAME)) {
        Logger::Error(std::string("power: no shutdown privilege to ") + what);
        return ActionResult::Failed;
    }
    if (!ExitWindowsEx(flags, 0)) {
        Logger::Error(std::string("power: cannot ") + what + " (error " +
                      std::to_string(GetLastError()) + ")");
        return ActionResult::Failed;
    }
    return ActionResult::Done;
}

bool SameLogonSession(HANDLE token) {
    UniqueHandle own;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.Put())) {
        return false;
    }
    std::optional<LUID> mine = TokenLogonSession(own.Get());
    std::optional<LUID> theirs = TokenLogonSession(token);
    return mine && theirs && mine->LowPart == theirs->LowPart && mine->HighPart == theirs->HighPart;
}

ActionResult LogOffSession(DWORD session) {
    // wtsapi32 is there from XP on; loaded here so that nothing else depends on it.
    UniqueModule wtsapi(LoadLibraryA("wtsapi32.dll"));
    using LogoffSession = BOOL(WINAPI*)(HANDLE, DWORD, BOOL);
    auto logoff = wtsapi ? reinterpret_cast<LogoffSession>(reinterpret_cast<void*>(
                               GetProcAddress(wtsapi.Get(), "WTSLogoffSession")))
                         : nullptr;
    if (logoff == nullptr) {
        return ActionResult::Failed;
    }
    return logoff(nullptr /* this machine */, session, FALSE) ? ActionResult::Done
                                                              : ActionResult::Failed;
}

}  // namespace

ActionResult Win32Power::PowerOff() {
    return EndWindowsSession(EWX_SHUTDOWN | EWX_FORCE | EWX_POWEROFF, "power off");
}

ActionResult Win32Power::Reboot() {
    return EndWindowsSession(EWX_REBOOT | EWX_FORCE, "restart");
}

ActionResult Win32Power::LogOff() {
    std::optional<ConsoleShell> shell = FindConsoleShell(PROCESS_QUERY_INFORMATION, TOKEN_QUERY);
    if (!shell) {
        Logger::Info("power: nobody to log off");
        return ActionResult::Failed;
    }
    if (DryRunRequested()) {
        Logger::Info("dry run: would log off the console user");
        return ActionResult::DryRun;
    }
    // Not forced: a program may ask its user to save first.
    if (SameLogonSession(shell->token.Get())) {
        return ExitWindowsEx(EWX_LOGOFF, 0) ? ActionResult::Done : ActionResult::Failed;
    }
    std::optional<DWORD> session = SessionOfProcess(shell->processId);
    if (!session) {
        return ActionResult::Failed;
    }
    return LogOffSession(*session);
}

}  // namespace ko
