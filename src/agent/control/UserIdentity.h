#pragma once

#include <optional>
#include <string>

#include "platform/UserSession.h"

namespace ko {

class RegistryModule;

// The Windows user who sits at the workstation, and the SIDs under which user hives hang in
// HKEY_USERS.
class UserIdentity {
  public:
    UserIdentity(UserSession& session, RegistryModule& registry);

    std::optional<SessionUser> LoggedOnUser() { return m_session.LoggedOnUser(); }
    // The SID text of the account; empty when it cannot be looked up or the names are not
    // valid account names.
    std::string UserSidString(const std::string& domain, const std::string& user);
    // CurrentUserSid := the account's SID; a failed lookup leaves it as it was.
    void SetCurrentUserSid(const std::string& domain, const std::string& user);
    // CurrentUserSid and PolicyHive := the logged-on user's SID; nobody logged on leaves both.
    void SetUpCurrentUser();
    // True when the SID names the user whose session runs now, whose hive is therefore loaded.
    bool IsLoggedOnSid(const std::string& sid);

  private:
    UserSession& m_session;
    RegistryModule& m_registry;
};

// "S-" followed by numbers and dashes: the only shape that may become a key under HKEY_USERS.
bool IsSidText(const std::string& text);

}  // namespace ko
