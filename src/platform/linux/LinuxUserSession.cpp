#include "platform/linux/LinuxUserSession.h"

#include <unistd.h>

#include <strings.h>

#include <cstdlib>

#include "platform/linux/LinuxProcesses.h"
#include "shared/Logger.h"

namespace ko {

std::optional<SessionUser> LinuxUserSession::LoggedOnUser() {
    if (const auto session = m_logind.ActiveGraphicalSession()) {
        SessionUser user;
        user.shellProcess = session->leader;
        user.name = session->userName;
        user.sid = LinuxProcesses::SidOfUid(session->uid);
        return user;
    }
    const char* named = std::getenv("OSTREL_SESSION_USER");
    if (named == nullptr || *named == '\0') {
        return std::nullopt;
    }
    const auto account = UserDocuments::LookUp(named);
    if (!account) {
        Logger::Debug(std::string("OSTREL_SESSION_USER names no account: ") + named);
        return std::nullopt;
    }
    SessionUser user;
    user.name = account->name;
    user.sid = LinuxProcesses::SidOfUid(account->uid);
    return user;
}

std::optional<std::string> LinuxUserSession::AccountSid(const std::string& domain,
                                                        const std::string& user) {
    // Local accounts only: an empty domain, or this machine's name as Windows writes it.
    if (!domain.empty()) {
        char host[256] = {};
        if (::gethostname(host, sizeof(host) - 1) != 0 || strcasecmp(domain.c_str(), host) != 0) {
            return std::nullopt;
        }
    }
    const auto account = UserDocuments::LookUp(user);
    if (!account) {
        return std::nullopt;
    }
    return LinuxProcesses::SidOfUid(account->uid);
}

std::optional<std::string> LinuxUserSession::DomainControllerName(const std::string&) {
    return std::nullopt;
}

std::optional<LocalAccount> LinuxUserSession::Account() {
    const auto user = LoggedOnUser();
    if (!user || !user->name) {
        return std::nullopt;
    }
    return UserDocuments::LookUp(*user->name);
}

std::unique_ptr<ImpersonationScope> LinuxUserSession::Impersonate() {
    const auto account = Account();
    if (!account) {
        return nullptr;
    }
    auto scope = std::make_unique<FileAccessAs>(account->uid, account->gid);
    if (!scope->Active()) {
        return nullptr;
    }
    return scope;
}

std::optional<std::string> LinuxUserSession::DocumentsFolder() {
    const auto account = Account();
    if (!account) {
        return std::nullopt;
    }
    return UserDocuments::Folder(*account);
}

DocumentsDeletion LinuxUserSession::DeleteDocuments() {
    const auto account = Account();
    if (!account) {
        return DocumentsDeletion{};
    }
    const auto folder = UserDocuments::Folder(*account);
    if (!folder) {
        Logger::Info("no documents folder to empty for " + account->name);
        return DocumentsDeletion{};
    }
    return UserDocuments::Delete(*account, *folder, DryRunRequested());
}

}  // namespace ko
