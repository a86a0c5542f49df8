#pragma once

#include <string>

#include "platform/ActionResult.h"

namespace ko {

// The display manager's automatic logon, where it is not driven by the registry's Winlogon
// values (Linux: a LightDM drop-in). On Windows, Winlogon reads the registry itself and this
// answers NotSupported.
class AutoLogon {
  public:
    virtual ~AutoLogon() = default;
    // Logs this local account on automatically from the next start of the greeter. Refuses a
    // name that is not a valid account name.
    virtual ActionResult Enable(const std::string& user) = 0;
    // No automatic logon by this program (removes what Enable wrote; nothing else).
    virtual ActionResult Disable() = 0;
};

}  // namespace ko
