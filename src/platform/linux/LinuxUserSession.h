#pragma once

#include "platform/UserSession.h"
#include "platform/linux/LogindClient.h"
#include "platform/linux/UserDocuments.h"

namespace ko {

// The user of seat0's active graphical session (logind); without one the account named by
// OSTREL_SESSION_USER, else nobody. SIDs are "S-1-22-1-<uid>" and the domain is always empty:
// Linux accounts here are local ones. Impersonation switches file access only.
class LinuxUserSession : public UserSession {
  public:
    explicit LinuxUserSession(LogindClient& logind) : m_logind(logind) {}

    std::optional<SessionUser> LoggedOnUser() override;
    std::optional<std::string> AccountSid(const std::string& domain,
                                          const std::string& user) override;
    // There are no domain controllers for local accounts.
    std::optional<std::string> DomainControllerName(const std::string& domain) override;
    std::unique_ptr<ImpersonationScope> Impersonate() override;
    std::optional<std::string> DocumentsFolder() override;
    DocumentsDeletion DeleteDocuments() override;
    // A desktop shell that rereads policies on restart is a Windows thing.
    ActionResult RestartShell() override { return ActionResult::NotSupported; }

  private:
    std::optional<LocalAccount> Account();

    LogindClient& m_logind;
};

}  // namespace ko
