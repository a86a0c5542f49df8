#pragma once

#include <windows.h>

#include <optional>

#include "platform/win32/Win32Handles.h"

namespace ko {

// The shell of the user who sits at the console: the process "explorer.exe" (the name compared
// without regard to case) in the console's session, never this program, even under that name.
// Explorer windows of other sessions (fast user switching, remote desktops) and a shell that a
// service started for itself are not the console user's.
struct ConsoleShell {
    DWORD processId = 0;
    UniqueHandle process;
    UniqueHandle token;
};

// The first such process that can be opened with processAccess and whose token opens with
// tokenAccess; nothing when nobody is logged on at the console.
std::optional<ConsoleShell> FindConsoleShell(DWORD processAccess, DWORD tokenAccess);

// The session at the console; nothing while no session is attached to it.
std::optional<DWORD> ConsoleSession();

}  // namespace ko
