#pragma once

#include "platform/UserSession.h"

namespace ko {

// The user at the console, found through that session's shell ("explorer.exe"). The agent's
// account reads the shell's token; what must happen as the user (reading the documents folder,
// deleting documents) happens while impersonating that token.
class Win32UserSession : public UserSession {
  public:
    std::optional<SessionUser> LoggedOnUser() override;
    std::optional<std::string> AccountSid(const std::string& domain,
                                          const std::string& user) override;
    std::optional<std::string> DomainControllerName(const std::string& domain) override;
    std::unique_ptr<ImpersonationScope> Impersonate() override;
    std::optional<std::string> DocumentsFolder() override;
    DocumentsDeletion DeleteDocuments() override;
    ActionResult RestartShell() override;
};

}  // namespace ko
