#include "agent/control/UserIdentity.h"

#include <cctype>

#include "agent/control/AccountName.h"
#include "shared/RegistryModule.h"

namespace ko {

bool IsSidText(const std::string& text) {
    if (text.size() < 4 || text.size() > 200 || text[0] != 'S' || text[1] != '-') {
        return false;
    }
    char previous = '-';
    for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-') {
            if (previous == '-') {
                return false;
            }
        } else if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        previous = c;
    }
    return previous != '-';
}

UserIdentity::UserIdentity(UserSession& session, RegistryModule& registry)
    : m_session(session), m_registry(registry) {}

std::string UserIdentity::UserSidString(const std::string& domain, const std::string& user) {
    if (!IsValidAccountName(user) || !IsValidDomainName(domain)) {
        return {};
    }
    std::optional<std::string> sid = m_session.AccountSid(domain, user);
    return sid && IsSidText(*sid) ? *sid : std::string();
}

void UserIdentity::SetCurrentUserSid(const std::string& domain, const std::string& user) {
    const std::string sid = UserSidString(domain, user);
    if (!sid.empty()) {
        m_registry.SetCurrentUserSid(sid);
    }
}

void UserIdentity::SetUpCurrentUser() {
    std::optional<SessionUser> user = m_session.LoggedOnUser();
    if (!user || !IsSidText(user->sid)) {
        return;
    }
    m_registry.SetCurrentUserSid(user->sid);
    m_registry.SetPolicyHive(user->sid);
}

bool UserIdentity::IsLoggedOnSid(const std::string& sid) {
    if (!IsSidText(sid)) {
        return false;
    }
    std::optional<SessionUser> user = m_session.LoggedOnUser();
    return user && user->sid == sid;
}

}  // namespace ko
