#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace ko {

struct ControlContext;
struct XmlNode;
class CleanupManager;
class KoApplications;
class PolicyManager;
class ProfileDocument;
class WindowsLogonSettings;

// `koDom_onreadystatechange`: applies a loaded profile. For a customer's session: the Windows
// logon values, the general settings, the clean-up, the close list, the policies of the right
// Windows user, "KOW_CUPOLICY", the start list and "KOW_Update_State". For any other state only
// the clean-up and the close and start lists.
//
// Sending to the watcher and waiting for programs to close let other events run, a newer status
// among them. The handler keeps its own document, and stops at the next step once a newer profile
// has started loading or the agent stops.
class ProfileHandler {
  public:
    ProfileHandler(ControlContext& context, ProfileDocument& profile,
                   WindowsLogonSettings& logonSettings, CleanupManager& cleanup,
                   KoApplications& applications, PolicyManager& policies);

    void OnProfileLoaded(std::shared_ptr<const XmlNode> koDom, std::uint64_t generation);

  private:
    void ApplyLogonProfile(const std::shared_ptr<const XmlNode>& koDom, std::uint64_t generation);
    // The clean-up, then the close list; then runs unless a newer profile or the stop came.
    void CleanUpAndClose(const std::shared_ptr<const XmlNode>& koDom, std::uint64_t generation,
                         std::function<void()> then);
    void ApplyAutoLogon();
    bool StillCurrent(std::uint64_t generation) const;

    ControlContext& m_ctx;
    ProfileDocument& m_profile;
    WindowsLogonSettings& m_logonSettings;
    CleanupManager& m_cleanup;
    KoApplications& m_applications;
    PolicyManager& m_policies;
};

}  // namespace ko
