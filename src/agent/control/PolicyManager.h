#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "agent/control/PolicyControl.h"
#include "platform/Processes.h"
#include "shared/LoopTimer.h"

namespace ko {

struct ControlContext;
struct XmlNode;
class ProfileDocument;
class UserIdentity;
class WorkstationLock;

// The desktop policies of the Windows user a profile is for, the switch to another Windows
// account, and the user's shell that must start again to read them.
class PolicyManager : public PolicyControl {
  public:
    // After a log-off the next account's shell is awaited this long at most; the log-off is not
    // forced, so a program may hold it up for good.
    static constexpr std::int64_t kShellWaitMs = 120000;
    static constexpr std::uint32_t kShellPollMs = 1000;

    PolicyManager(ControlContext& context, UserIdentity& identity, ProfileDocument& profile,
                  WorkstationLock& lock);

    // PolicyControl
    void ApplyPolicy() override { ApplyPolicy(nullptr); }
    void ClearUserPolicies() override;
    void TargetLoggedOnUser() override;
    void ApplySameUserPolicy() override;

    // The profile's policies for the right account (the profile's next account, else the user
    // logged on now); then runs from the loop once any switch of account has settled. then does
    // not run when the agent stops or a newer profile starts loading meanwhile.
    void ApplyProfilePolicies(std::shared_ptr<const XmlNode> koDom, std::function<void()> then);
    // Writes the profile's "Policies" into PolicyHive, after clearing its six policy keys. Only
    // a hive that is really loaded is written: the logged-on user's, or one LoadUserHive loaded.
    void WritePolicies(const XmlNode& koDom);
    // Logs the user off and awaits another user's shell (bounded, see kShellWaitMs), then
    // disables the secure-attention keys and hides the Start button; then runs after that.
    void ApplyPolicy(std::function<void()> then);
    void ApplyDefaultPolicy();
    void HideStartButton();

    bool Polling() const { return m_polling; }

  private:
    // Loads the next account's hive file under "keyloaded"; true when it is loaded.
    bool LoadNextUserHive();
    std::string ProfileHiveFile(const std::string& sid);
    bool WritableHive(const std::string& hive);
    void PollShell();
    void FinishApplyPolicy();

    ControlContext& m_ctx;
    UserIdentity& m_identity;
    ProfileDocument& m_profile;
    WorkstationLock& m_lock;
    bool m_hiveLoaded = false;
    // The log-off's wait for the next shell.
    LoopTimer m_tmrShell;
    bool m_polling = false;
    ProcessId m_oldShell = 0;
    std::int64_t m_pollStart = 0;
    std::uint64_t m_pollGeneration = 0;
    std::function<void()> m_afterShell;
};

}  // namespace ko
