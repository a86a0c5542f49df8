#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserSession.h"

namespace ko {

// A scripted logged-on user, accounts and documents folder. Impersonation scopes are counted, so
// a test sees that every scope ended.
class FakeUserSession : public UserSession {
  public:
    std::optional<SessionUser> LoggedOnUser() override { return m_user; }
    std::optional<std::string> AccountSid(const std::string& domain,
                                          const std::string& user) override;
    std::optional<std::string> DomainControllerName(const std::string& domain) override;
    std::unique_ptr<ImpersonationScope> Impersonate() override;
    std::optional<std::string> DocumentsFolder() override;
    DocumentsDeletion DeleteDocuments() override;
    ActionResult RestartShell() override;

    void SetUser(std::optional<SessionUser> user) { m_user = std::move(user); }
    // Accounts compare without regard to case, as Windows looks them up.
    void AddAccount(const std::string& domain, const std::string& user, const std::string& sid);
    void SetDomainController(const std::string& domain, const std::string& controller);
    void SetDocumentsFolder(const std::string& folder) { m_documentsFolder = folder; }
    // The files DeleteDocuments finds (and deletes, unless dry run).
    void SetDocuments(std::vector<std::string> names) { m_documents = std::move(names); }
    void SetRestartShellResult(ActionResult result) { m_restartResult = result; }
    void FailImpersonation(bool fail) { m_failImpersonation = fail; }

    const std::vector<std::string>& Documents() const { return m_documents; }
    int DeleteCalls() const { return m_deleteCalls; }
    int RestartShellCalls() const { return m_restartCalls; }
    int ImpersonationsStarted() const { return m_impersonations; }
    int ActiveImpersonations() const { return m_activeImpersonations; }
    std::vector<std::string> AccountLookups() const { return m_lookups; }

  private:
    class Scope;
    static std::string Key(const std::string& domain, const std::string& user);

    std::optional<SessionUser> m_user;
    std::map<std::string, std::string> m_accounts;
    std::map<std::string, std::string> m_controllers;
    std::optional<std::string> m_documentsFolder;
    std::vector<std::string> m_documents;
    std::vector<std::string> m_lookups;
    ActionResult m_restartResult = ActionResult::Done;
    int m_deleteCalls = 0;
    int m_restartCalls = 0;
    int m_impersonations = 0;
    int m_activeImpersonations = 0;
    bool m_failImpersonation = false;
};

}  // namespace ko
