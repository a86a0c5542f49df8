#pragma once

#include <string>

#include "CafeData.h"

namespace ko {

// The two XML documents of a customer session: the logon profile for the agent and the logon
// settings (disallowed addresses) for the watcher. Written without whitespace between elements,
// so that every child node the workstation walks is an element. Empty sections are left out:
// an empty "Policies" would restart the user's shell for nothing, and "WindowsSettings" without
// an account would log the user off.
class ProfileDocuments {
  public:
    static std::string LogonProfile(const Profile& profile, const std::string& wsName, bool logoff);
    static std::string LogonSettings(const Profile& profile, const std::string& wsName);
    static std::string Escape(const std::string& text);
};

}  // namespace ko
