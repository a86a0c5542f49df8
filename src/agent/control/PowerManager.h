#pragma once

#include <functional>

#include "agent/control/PowerControl.h"
#include "platform/ActionResult.h"

namespace ko {

struct ControlContext;
class hookModule;

// `ShutDown`, `Restart` and `LogOffUser`. Shut-down and restart drop the server link and the
// shell hooks first; when the machine does not go down after all (the call failed, or a dry run
// only logged it) both come back, so the workstation is not left deaf and unwatched.
class PowerManager : public PowerControl {
  public:
    PowerManager(ControlContext& context, hookModule& hooks);

    void ShutDown() override;
    void Restart() override;
    void LogOffUser() override;

  private:
    void GoDown(const char* what, const std::function<ActionResult()>& call);

    ControlContext& m_ctx;
    hookModule& m_hooks;
};

}  // namespace ko
