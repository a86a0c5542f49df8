#pragma once

#include "platform/AutoLogon.h"

namespace ko {

// Windows' own logon reads the automatic logon from the Winlogon values the agent writes to the
// registry; there is no display manager to tell.
class Win32AutoLogon : public AutoLogon {
  public:
    ActionResult Enable(const std::string&) override { return ActionResult::NotSupported; }
    ActionResult Disable() override { return ActionResult::NotSupported; }
};

}  // namespace ko
