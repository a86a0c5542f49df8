#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/Win32Handles.h"

namespace ko {

// Accounts, tokens and privileges, as the Windows adapters need them.

// "S-" revision "-" authority, then "-" and each sub-authority, all unsigned decimal; an authority
// that needs more than 32 bits is written in hexadecimal ("0x..."), as the system writes it.
std::string SidText(PSID sid);

// The SID text of the token's user; nothing when it cannot be read.
std::optional<std::string> TokenUserSid(HANDLE token);

struct AccountName {
    std::string name;
    std::string domain;
};
// The token user's account name and domain (the domain as the system names it, the computer's
// name for a local account); nothing when the SID cannot be looked up.
std::optional<AccountName> TokenUserAccount(HANDLE token);

// The logon session the token belongs to.
std::optional<LUID> TokenLogonSession(HANDLE token);

// Enables one privilege in this process's token; false when the token does not hold it.
bool EnableProcessPrivilege(const char* name);

std::string ComputerName();

// The terminal-services session of a process; nothing when it cannot be read.
std::optional<DWORD> SessionOfProcess(DWORD processId);

// The file-name part of a path: the text after the last "\" or "/".
std::string FileNamePart(const std::string& path);

}  // namespace ko
