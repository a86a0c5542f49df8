#include "fakes/FakeUserSession.h"

#include <cctype>

namespace ko {

class FakeUserSession::Scope : public ImpersonationScope {
  public:
    explicit Scope(int& active) : m_active(active) { ++m_active; }
    ~Scope() override { --m_active; }

  private:
    int& m_active;
};

std::string FakeUserSession::Key(const std::string& domain, const std::string& user) {
    std::string key = domain + "\\" + user;
    for (char& c : key) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

std::optional<std::string> FakeUserSession::AccountSid(const std::string& domain,
                                                       const std::string& user) {
    m_lookups.push_back(domain + "\\" + user);
    const auto it = m_accounts.find(Key(domain, user));
    if (it == m_accounts.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> FakeUserSession::DomainControllerName(const std::string& domain) {
    const auto it = m_controllers.find(Key(domain, ""));
    if (it == m_controllers.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::unique_ptr<ImpersonationScope> FakeUserSession::Impersonate() {
    if (!m_user || m_failImpersonation) {
        return nullptr;
    }
    ++m_impersonations;
    return std::make_unique<Scope>(m_activeImpersonations);
}

std::optional<std::string> FakeUserSession::DocumentsFolder() {
    if (!m_user) {
        return std::nullopt;
    }
    return m_documentsFolder;
}

DocumentsDeletion FakeUserSession::DeleteDocuments() {
    ++m_deleteCalls;
    DocumentsDeletion deletion;
    if (!m_user || !m_documentsFolder) {
        return deletion;
    }
    deletion.folder = *m_documentsFolder;
    deletion.deleted = m_documents;
    if (DryRunRequested()) {
        deletion.result = ActionResult::DryRun;
        return deletion;
    }
    m_documents.clear();
    deletion.result = ActionResult::Done;
    return deletion;
}

ActionResult FakeUserSession::RestartShell() {
    ++m_restartCalls;
    if (!m_user) {
        return ActionResult::Failed;
    }
    if (m_restartResult == ActionResult::Done && DryRunRequested()) {
        return ActionResult::DryRun;
    }
    return m_restartResult;
}

void FakeUserSession::AddAccount(const std::string& domain, const std::string& user,
                                 const std::string& sid) {
    m_accounts[Key(domain, user)] = sid;
}

void FakeUserSession::SetDomainController(const std::string& domain,
                                          const std::string& controller) {
    m_controllers[Key(domain, "")] = controller;
}

}  // namespace ko
