#pragma once

#include "platform/Power.h"

namespace ko {

// Shut-down and restart with ExitWindowsEx and the shutdown privilege. Log-off ends the console
// user's session: with ExitWindowsEx when the agent runs in that user's logon session, else (the
// service's case, where ExitWindowsEx would only notify and log nobody off) by ending the
// console's terminal-services session.
class Win32Power : public Power {
  public:
    ActionResult PowerOff() override;
    ActionResult Reboot() override;
    ActionResult LogOff() override;
};

}  // namespace ko
