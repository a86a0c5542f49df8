#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ActionResult.h"
#include "platform/Processes.h"

namespace ko {

// The user who sits at the workstation now, found through the shell of the console session on
// Windows, through the active graphical session of seat0 on Linux.
struct SessionUser {
    // The user's shell (explorer.exe; the session leader on Linux). A new log-on brings another.
    ProcessId shellProcess = 0;
    // The account name; nothing when it cannot be read (a name that cannot be read is not another
    // user's name).
    std::optional<std::string> name;
    // The domain; empty for a local account (and always on Linux).
    std::string domain;
    // The account's SID text ("S-1-22-1-<uid>" on Linux); empty when unreadable.
    std::string sid;
};

// While it lives, the calling thread acts as the logged-on user (file access on Linux); its
// destruction reverts to the program's own account.
class ImpersonationScope {
  public:
    virtual ~ImpersonationScope() = default;
};

// What a deletion of the user's documents did.
struct DocumentsDeletion {
    ActionResult result = ActionResult::Failed;
    std::string folder;
    std::vector<std::string> deleted;  // names, in the folder
    std::vector<std::string> failed;   // names that stayed (in use, no access, ...)
};

class UserSession {
  public:
    virtual ~UserSession() = default;

    // Nothing when nobody is logged on.
    virtual std::optional<SessionUser> LoggedOnUser() = 0;
    // The SID text of an account; nothing when it cannot be looked up. On Windows a failed
    // lookup by domain is tried again on the domain's controller.
    virtual std::optional<std::string> AccountSid(const std::string& domain,
                                                  const std::string& user) = 0;
    // The name of a controller of the domain; nothing when there is none (always on Linux).
    virtual std::optional<std::string> DomainControllerName(const std::string& domain) = 0;
    // Acts as the logged-on user until the scope ends; null when nobody is logged on or the
    // switch fails.
    virtual std::unique_ptr<ImpersonationScope> Impersonate() = 0;
    // The logged-on user's documents folder; nothing without a user.
    virtual std::optional<std::string> DocumentsFolder() = 0;
    // Deletes the files at the top of the user's documents folder, as that user: not folders,
    // not names starting with ".", nothing reached through a link, nothing outside the user's
    // profile or home. One file that cannot go does not stop the others, and no dialog is ever
    // shown. Honours OSTREL_DRY_RUN (lists without deleting).
    virtual DocumentsDeletion DeleteDocuments() = 0;
    // Ends the logged-on user's shell so that it starts again and reads the new policies
    // (Windows restarts it itself; Windows 9x is started again here). NotSupported on Linux.
    // Honours OSTREL_DRY_RUN.
    virtual ActionResult RestartShell() = 0;
};

}  // namespace ko
