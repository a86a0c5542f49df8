#pragma once

namespace ko {

// The shell and window-creation hooks on the agent's message window, and the current-user
// identity that the hooks and policies need.
class HookControl {
  public:
    virtual ~HookControl() = default;
    virtual void SetUpCurrentUser() = 0;
    virtual void InstallHooks() = 0;
    // Removes the shell hooks and switches the hook library back online.
    virtual void RemoveHooks() = 0;
};

}  // namespace ko
