#pragma once

namespace ko {

// The desktop policies of the Windows users, and the user's shell.
class PolicyControl {
  public:
    virtual ~PolicyControl() = default;
    virtual void ApplyPolicy() = 0;
    // Clears the policies of the user who is logged on now.
    virtual void ClearUserPolicies() = 0;
    // Makes the logged-on user the policy target again (Start button shown, hive of that user).
    virtual void TargetLoggedOnUser() = 0;
    // Re-applies the same user's policies and restarts the shell under that user.
    virtual void ApplySameUserPolicy() = 0;
};

}  // namespace ko
